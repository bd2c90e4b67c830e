// Moving the checked files or folders to the trash after the user's Yes,
// checked as a whole first, so that no copy goes without a copy that stays.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "actions/list_rows.h"
#include "platform/platform.h"

namespace orvanta {

class Prompts;
class ResultList;

// The checked rows of a list as one request, planned before the question.
struct RemovalPlan {
  struct Item {
    std::size_t row = 0;
    std::string path;
    // The checked item this one lies inside (or repeats), which carries it
    // along; -1 when it is moved on its own.
    std::ptrdiff_t container = -1;
  };
  std::vector<Item> items;  // every checked row with a path, top to bottom
  // Groups of which no member would stay: all checked or inside checked folders.
  std::vector<int> groupsLosingEveryCopy;
};

struct StayedItem {
  std::string path;
  std::string reason;
};

struct RemovalResult {
  std::vector<std::string> moved;  // also the items that went inside a moved folder
  std::vector<StayedItem> stayed;
};

// Moves the items in one request, one outcome per item, asking the hooks
// around each as platform::MoveToTrash does: the system's trash in the
// program, a fake in tests, a mover that only asks for a dry run.
using TrashMover = std::function<std::vector<platform::TrashOutcome>(const std::vector<platform::TrashItem>& items,
                                                                     const platform::TrashHooks& hooks)>;

RemovalPlan PlanRemoval(const ResultList& list);

// The question: "Move %d files to Recycle Bin?" (or directories) with the
// number of checked rows, and when a group would lose every copy, those groups.
std::string RemovalQuestion(const ResultList& list, const RemovalPlan& plan);

// Checks every item before anything moves, then moves those that pass in one
// request. An item stays when it is no longer what the scan saw, when no kept
// member of its group is still what the scan saw, or, unless both carry the
// same content digest, when its bytes differ from every kept member's. What
// the scan saw of each item comes from the row's record.
RemovalResult CarryOutRemoval(const ResultList& list, const RemovalPlan& plan, const TrashMover& mover);

// Takes out the rows whose item moved or lies inside a moved folder, and
// marks stale the rows of folders that held a moved item.
void RemoveRowsOfMovedItems(ResultList& list, const std::vector<std::string>& moved);

// The success text when everything moved; otherwise the failure text, the
// counts, and each reason with a few of the items that stayed for it.
std::string RemovalOutcomeText(ListKind kind, const RemovalResult& result);

// The Delete checked command on the active list: nothing checked, the
// question, the checks, the move, the rows of both lists, the outcome.
void DeleteChecked(ResultList& files, ResultList& folders, ListKind active, Prompts& prompts,
                   const TrashMover& mover = platform::MoveToTrash);

}  // namespace orvanta
