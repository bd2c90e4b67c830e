#include "core/result_list.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/file_record.h"
#include "core/paths.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {

ResultList::ResultList(ListKind kind, std::vector<ListColumn> columns) : kind_(kind), columns_(std::move(columns)) {}

void ResultList::SetColumnCaption(std::size_t column, std::string caption) {
  columns_.at(column).caption = std::move(caption);
}

void ResultList::AddGroup(int groupId, std::string header, std::int64_t totalSize) {
  groups_.push_back({groupId, std::move(header), totalSize});
  Changed();
}

void ResultList::ClearGroups() {
  groupsFound_ = -1;
  if (groups_.empty()) return;
  groups_.clear();
  groups_.shrink_to_fit();
  Changed();
}

bool InReference(const ListRow& row) { return row.data != nullptr && row.data->reference; }

ListRow& ResultList::AddRow() {
  rows_.emplace_back();
  Changed();
  return rows_.back();
}

void ResultList::SetChecked(std::size_t row, bool checked) {
  ListRow& r = rows_.at(row);
  if (r.checked == checked || (checked && (r.stale || InReference(r)))) return;
  r.checked = checked;
  if (updateDepth_ > 0) {
    changedInUpdate_ = true;
  } else if (observer_ != nullptr) {
    observer_->RowCheckChanged(row);
  }
}

void ResultList::MarkStale(std::size_t row) {
  ListRow& r = rows_.at(row);
  if (r.stale) return;
  r.stale = true;
  r.checked = false;
  Changed();
}

void ResultList::RemoveRowsWhere(const std::function<bool(const ListRow&)>& remove) {
  const auto kept = std::remove_if(rows_.begin(), rows_.end(), remove);
  if (kept == rows_.end()) return;
  rows_.erase(kept, rows_.end());
  Changed();
}

void ResultList::ClearRows() {
  if (rows_.empty()) return;
  rows_.clear();
  rows_.shrink_to_fit();
  Changed();
}

void ResultList::SetGroupView(bool on) {
  if (groupView_ == on) return;
  groupView_ = on;
  Changed();
}

void ResultList::BeginUpdate() { ++updateDepth_; }

void ResultList::EndUpdate() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    if (observer_ != nullptr) observer_->ListReset();
  }
}

void ResultList::Changed() {
  if (updateDepth_ > 0) {
    changedInUpdate_ = true;
  } else if (observer_ != nullptr) {
    observer_->ListReset();
  }
}

void ResultList::SetGroupOrder(GroupOrder order, bool descending) {
  if (order_ == order && descending_ == descending) return;
  order_ = order;
  descending_ = descending;
  Changed();
}

void ResultList::SetSearch(std::string_view text) {
  std::string folded = platform::LowerCase(text);
  if (folded == search_) return;
  search_ = std::move(folded);
  Changed();
}

std::vector<bool> ResultList::RowsShown() const {
  if (search_.empty()) return std::vector<bool>(rows_.size(), true);
  std::vector<bool> matches(rows_.size(), false);
  std::unordered_set<int> matchingGroups;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].data == nullptr) continue;
    matches[i] = platform::LowerCase(rows_[i].data->FullPath()).find(search_) != std::string::npos;
    if (matches[i] && rows_[i].groupId >= 0) matchingGroups.insert(rows_[i].groupId);
  }
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].groupId >= 0) matches[i] = matchingGroups.count(rows_[i].groupId) > 0;
  }
  return matches;
}

std::vector<std::size_t> ResultList::ShownGroups() const {
  std::unordered_map<int, std::size_t> indexOf;
  for (std::size_t g = 0; g < groups_.size(); ++g) indexOf.emplace(groups_[g].groupId, g);
  const std::vector<bool> shown = RowsShown();
  std::vector<bool> groupShown(groups_.size(), search_.empty());
  // Per group: members, total size, newest time, first name and first path.
  struct Key {
    std::size_t count = 0;
    std::int64_t size = 0;
    std::int64_t newest = INT64_MIN;
    std::string text;
    bool hasText = false;
  };
  std::vector<Key> keys(order_ == GroupOrder::Found ? 0 : groups_.size());
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    const auto it = indexOf.find(rows_[r].groupId);
    if (it == indexOf.end()) continue;
    if (shown[r]) groupShown[it->second] = true;
    if (keys.empty()) continue;
    Key& key = keys[it->second];
    ++key.count;
    const FileRecord* record = rows_[r].data;
    if (record == nullptr) continue;
    key.size = AddSizes(key.size, std::max<std::int64_t>(record->size, 0));
    key.newest = std::max(key.newest, record->modified);
    if (order_ == GroupOrder::Name || order_ == GroupOrder::Path) {
      std::string text =
          platform::LowerCase(order_ == GroupOrder::Name ? std::string(record->Name())
                              : kind_ == ListKind::Files ? std::string(ExtractFileDir(record->FullPath()))
                                                         : record->FullPath());
      if (!key.hasText || text < key.text) key.text = std::move(text);
      key.hasText = true;
    }
  }
  std::vector<std::size_t> order;
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    if (groupShown[g]) order.push_back(g);
  }
  const auto less = [this, &keys](std::size_t a, std::size_t b) {
    switch (order_) {
      case GroupOrder::Found: return a < b;
      case GroupOrder::Count: return keys[a].count < keys[b].count;
      case GroupOrder::Name:
      case GroupOrder::Path: return keys[a].text < keys[b].text;
      case GroupOrder::Size: return keys[a].size < keys[b].size;
      case GroupOrder::Modified: return keys[a].newest < keys[b].newest;
    }
    return false;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return descending_ ? less(b, a) : less(a, b); });
  return order;
}

