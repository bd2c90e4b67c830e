#include "actions/list_totals.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "actions/list_rows.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// The row's size; 0 where the file system delivered none.
std::int64_t Known(const ListRow& row) { return row.data != nullptr ? std::max<std::int64_t>(row.data->size, 0) : 0; }

// Below one of the folders: a walk up the path's parents, set look-ups, so a
// long folder list stays quick to total after every mark.
bool InsideAny(std::string_view path, const std::unordered_set<std::string>& folders) {
  std::string_view current = path;
  for (;;) {
    const std::string_view parent = ExtractFileDir(current);
    if (parent.empty() || parent.size() >= current.size()) return false;
    if (folders.count(std::string(parent)) != 0) return true;
    current = parent;
  }
}

}  // namespace

CheckedTotals CountChecked(const ResultList& list) {
  const ListKind kind = list.Kind();
  CheckedTotals totals;
  std::unordered_set<std::string> checkedFolders;
  if (kind == ListKind::Folders) {
    for (const ListRow& row : list.Rows()) {
      if (row.checked) checkedFolders.emplace(RowPath(row));
    }
  }
  for (const ListRow& row : list.Rows()) {
    if (!row.checked) continue;
    ++totals.count;
    if (kind == ListKind::Folders && InsideAny(RowPath(row), checkedFolders)) continue;
    totals.bytes += Known(row);
  }
  return totals;
}

std::optional<ListSummary> SummarizeList(const ResultList& list) {
  if (list.GroupsFound() < 0) return std::nullopt;
  struct Sizes {
    std::int64_t total = 0;
    std::int64_t largest = 0;
    std::size_t members = 0;
  };
  // Rows that went to the trash or went stale no longer count: a group with
  // fewer than two members left is no group any more.
  std::unordered_map<int, Sizes> byGroup;
  for (const ListRow& row : list.Rows()) {
    if (row.groupId < 0 || row.stale) continue;
    Sizes& sizes = byGroup[row.groupId];
    sizes.total += Known(row);
    sizes.largest = std::max(sizes.largest, Known(row));
    ++sizes.members;
  }
  ListSummary summary;
  for (const auto& [group, sizes] : byGroup) {
    if (sizes.members < 2) continue;
    ++summary.groupsListed;
    summary.extraBytes += sizes.total - sizes.largest;
  }
  const int gone = static_cast<int>(list.Groups().size()) - summary.groupsListed;
  summary.groupsFound = std::max(list.GroupsFound() - gone, summary.groupsListed);
  return summary;
}

std::string TotalsLine(const ResultList& list, std::string_view decimalSeparator) {
  const std::optional<ListSummary> summary = SummarizeList(list);
  if (!summary) return {};
  std::string line;
  if (summary->groupsFound == 0) {
    line = TranslateText("No clone groups found");
  } else if (summary->groupsListed < summary->groupsFound) {
    line = FormatText(TranslateText("Groups: first %d of %d listed, extra copies: %s"),
                      {std::int64_t{summary->groupsListed}, std::int64_t{summary->groupsFound},
                       FormatSizeMB(summary->extraBytes, decimalSeparator)});
  } else {
    line = FormatText(TranslateText("Groups: %d, extra copies: %s"),
                      {std::int64_t{summary->groupsListed}, FormatSizeMB(summary->extraBytes, decimalSeparator)});
  }
  if (list.Rows().empty()) return line;
  const CheckedTotals checked = CountChecked(list);
  return line + "  \xC2\xB7  " +
         FormatText(TranslateText("%d checked, %s"),
                    {static_cast<std::int64_t>(checked.count), FormatSizeMB(checked.bytes, decimalSeparator)});
}

}  // namespace orvanta
