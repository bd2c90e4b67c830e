// The two result lists as a toolkit-free model: groups with headers, rows with
// a caption, a check mark, a group id and the record of the file or folder
// they stand for.
// The window shows a list through an adapter that listens as a ResultListObserver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/paths.h"

namespace orvanta {

struct FileRecord;

// What a list holds: duplicate files or duplicate folders.
enum class ListKind { Files, Folders };

// How sizes are written: the decimal separator and the unit, " MB" translated.
struct SizeFormat {
  std::string decimalSeparator = ".";
  std::string unit = " MB";
};

// The format with the unit in the language of this moment.
SizeFormat CurrentSizeFormat(std::string_view decimalSeparator);

struct ListColumn {
  std::string caption;
  int width = 0;
};

struct ListGroup {
  int groupId = 0;
  std::string header;
  std::int64_t totalSize = 0;  // the bytes the header's size stands for
};

// A row keeps no texts but its caption: the others are made from its record
// (see ResultList::CellText), and every action reads the record.
struct ListRow {
  std::string caption;  // the group number
  bool checked = false;
  int groupId = -1;  // -1: the row belongs to no group
  // The file or folder as the scan saw it (path, size, identity, time), in
  // the scan's registry; not owned. Null only for a row built without one.
  const FileRecord* data = nullptr;
  // A removal changed the item since it was listed (something inside the
  // folder went to the trash): it no longer matches its group, so it is
  // neither checked nor counted until the next scan.
  bool stale = false;
};

// The row's item lies in a reference folder, or its folder holds one: it is
// never checked (by a command or by hand) and never moved.
bool InReference(const ListRow& row);

// The order in which a window shows the groups of a list. Whatever the order,
// the members of a group stay together under its header, in the order they
// were listed; groups that tie keep the order the scan gave them.
enum class GroupOrder {
  Found,     // as the scan listed them
  Count,     // the number of members
  Name,      // the first name among the members, letter case aside
  Path,      // the first path: the folder of a file, a folder's own path
  Size,      // the members' total size
  Modified,  // the newest member's write time
};

class ResultListObserver {
 public:
  virtual ~ResultListObserver() = default;
  // Rows or groups changed (a batch update ended, rows were removed, the list was emptied).
  virtual void ListReset() = 0;
  virtual void RowCheckChanged(std::size_t row) = 0;
};

class ResultList {
 public:
  ResultList(ListKind kind, std::vector<ListColumn> columns);

  ListKind Kind() const { return kind_; }

  const std::vector<ListColumn>& Columns() const { return columns_; }
  void SetColumnCaption(std::size_t column, std::string caption);

  const std::vector<ListGroup>& Groups() const { return groups_; }
  const std::vector<ListRow>& Rows() const { return rows_; }
  // The texts of a row's columns after the caption, made from its record when
  // asked, so that a list of many files keeps no strings per row: a file's
  // name, folder and size in MB, a folder's path and size in MB.
  std::size_t CellCount(const ListRow& row) const;
  std::string CellText(const ListRow& row, std::size_t item) const;
  // Sizes are written as they were when the list was filled: a language
  // chosen later changes neither the group headers nor the rows.
  const SizeFormat& Sizes() const { return sizeFormat_; }
  void SetSizeFormat(SizeFormat format) { sizeFormat_ = std::move(format); }

  void AddGroup(int groupId, std::string header, std::int64_t totalSize = 0);
  void ClearGroups();
  ListRow& AddRow();
  // Room for `count` more rows, so a long list is not copied while it grows.
  void ReserveRows(std::size_t count) { rows_.reserve(rows_.size() + count); }
  // A stale row, and a row in a reference folder, never takes a check mark.
  void SetChecked(std::size_t row, bool checked);
  // Marks the row stale and takes its check mark away.
  void MarkStale(std::size_t row);
  // Removes every row the predicate picks, keeping the order of the others.
  void RemoveRowsWhere(const std::function<bool(const ListRow&)>& remove);
  void ClearRows();

  // Groups the scan found before Max groups cut the list; -1 while the list
  // holds no search result. Emptying the groups resets it.
  int GroupsFound() const { return groupsFound_; }
  void SetGroupsFound(int found) { groupsFound_ = found; }

