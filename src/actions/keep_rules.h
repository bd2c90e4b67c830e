// Which copies stay: rules that pick the kept members of every group, and the
// check marks that follow from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/list_rows.h"

namespace orvanta {

class ResultList;

struct KeepRule {
  enum class Kind { InFolder, Newest, Oldest, ShortestPath };
  Kind kind;
  std::string folder;  // InFolder: the folder as the lists key folders
};

// "newest", "oldest", "shortest" or "in=FOLDER" (the folder made absolute);
// nothing for any other text.
std::optional<KeepRule> ParseKeepRule(std::string_view text);
KeepRule KeepInFolder(std::string_view folder);

// Checks every member of every group except the kept ones; rows of no group
// keep their mark. The rules decide in order of priority: a folder rule that
// holds members of the group keeps them all; newest, oldest and shortest path
// narrow the candidates to their best; the first candidate left in list order
// is kept. On the folder list no kept folder ever lies inside a checked one:
// groups are decided from the outermost folders in, a folder inside a checked
// folder is never a candidate, and a kept folder also keeps the members of
// later groups that lie inside it or hold it.
void CheckAllButKept(ResultList& list, const std::vector<KeepRule>& rules);

}  // namespace orvanta
