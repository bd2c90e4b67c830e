// Folder clone groups: folders with equal signatures, without members nested
// in another member, largest totals first, listed in folderClones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orvanta {

struct FolderSignatures;
struct ScanContext;
struct FileRecord;

struct FolderGroup {
  std::vector<std::string> members;  // members in row order
  std::int64_t totalSize = 0;
};

// The whole folder clone run: collection, analysis, grouping and listing. In
// Content mode `hashFiles` computes the digests of files in folders that may be
// clones which the scan has not hashed (see CompareDirectoryContents); in the
// other modes each group's header says that names and sizes matched, not contents.
void FindDirectoryDuplicates(ScanContext& scan,
                             const std::function<void(const std::vector<FileRecord*>&)>& hashFiles = {});

// Groups of at least the minimum size from the signatures, members nested in
// another member dropped, largest totals first.
std::vector<FolderGroup> GroupDirectories(ScanContext& scan, FolderSignatures& folders);

// True when a proper ancestor of the folder is in keptSet.
bool HasKeptAncestor(const std::string& key, const std::unordered_set<std::string>& keptSet);

// Adds one group with an unchecked row per folder and advances the group number.
void AddDirGroup(ScanContext& scan, const std::vector<std::string>& members,
                 const std::unordered_map<std::string, std::int64_t>& sizeOf, std::int64_t totalSize, int& groupNo);

}  // namespace orvanta
