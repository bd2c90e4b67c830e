#include "actions/check_marks.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "core/result_list.h"
#include "platform/platform.h"

namespace orvanta {
namespace {

std::size_t Depth(std::string_view path) {
  return static_cast<std::size_t>(std::count_if(path.begin(), path.end(), platform::IsPathDelimiter));
}

bool InsideAny(std::string_view path, const std::vector<std::string_view>& folders) {
  return std::any_of(folders.begin(), folders.end(),
                     [path](std::string_view folder) { return IsInsideFolder(path, folder); });
}

void CheckAllButOneFolder(ResultList& list) {
  // Rows of each group in list order; groups from the outermost folders in,
  // so that a parent group has chosen its kept folder before its subfolders' groups.
  std::map<int, std::vector<std::size_t>> rowsOf;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    if (list.Rows()[i].groupId >= 0) rowsOf[list.Rows()[i].groupId].push_back(i);
  }
  std::vector<std::pair<std::size_t, const std::vector<std::size_t>*>> groups;
  for (const auto& [group, rows] : rowsOf) {
    std::size_t depth = SIZE_MAX;
    for (const std::size_t row : rows) depth = std::min(depth, Depth(RowPath(list.Rows()[row], ListKind::Folders)));
    groups.emplace_back(depth, &rows);
  }
  std::stable_sort(groups.begin(), groups.end(), [&list](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->front() < b.second->front();
  });

  std::vector<std::string_view> kept, checked;
  for (const auto& [depth, rows] : groups) {
    // Preferred: inside a kept folder; then a folder holding a kept one; then the first that no checked folder holds.
    std::size_t keep = SIZE_MAX;
    int keepRank = 3;
    for (const std::size_t row : *rows) {
      const std::string_view path = RowPath(list.Rows()[row], ListKind::Folders);
      if (InsideAny(path, checked)) continue;
      const bool holdsKept =
          std::any_of(kept.begin(), kept.end(), [path](std::string_view k) { return IsInsideFolder(k, path); });
      const int rank = InsideAny(path, kept) ? 0 : holdsKept ? 1 : 2;
      if (rank < keepRank) {
        keep = row;
        keepRank = rank;
      }
    }
    if (keep == SIZE_MAX) keep = rows->front();
    for (const std::size_t row : *rows) {
      const std::string_view path = RowPath(list.Rows()[row], ListKind::Folders);
      list.SetChecked(row, row != keep);
      (row == keep ? kept : checked).push_back(path);
    }
  }
}

}  // namespace

void CheckAllButOneInGroup(ResultList& list, ListKind kind) {
  if (kind == ListKind::Folders) {
    CheckAllButOneFolder(list);
    return;
  }
  std::unordered_set<int> seenGroups;
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    const int group = list.Rows()[i].groupId;
    if (group < 0) continue;
    list.SetChecked(i, !seenGroups.insert(group).second);
  }
}

void CheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, true);
}

void UncheckAll(ResultList& list) {
  for (std::size_t i = 0; i < list.Rows().size(); ++i) list.SetChecked(i, false);
}

}  // namespace orvanta
