// Moving the checked files or folders to the trash after the user's Yes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvanta {

class Prompts;
class ResultList;

enum class ListKind { Files, Folders };

// The path of every checked row, top to bottom: a file row's record path, a
// folder row's "Directory" text; rows without one add nothing.
std::vector<std::string> CheckedPaths(const ResultList& list, ListKind kind);

// Takes the checked rows out of the list in one batch; records stay in the registry.
void RemoveCheckedRows(ResultList& list);

// Moves the items to the trash; false when the list is empty or any item failed.
using TrashMover = std::function<bool(const std::vector<std::string>& paths)>;
bool MoveToRecycleBin(const std::vector<std::string>& paths);

// The Delete checked command: nothing checked, the question, the move, the rows, the outcome.
void DeleteChecked(ResultList& list, ListKind kind, Prompts& prompts,
                            const TrashMover& moveToTrash = MoveToRecycleBin);

}  // namespace orvanta
