#include "fileclones/file_grouping.h"

#include <algorithm>
#include <string>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

struct FileGroup {
  const std::vector<const FileRecord*>* files;
  std::int64_t totalSize;
};

// The files of every key shared by at least minGroupSize files, each list in
// collection order, the lists in the order their first file was collected.
// Sorting (key, index) pairs needs no list per key: most keys have one file.
// Files of one key that `same` tells apart form lists of their own.
template <typename Key, typename Same>
std::vector<std::vector<const FileRecord*>> FilesOfEqualKeys(std::vector<std::pair<Key, std::uint32_t>> keyed,
                                                             const FileRegistry& files, std::size_t minGroupSize,
                                                             Same&& same) {
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::pair<std::uint32_t, std::vector<const FileRecord*>>> lists;  // first index, members
  std::vector<std::uint32_t> rest;
  for (std::size_t begin = 0, end = 0; begin < keyed.size(); begin = end) {
    for (end = begin + 1; end < keyed.size() && keyed[end].first == keyed[begin].first;) ++end;
    if (end - begin < minGroupSize) continue;
    rest.clear();
    for (std::size_t i = begin; i < end; ++i) rest.push_back(keyed[i].second);
    while (rest.size() >= minGroupSize) {
      const FileRecord& first = files[rest.front()];
      std::vector<const FileRecord*> members;
      std::size_t kept = 0;
      for (const std::uint32_t index : rest) {
        if (same(first, files[index])) {
          members.push_back(&files[index]);
        } else {
          rest[kept++] = index;
        }
      }
      const std::uint32_t firstIndex = rest.front();
      rest.resize(kept);
      if (members.size() >= minGroupSize) lists.emplace_back(firstIndex, std::move(members));
    }
  }
  std::sort(lists.begin(), lists.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::vector<const FileRecord*>> result;
  result.reserve(lists.size());
  for (auto& list : lists) result.push_back(std::move(list.second));
  return result;
}

template <typename Key>
std::vector<std::vector<const FileRecord*>> FilesOfEqualKeys(std::vector<std::pair<Key, std::uint32_t>> keyed,
                                                             const FileRegistry& files, std::size_t minGroupSize) {
  return FilesOfEqualKeys(std::move(keyed), files, minGroupSize,
                          [](const FileRecord&, const FileRecord&) { return true; });
}

std::vector<std::vector<const FileRecord*>> GroupByKey(const FileRegistry& files, CompareMode mode,
                                                       std::size_t minGroupSize) {
  const auto count = static_cast<std::uint32_t>(files.size());
  if (mode == CompareMode::Size) {
    std::vector<std::pair<std::int64_t, std::uint32_t>> keyed;
    keyed.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) keyed.emplace_back(files[i].size, i);
    return FilesOfEqualKeys(std::move(keyed), files, minGroupSize);
  }
  if (mode == CompareMode::Content) {
    // Sorted by half of the check alone, counted first: with the whole check
    // or the SHA-1 in the key, or a list left to grow by doubling, this list
    // was most of a large scan's peak memory. Files are alike only when their
    // whole checks and their SHA-1s agree as well.
    std::uint32_t hashed = 0;
    for (const FileRecord& file : files) hashed += file.contentHash.empty() ? 0 : 1;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
    keyed.reserve(hashed);
    for (std::uint32_t i = 0; i < count; ++i) {
      const FileRecord& file = files[i];
      if (!file.contentHash.empty()) keyed.emplace_back(file.contentCheck[0], i);
    }
    return FilesOfEqualKeys(std::move(keyed), files, minGroupSize, [](const FileRecord& a, const FileRecord& b) {
      return a.contentCheck == b.contentCheck && a.contentHash == b.contentHash;
    });
  }
  std::vector<std::pair<std::string, std::uint32_t>> keyed;
  keyed.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string key = platform::LowerCase(files[i].Name());
    if (mode == CompareMode::NameAndSize) key += "|" + std::to_string(files[i].size);
    keyed.emplace_back(std::move(key), i);
  }
  return FilesOfEqualKeys(std::move(keyed), files, minGroupSize);
}

}  // namespace

void FindFileDuplicates(ScanContext& scan) {
  const CompareMode mode = scan.settings.Compare();
  const int maxGroups = scan.settings.MaxGroups();
  const int minGroupSize = std::max(2, scan.settings.MinGroupSize());

  const std::vector<std::vector<const FileRecord*>> lists =
      GroupByKey(scan.files, mode, static_cast<std::size_t>(minGroupSize));

  std::vector<FileGroup> groups;
  groups.reserve(lists.size());
  for (const auto& list : lists) {
    // Copies in reference folders alone: nothing in the group may be checked.
    if (std::all_of(list.begin(), list.end(), [](const FileRecord* file) { return file->reference; })) continue;
    std::int64_t total = 0;
    for (const FileRecord* file : list) total = AddSizes(total, file->size);
    groups.push_back({&list, total});
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const FileGroup& a, const FileGroup& b) { return a.totalSize > b.totalSize; });

  int toList = static_cast<int>(groups.size());
  if (maxGroups > 0 && maxGroups < toList) toList = maxGroups;

  ResultList& list = scan.fileClones;
  ScanHost& window = scan.window;
  const ListUpdateGuard batch(list);
  list.ClearRows();
  ClearListGroups(list);
  list.SetGroupsFound(static_cast<int>(groups.size()));
  window.SetProgressPosition(0);
  std::size_t rows = 0;
  for (int i = 0; i < toList; ++i) rows += groups[static_cast<std::size_t>(i)].files->size();
  list.ReserveRows(rows);
  StageProgress progress(window, toList, {.every = 50, .barEveryStep = false});
  int count = 0;
  int groupNo = 1;
  while (count < toList && !scan.StopRequested()) {
    const FileGroup& group = groups[static_cast<std::size_t>(count)];
    AddFileGroup(scan, *group.files, group.totalSize, groupNo);
    ++count;
    progress.Step(count, [&] {
      return FormatText(TranslateText("Listing file groups (%d/%d)..."), {std::int64_t{count}, std::int64_t{toList}});
    });
  }
  window.SetProgressPosition(count);
  if (!scan.StopRequested()) window.SetStatusText(TranslateText("Duplicate file groups populated."));
}

void AddFileGroup(ScanContext& scan, const std::vector<const FileRecord*>& files, std::int64_t totalSize,
                  int& groupNo) {
  // The first copy stays unchecked: a group is never marked for removal whole.
  // Where the group has copies in reference folders, those are the ones that stay.
  const bool reference =
      std::any_of(files.begin(), files.end(), [](const FileRecord* file) { return file->reference; });
  AddListGroup(scan.fileClones, groupNo++, totalSize, scan.decimalSeparator, files.size(),
               [&](std::size_t i, ListRow& row) {
                 const FileRecord* file = files[i];
                 row.checked = reference ? !file->reference : i != 0;
                 row.data = file;
               });
}

}  // namespace orvanta
