#include "list_checks.h"

#include <algorithm>

namespace orvanta::test {

std::set<std::string> UncheckedPaths(const ResultList& list, const TempTree& tree) {
  std::set<std::string> paths;
  for (const ListRow& row : list.Rows()) {
    if (!row.checked) paths.insert(tree.Relative(RowPath(row)));
  }
  return paths;
}

std::vector<int> GroupsLosingEveryCopy(const ResultList& list) {
  std::vector<std::string> checked;
  for (const ListRow& row : list.Rows()) {
    if (row.checked) checked.push_back(RowPath(row));
  }
  std::vector<int> losing;
  for (const ListGroup& group : list.Groups()) {
    const bool keeps = std::any_of(list.Rows().begin(), list.Rows().end(), [&](const ListRow& row) {
      return row.groupId == group.groupId && !row.checked &&
             std::none_of(checked.begin(), checked.end(),
                          [&](std::string_view c) { return IsInsideFolder(RowPath(row), c); });
    });
    if (!keeps) losing.push_back(group.groupId);
  }
  return losing;
}

}  // namespace orvanta::test
