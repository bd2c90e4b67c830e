#include "folderclones/folder_grouping.h"

#include <algorithm>

#include "core/paths.h"
#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "folderclones/folder_signatures.h"
#include "platform/platform.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

std::int64_t SizeOf(const std::unordered_map<std::string, std::int64_t>& sizeOf, const std::string& key) {
  const auto it = sizeOf.find(key);
  return it == sizeOf.end() ? 0 : it->second;
}

}  // namespace

std::vector<FolderGroup> GroupDirectories(ScanContext& scan, FolderSignatures& folders) {
  ScanHost& window = scan.window;
  ShowStatus(window, TranslateText("Grouping duplicate directories..."));
  const std::size_t minGroupSize = static_cast<std::size_t>(std::max(2, scan.settings.MinGroupSize()));

  std::vector<FolderGroup> groups;
  for (auto& [signature, members] : folders.signatureGroups) {
    if (scan.StopRequested()) break;
    if (members.size() < minGroupSize) continue;
    // A folder sorts before every folder inside it, so nested members are met after their ancestor.
    std::stable_sort(members.begin(), members.end(),
                     [](const std::string& a, const std::string& b) { return AsciiCaseLess(a, b); });
    FolderGroup group;
    std::unordered_set<std::string> keptSet;
    for (const std::string& member : members) {
      if (HasKeptAncestor(member, keptSet)) continue;
      group.members.push_back(member);
      keptSet.insert(NormalizeDir(member));
    }
    if (group.members.size() < minGroupSize) continue;
    // Folders in reference folders (or holding one) alone: nothing in the group may be checked.
    const RootResolution& roots = scan.folderClones.Roots();
    if (std::all_of(group.members.begin(), group.members.end(),
                    [&roots](const std::string& member) { return roots.InReference(roots.Resolve(member), true); })) {
      continue;
    }
    for (const std::string& member : group.members)
      group.totalSize = AddSizes(group.totalSize, SizeOf(folders.sizeOf, member));
    groups.push_back(std::move(group));
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const FolderGroup& a, const FolderGroup& b) { return a.totalSize > b.totalSize; });
  return groups;
}

namespace {

void ListDirectoryGroups(ScanContext& scan, const std::vector<FolderGroup>& groups,
                         const std::unordered_map<std::string, std::int64_t>& sizeOf) {
  ScanHost& window = scan.window;
  const int maxGroups = scan.settings.MaxGroups();
  int toList = static_cast<int>(groups.size());
  if (maxGroups > 0 && maxGroups < toList) toList = maxGroups;

  window.SetProgressPosition(0);
  StageProgress progress(window, toList, {.every = 5});
  ShowStatus(window, TranslateText("Listing directory groups..."));

  scan.folderClones.SetGroupsFound(static_cast<int>(groups.size()));
  int groupNo = 1;
  for (int listed = 0; listed < toList;) {
    if (scan.StopRequested()) break;
    const FolderGroup& group = groups[static_cast<std::size_t>(listed)];
    AddDirGroup(scan, group.members, sizeOf, group.totalSize, groupNo);
    ++listed;
    progress.Step(listed, [&] {
      return FormatText(TranslateText("Listing directory groups (%d/%d)..."),
                        {std::int64_t{listed}, std::int64_t{toList}});
    });
  }
}

}  // namespace

bool HasKeptAncestor(const std::string& key, const std::unordered_set<std::string>& keptSet) {
  std::string current = NormalizeDir(key);
  for (;;) {
    std::string parent(ExtractFileDir(current));
    // A share's folder part lacks the root's delimiter: "\\server\share".
    if (const std::size_t drive = platform::DrivePartLength(parent); drive > 0 && drive == parent.size()) {
      parent.push_back(platform::kPathDelimiter);
    }
    // A root is its own parent: the walk has reached it.
    if (parent.empty() || platform::SamePath(parent, current)) return false;
    if (keptSet.count(parent) != 0) return true;
    current = parent;
  }
}

// A listed folder's record. Removal later moves the folder only while it is
// still this one, reached through its root's resolved path (a root given as a
// link is the folder it names).
FileRecord& AddFolderRecord(ScanContext& scan, const std::string& folder, std::int64_t size) {
  const std::string path = scan.folderClones.Roots().Resolve(folder);
  platform::FileAttributes attributes, parent;
  if (!platform::QueryAttributes(path, attributes)) attributes = {};
  FileRecord& record = scan.folderRecords.Add(folder, size, attributes.id, attributes.modified);
  record.changed = attributes.changed;
  record.owner = attributes.owner;
  record.inSharedFolder = platform::QueryAttributes(std::string(ExtractFileDir(path)), parent) && parent.shared;
  // Moving a folder that holds a reference folder would take that along.
  record.reference = scan.folderClones.Roots().InReference(path, true);
  return record;
}

void AddDirGroup(ScanContext& scan, const std::vector<std::string>& members,
                 const std::unordered_map<std::string, std::int64_t>& sizeOf, std::int64_t totalSize, int& groupNo) {
  // Only Content mode compares what the files hold.
  const std::string header = scan.settings.Compare() == CompareMode::Content
                                 ? TranslateText("Group %d (%s)")
                                 : TranslateText("Group %d (%s): names and sizes match, contents not compared");
  AddListGroup(
      scan.folderClones, groupNo++, totalSize, scan.decimalSeparator, header, members.size(),
      [&](std::size_t i, ListRow& row) { row.data = &AddFolderRecord(scan, members[i], SizeOf(sizeOf, members[i])); });
}

void FindDirectoryDuplicates(ScanContext& scan, const HashFiles& hashFiles) {
  ResultList& list = scan.folderClones;
  const ListUpdateGuard batch(list);
  list.ClearRows();
  ClearListGroups(list);

  FolderSignatures folders;
  if (!CollectDirectories(scan, folders) || !AnalyzeDirectories(scan, folders)) return;
  if (folders.compareContents && !CompareDirectoryContents(scan, folders, hashFiles)) return;
  const std::vector<FolderGroup> groups = GroupDirectories(scan, folders);
  ListDirectoryGroups(scan, groups, folders.sizeOf);

  scan.window.SetStatusText(scan.StopRequested() ? TranslateText("Directory scan cancelled.")
                                                 : TranslateText("Duplicate directory groups listed."));
  scan.window.SetProgressPosition(0);
}

}  // namespace orvanta