ResultList MakeFileCloneList() {
  return ResultList(ListKind::Files, {{TranslateText("Group"), 60},
                                      {TranslateText("File name"), 300},
                                      {TranslateText("Directory"), 520},
                                      {TranslateText("File size (MB)"), 100}});
}

ResultList MakeFolderCloneList() {
  return ResultList(ListKind::Folders,
                    {{TranslateText("Group"), 60}, {TranslateText("Directory"), 740}, {TranslateText("Size"), 160}});
}

bool BeginListUpdate(ResultList& list) {
  const bool groupView = list.GroupView();
  list.BeginUpdate();
  list.SetGroupView(false);
  return groupView;
}

void EndListUpdate(ResultList& list, bool groupView) {
  list.SetGroupView(groupView);
  list.EndUpdate();
}

void ClearListGroups(ResultList& list) { list.ClearGroups(); }

void AddListGroup(ResultList& list, int groupId, std::int64_t totalSize, std::string_view decimalSeparator,
                  std::size_t memberCount, const std::function<void(std::size_t, ListRow&)>& describe) {
  AddListGroup(list, groupId, totalSize, decimalSeparator, TranslateText("Group %d (%s)"), memberCount, describe);
}

void AddListGroup(ResultList& list, int groupId, std::int64_t totalSize, std::string_view decimalSeparator,
                  const std::string& headerFormat, std::size_t memberCount,
                  const std::function<void(std::size_t, ListRow&)>& describe) {
  if (list.Groups().empty()) list.SetSizeFormat(CurrentSizeFormat(decimalSeparator));
  list.AddGroup(groupId, FormatText(headerFormat, {std::int64_t{groupId}, FormatSizeMB(totalSize, list.Sizes())}),
                totalSize);
  const std::string caption = std::to_string(groupId);
  for (std::size_t i = 0; i < memberCount; ++i) {
    ListRow& row = list.AddRow();
    row.groupId = groupId;
    row.caption = caption;
    describe(i, row);
    if (InReference(row)) row.checked = false;
  }
}

std::size_t ResultList::CellCount(const ListRow& row) const {
  if (row.data == nullptr) return 0;
  return kind_ == ListKind::Files ? 3 : 2;
}

std::string ResultList::CellText(const ListRow& row, std::size_t item) const {
  if (item >= CellCount(row)) return {};
  if (item + 1 == CellCount(row)) return FormatSizeMB(row.data->size, sizeFormat_);
  if (kind_ == ListKind::Folders) return row.data->FullPath();
  return item == 0 ? std::string(row.data->Name()) : std::string(ExtractFileDir(row.data->FullPath()));
}

SizeFormat CurrentSizeFormat(std::string_view decimalSeparator) {
  return {std::string(decimalSeparator), TranslateText(" MB")};
}

std::string FormatSizeMB(std::int64_t bytes, std::string_view decimalSeparator) {
  return FormatSizeMB(bytes, CurrentSizeFormat(decimalSeparator));
}

std::string FormatSizeMB(std::int64_t bytes, const SizeFormat& format) {
  if (bytes < 0) return "0";
  // Hundredths of a MB, rounded half up, in exact integer arithmetic.
  // Split so that bytes * 100 cannot overflow: bytes = whole MB + rest.
  const auto value = static_cast<std::uint64_t>(bytes);
  const std::uint64_t hundredths = (value >> 20) * 100 + ((value & 0xFFFFF) * 100 + 524288) / 1048576;
  const std::uint64_t whole = hundredths / 100;
  const auto fraction = static_cast<unsigned>(hundredths % 100);
  std::string text = std::to_string(whole);
  text += format.decimalSeparator;
  text.push_back(static_cast<char>('0' + fraction / 10));
  text.push_back(static_cast<char>('0' + fraction % 10));
  return text + format.unit;
}

}  // namespace orvanta
