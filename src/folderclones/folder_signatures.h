// Folder signatures: every folder below the listed folders summarised bottom-up
// by the names and sizes of its files and the signatures of its subfolders.
#pragma once

#include <cstdint>
#include <functional>
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
  // Content mode: links carry their target text and special files their type
  // and device numbers, and candidate folders are signed again with digests.
  bool compareContents = false;
  // Files whose contents are not on this disk are read (ScanSettings::ReadPlaceholders);
  // otherwise a folder holding one has contents unknown.
  bool readPlaceholders = false;
};

// Gives each of `files` its contentHash and contentCheck where it can be read
// unchanged (the scan run hashes them as the file clone run does).
using HashFiles = std::function<void(const std::vector<FileRecord*>& files)>;

// Collects every folder below the listed folders, each folder once; links are
// not entered. False when the run ends here (Stop, or no listed folder exists).
bool CollectDirectories(ScanContext& scan, FolderSignatures& folders);

// Signs every collected folder, subfolders first. A folder whose listing fails,
// or that holds such a folder, gets a signature no other folder can share:
// nothing vouches for its contents. False when Stop ended the analysis.
bool AnalyzeDirectories(ScanContext& scan, FolderSignatures& folders);

// Content mode, after the analysis: every folder whose signature another
// shares is signed again with each file's content digest, taken from the
// scan's files where the same file was hashed unchanged, else computed by
// `hashFiles`. A file whose digest stays unknown (unreadable, changed, no
// `hashFiles`) leaves its folder's contents unknown: that folder is no clone.
// The groups are then those of the new signatures. False when Stop came.
bool CompareDirectoryContents(ScanContext& scan, FolderSignatures& folders, const HashFiles& hashFiles);

}  // namespace orvanta
