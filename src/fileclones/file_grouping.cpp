#include "fileclones/file_grouping.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "app/scan_context.h"
#include "collect/paths.h"
#include "platform/platform.h"
#include "translation/translate.h"

namespace orvanta {
namespace {

struct TGroupRec {
  const std::vector<TFileInfo*>* Files;
  std::int64_t TotalSize;
};

// Lists of files per key, kept in the order the keys first appear, so that a
// scan of the same tree always lists its groups in the same order.
template <typename Key>
class KeyMap {
 public:
  void Add(Key key, TFileInfo* file) {
    const auto [it, inserted] = index_.try_emplace(std::move(key), lists_.size());
    if (inserted) lists_.emplace_back();
    lists_[it->second].push_back(file);
  }
  const std::vector<std::vector<TFileInfo*>>& Lists() const { return lists_; }

 private:
  std::unordered_map<Key, std::size_t> index_;
  std::vector<std::vector<TFileInfo*>> lists_;
};

std::vector<std::vector<TFileInfo*>> BuildKeyLists(const FileRegistry& files, CompareMode mode) {
  if (mode == CompareMode::Size) {
    KeyMap<std::int64_t> map;
    for (const auto& file : files) map.Add(file->Size, file.get());
    return map.Lists();
  }
  KeyMap<std::string> map;
  for (const auto& file : files) {
    switch (mode) {
      case CompareMode::Name:
        map.Add(platform::LowerCase(file->Name()), file.get());
        break;
      case CompareMode::NameAndSize:
        map.Add(platform::LowerCase(file->Name()) + "|" + std::to_string(file->Size), file.get());
        break;
      default:
        if (!file->ContentHash.empty()) map.Add(file->ContentHash, file.get());
        break;
    }
  }
  return map.Lists();
}

}  // namespace

void FindFileDuplicates(ScanContext& scan) {
  const CompareMode mode = scan.settings.Compare();
  const int maxGroups = scan.settings.MaxGroups();
  const int minGroupSize = std::max(2, scan.settings.MinGroupSize());

  const std::vector<std::vector<TFileInfo*>> lists = BuildKeyLists(scan.FFiles, mode);

  std::vector<TGroupRec> groups;
  for (const auto& list : lists) {
    if (list.size() < static_cast<std::size_t>(minGroupSize)) continue;
    std::int64_t total = 0;
    for (const TFileInfo* file : list) total += file->Size;
    groups.push_back({&list, total});
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const TGroupRec& a, const TGroupRec& b) { return a.TotalSize > b.TotalSize; });

  int toList = static_cast<int>(groups.size());
  if (maxGroups > 0 && maxGroups < toList) toList = maxGroups;

  ResultList& list = scan.lvFiles;
  WindowOperations& window = scan.window;
  list.BeginUpdate();
  struct ItemsUpdateEnd {
    ResultList& list;
    ~ItemsUpdateEnd() { list.EndUpdate(); }
  } itemsUpdateEnd{list};
  list.ClearRows();
  ClearListGroups(list);
  window.SetProgressPosition(0);
  window.SetProgressRange(0, toList == 0 ? 1 : toList);
  int count = 0;
  {
    ListUpdateGuard batch(list);
    int groupNo = 1;
    while (count < toList && !scan.StopRequested()) {
      const TGroupRec& group = groups[static_cast<std::size_t>(count)];
      AddFileGroup(scan, *group.Files, group.TotalSize, groupNo);
      ++count;
      if (count % 50 == 0) {
        window.SetProgressPosition(count);
        window.SetStatusText(FormatText(TranslateText("Listing file groups (%d/%d)..."), {std::int64_t{count}, std::int64_t{toList}}));
        window.PumpMessages();
      }
    }
    window.SetProgressPosition(count);
  }
  if (!scan.StopRequested()) window.SetStatusText(TranslateText("Duplicate file groups populated."));
}

void AddFileGroup(ScanContext& scan, const std::vector<TFileInfo*>& files, std::int64_t totalSize, int& groupNo) {
  ResultList& list = scan.lvFiles;
  list.AddGroup(groupNo, FormatText(TranslateText("Group %d (%s)"),
                                    {std::int64_t{groupNo}, FormatSizeMB(totalSize, scan.decimalSeparator)}));
  const std::string caption = std::to_string(groupNo);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TFileInfo* file = files[i];
    ListRow& row = list.AddRow();
    row.groupId = groupNo;
    row.checked = i != 0;
    row.caption = caption;
    row.subItems = {std::string(file->Name()), std::string(ExtractFileDir(file->FullPath)),
                    FormatSizeMB(file->Size, scan.decimalSeparator)};
    row.data = file;
  }
  ++groupNo;
}

}  // namespace orvanta
