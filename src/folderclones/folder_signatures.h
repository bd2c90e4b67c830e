// Folder signatures: every folder below the listed folders summarised bottom-up
// by the names and sizes of its files and the signatures of its subfolders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/file_record.h"

namespace orvanta {

struct ScanContext;

// A folder's key: its full path without a trailing delimiter; a root keeps it
// ("/", "C:\", "\\server\share\").
std::string NormalizeDir(std::string_view path);
// A key's last component lower-cased; for the root, the root itself.
std::string DirEntryName(std::string_view key);

// The working data of one folder clone run.
struct FolderSignatures {
  std::vector<std::string> allFolders;       // each folder key once, in collection order
  std::unordered_set<std::string> rootKeys;  // the listed folders' keys
  std::unordered_map<std::string, Sha1Digest> signatureOf;
  std::unordered_map<std::string, std::int64_t> sizeOf;
  // Signature to the keys that have it, in analysis order; signatures in the
  // order they first appeared, so the same tree always groups the same way.
  std::vector<std::pair<Sha1Digest, std::vector<std::string>>> signatureGroups;
};

// Collects every folder below the listed folders, each folder once; links are
// not entered. False when the run ends here (Stop, or no listed folder exists).
bool CollectDirectories(ScanContext& scan, FolderSignatures& folders);

// Signs every collected folder, subfolders first. A folder whose listing fails,
// or that holds such a folder, gets a signature no other folder can share:
// nothing vouches for its contents. False when Stop ended the analysis.
bool AnalyzeDirectories(ScanContext& scan, FolderSignatures& folders);

}  // namespace orvanta