  // Whether the scan grouped the members by their content (Content mode)
  // rather than by names or sizes alone; set by the run that fills the list.
  bool GroupedByContent() const { return groupedByContent_; }
  void SetGroupedByContent(bool byContent) { groupedByContent_ = byContent; }

  bool GroupView() const { return groupView_; }
  void SetGroupView(bool on);

  // Nested batch updates: observers hear one ListReset when the outermost ends.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateDepth_ > 0; }

  void SetObserver(ResultListObserver* observer) { observer_ = observer; }

  // How a window shows the list; neither changes the rows, their order, marks
  // or groups, so every action reads the list as the scan filled it.
  void SetGroupOrder(GroupOrder order, bool descending);
  GroupOrder Order() const { return order_; }
  bool Descending() const { return descending_; }
  // Text a row's full path must hold to be shown, letter case aside (simple
  // Unicode lower case); a group is shown whole when one of its members holds
  // it. Empty: every row is shown.
  void SetSearch(std::string_view text);
  const std::string& Search() const { return search_; }
  // Per row, whether the search shows it.
  std::vector<bool> RowsShown() const;
  // The indexes into Groups() of the groups the search shows, in the order set.
  std::vector<std::size_t> ShownGroups() const;

  // The roots of the scan that filled the list, as given and resolved: what
  // acts on a row's item reaches it through Roots().Resolve(path).
  const RootResolution& Roots() const { return roots_; }
  void SetRoots(RootResolution roots) { roots_ = std::move(roots); }

 private:
  void Changed();

  ListKind kind_;
  std::vector<ListColumn> columns_;
  std::vector<ListGroup> groups_;
  std::vector<ListRow> rows_;
  SizeFormat sizeFormat_;
  bool groupView_ = true;
  bool groupedByContent_ = true;
  int groupsFound_ = -1;
  int updateDepth_ = 0;
  bool changedInUpdate_ = false;
  ResultListObserver* observer_ = nullptr;
  RootResolution roots_;
  GroupOrder order_ = GroupOrder::Found;
  bool descending_ = false;
  std::string search_;  // lower case
};

// The columns of the file clone list and of the folder clone list, captions translated.
ResultList MakeFileCloneList();
ResultList MakeFolderCloneList();

// Batch update that keeps rows from being drawn one by one; returns the group
// view setting to hand back to EndListUpdate.
bool BeginListUpdate(ResultList& list);
void EndListUpdate(ResultList& list, bool groupView);

// Pairs BeginListUpdate with EndListUpdate also when the filling throws.
class ListUpdateGuard {
 public:
  explicit ListUpdateGuard(ResultList& list) : list_(list), groupView_(BeginListUpdate(list)) {}
  ~ListUpdateGuard() { EndListUpdate(list_, groupView_); }
  ListUpdateGuard(const ListUpdateGuard&) = delete;
  ListUpdateGuard& operator=(const ListUpdateGuard&) = delete;

 private:
  ResultList& list_;
  bool groupView_;
};

void ClearListGroups(ResultList& list);

// Adds group groupId as both clone lists show it: the header "Group N (size)"
// and one row per member captioned with the group number; describe(member, row)
// fills in the row's check mark and record. The first group of a list fixes
// its size format (decimalSeparator and the unit in the current language).
void AddListGroup(ResultList& list, int groupId, std::int64_t totalSize, std::string_view decimalSeparator,
                  std::size_t memberCount, const std::function<void(std::size_t, ListRow&)>& describe);
// The same with a header of another format, translated, taking the group
// number and the size as "Group %d (%s)" does.
void AddListGroup(ResultList& list, int groupId, std::int64_t totalSize, std::string_view decimalSeparator,
                  const std::string& headerFormat, std::size_t memberCount,
                  const std::function<void(std::size_t, ListRow&)>& describe);

// Size in MB with two decimals, the format's separator and unit; "0" for a
// size the file system did not deliver (negative).
std::string FormatSizeMB(std::int64_t bytes, const SizeFormat& format);
// The same with the unit in the current language.
std::string FormatSizeMB(std::int64_t bytes, std::string_view decimalSeparator);

}  // namespace orvanta
