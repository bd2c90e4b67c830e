// The scan settings as the stages read them, each at the moment a stage starts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

enum class CompareMode { Name = 0, Size = 1, NameAndSize = 2, Content = 3 };

// The default bound of the digest cache's file: about 1,500,000 files.
inline constexpr std::int64_t kDefaultCacheLimitMB = 256;

// Item index of "Compare files by"; no selection (-1) or any other index is Content.
CompareMode CompareModeFromIndex(int index);

class ScanSettings {
 public:
  virtual ~ScanSettings() = default;
  // Folder paths in list order, each ending in the path delimiter.
  virtual std::vector<std::string> Folders() const = 0;
  virtual CompareMode Compare() const = 0;
  virtual std::string MasksText() const = 0;
  virtual std::int64_t MinSizeMB() const = 0;
  virtual bool ParallelHashing() const = 0;
  virtual int MaxGroups() const = 0;  // 0: no limit
  virtual int MinGroupSize() const = 0;
  virtual bool FindFileClones() const = 0;
  virtual bool FindFolderClones() const = 0;
  // Each root's walk stays on that root's file system (find -xdev).
  virtual bool OneFileSystem() const = 0;
  // Folder names or patterns, one each (as file masks: "*", "?", "[a-f]"),
  // whose folders the walks do not enter.
  virtual std::vector<std::string> ExcludedFolders() const = 0;
  virtual std::int64_t MaxSizeMB() const = 0;  // 0: no limit
  // The walks enter the trash folders too, which they otherwise skip: a copy
  // kept in the trash is gone once the trash is emptied.
  virtual bool ScanTrash() const = 0;
  // Files whose contents are not on this disk (Windows cloud placeholders,
  // offline files) are read too, which downloads them; otherwise they are
  // left out unread and named. Nothing is such a file on POSIX.
  virtual bool ReadPlaceholders() const = 0;
  // Folders whose files and folders are never checked or moved: folders of
  // the list or folders inside them, as the list keeps them.
  virtual std::vector<std::string> ReferenceFolders() const = 0;
  // The digest cache's file; empty: the scan reads every file it hashes.
  virtual std::string DigestCacheFile() const = 0;
  // The bound of that file, in MB.
  virtual std::int64_t DigestCacheLimitMB() const = 0;
};

// Settings held in plain fields, starting at the window's start values.
struct ScanSettingsValues : ScanSettings {
  std::vector<std::string> folders;
  CompareMode compare = CompareMode::Content;
  std::string masks = "*.*";
  std::int64_t minSizeMB = 1;
  bool parallel = true;
  int maxGroups = 100;
  int minGroupSize = 2;
  bool fileClones = true;
  bool folderClones = false;
  bool oneFileSystem = false;
  std::vector<std::string> excludedFolders;
  std::int64_t maxSizeMB = 0;
  bool scanTrash = false;
  bool readPlaceholders = false;
  std::vector<std::string> referenceFolders;
  std::string digestCache;  // none: the front ends name the user's
  std::int64_t cacheLimitMB = kDefaultCacheLimitMB;

  std::vector<std::string> Folders() const override { return folders; }
  CompareMode Compare() const override { return compare; }
  std::string MasksText() const override { return masks; }
  std::int64_t MinSizeMB() const override { return minSizeMB; }
  bool ParallelHashing() const override { return parallel; }
  int MaxGroups() const override { return maxGroups; }
  int MinGroupSize() const override { return minGroupSize; }
  bool FindFileClones() const override { return fileClones; }
  bool FindFolderClones() const override { return folderClones; }
  bool OneFileSystem() const override { return oneFileSystem; }
  std::vector<std::string> ExcludedFolders() const override { return excludedFolders; }
  std::int64_t MaxSizeMB() const override { return maxSizeMB; }
  bool ScanTrash() const override { return scanTrash; }
  bool ReadPlaceholders() const override { return readPlaceholders; }
  std::vector<std::string> ReferenceFolders() const override { return referenceFolders; }
  std::string DigestCacheFile() const override { return digestCache; }
  std::int64_t DigestCacheLimitMB() const override { return cacheLimitMB; }
};

// A spin edit's text as an integer; text that is not one reads as the fallback.
std::int64_t ReadIntegerSetting(std::string_view text, std::int64_t fallback);

}  // namespace orvanta
