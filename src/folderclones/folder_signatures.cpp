#include "folderclones/folder_signatures.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "collect/folder_walk.h"
#include "core/paths.h"
#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "platform/platform.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

using platform::EntryKind;

// The path a folder is opened by. A root may be a link to a folder, chosen by
// the person: opened with a trailing delimiter, the system follows it. Any
// other folder opens without following a final link.
std::string OpenablePath(const FolderSignatures& folders, const std::string& key) {
  if (folders.rootKeys.count(key) == 0 || platform::IsPathDelimiter(key.back())) return key;
  return key + platform::kPathDelimiter;
}

// Walks every folder below one root without pumping. Links are not entered;
// a folder met before (overlapping roots, bind mounts) is not collected again,
// nor, with `oneFileSystem`, one on another file system than its root's (the
// folder holding it then has contents unknown, and is no clone).
class DirectoryCollector {
 public:
  DirectoryCollector(FolderSignatures& folders, const std::atomic<bool>& stop, bool oneFileSystem)
      : folders_(folders), stop_(stop), oneFileSystem_(oneFileSystem) {}

  void CollectRoot(const std::string& rootKey) {
    std::vector<std::string> pending{rootKey};
    std::optional<std::uint64_t> rootDevice;
    while (!pending.empty() && !stop_.load(std::memory_order_relaxed)) {
      std::string key = std::move(pending.back());
      pending.pop_back();
      const std::size_t firstChild = pending.size();
      {
        platform::FolderReader reader(OpenablePath(folders_, key));
        platform::FileId id;
        const bool identified = reader.IsOpen() && reader.QueryFolderId(id);
        if (identified && key == rootKey) rootDevice = id.device;
        if (oneFileSystem_ && identified && rootDevice && id.device != *rootDevice) continue;
        if (!keys_.insert(key).second || (identified && !ids_.FirstReach(id))) continue;
        std::string_view name;
        EntryKind kind;
        platform::FileAttributes attributes;
        bool haveAttributes = false;
        while (NextKnownEntry(reader, name, kind, attributes, haveAttributes)) {
          if (kind == EntryKind::Folder) pending.push_back(JoinPath(key, name));
        }
      }
      // Listing order: the first subfolder is walked next.
      std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
      folders_.allFolders.push_back(std::move(key));
    }
  }

 private:
  FolderSignatures& folders_;
  const std::atomic<bool>& stop_;
  const bool oneFileSystem_;
  std::unordered_set<std::string> keys_;
  ReachedFiles ids_;
};

// Longest keys first: every subfolder is signed before the folder holding it.
void SortDeepestFirst(std::vector<std::string>& keys) {
  std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : AsciiCaseLess(a, b);
  });
}

// Signs folders one by one from the names and sizes of their files and the
// signatures of their subfolders, which must be signed already.
class FolderSigner {
 public:
  explicit FolderSigner(FolderSignatures& folders) : folders_(folders) {}

  void Sign(const std::string& key) {
    ReadEntries(key);
    Record(key, Digest(key));
  }

 private:
  void ReadEntries(const std::string& key) {
    entries_.clear();
    size_ = 0;
    contentsUnknown_ = false;
    platform::FolderReader reader(OpenablePath(folders_, key));
    if (!reader.IsOpen()) MarkUnreadable();
    std::string_view name;
    EntryKind kind;
    platform::FileAttributes attributes;
    bool haveAttributes = false;
    while (NextKnownEntry(reader, name, kind, attributes, haveAttributes)) {
      if (kind == EntryKind::File) {
        if (!haveAttributes) haveAttributes = reader.QueryAttributes(name, attributes);
        AddFile(name, haveAttributes ? attributes.size : -1);
      } else if (kind == EntryKind::Folder) {
        AddSubfolder(JoinPath(key, name));
      } else if (kind != EntryKind::Unknown) {
        // A link or special file counts by name and kind, never followed or
        // read: a folder holding one is no clone of a folder without it, and
        // trashing it would take the link along.
        entries_.push_back((kind == EntryKind::Link ? "L|" : "S|") + platform::LowerCase(name));
      }
    }
    if (reader.Failed()) MarkUnreadable();
  }

  void MarkUnreadable() {
    entries_.emplace_back("!FILES_ACCESS_ERROR!");
    entries_.emplace_back("!DIRS_ACCESS_ERROR!");
    contentsUnknown_ = true;
  }

  void AddFile(std::string_view name, std::int64_t fileSize) {
    size_ = AddSizes(size_, fileSize);
    entries_.push_back("F|" + platform::LowerCase(name) + "|" + std::to_string(fileSize));
  }

  void AddSubfolder(const std::string& child) {
    const auto signature = folders_.signatureOf.find(child);
    const auto childSize = folders_.sizeOf.find(child);
    const std::int64_t subtree = childSize == folders_.sizeOf.end() ? 0 : childSize->second;
    size_ = AddSizes(size_, subtree);
    if (signature == folders_.signatureOf.end()) contentsUnknown_ = true;
    entries_.push_back(
        "D|" + DirEntryName(child) + "|" +
        (signature == folders_.signatureOf.end() ? std::string("!UNKNOWN_CHILD_SIG!") : signature->second.Hex()) + "|" +
        std::to_string(subtree));
  }

  Sha1Digest Digest(const std::string& key) {
    // Names are lower-cased already, so byte order ignores case. Entries equal
    // after lower-casing all stay: here "A.txt" and "a.txt" are two files.
    std::sort(entries_.begin(), entries_.end());
    // Contents not fully read: the key, unique in this run, keeps the signature unique.
    if (contentsUnknown_) entries_.push_back("!CONTENTS_UNKNOWN!|" + key);
    text_.clear();
    for (const std::string& entry : entries_) {
      text_ += entry;
      text_ += "\r\n";
    }
    sha1_.Reset();
    sha1_.Update(text_.data(), text_.size());
    return Sha1Digest(sha1_.Finish());
  }

  void Record(const std::string& key, const Sha1Digest& signature) {
    const Sha1Digest& stored = folders_.signatureOf[key] = signature;
    folders_.sizeOf[key] = size_;
    const auto [it, inserted] = groupOfSignature_.try_emplace(stored.Bytes(), folders_.signatureGroups.size());
    if (inserted) folders_.signatureGroups.emplace_back(signature, std::vector<std::string>{});
    folders_.signatureGroups[it->second].second.push_back(key);
  }

  FolderSignatures& folders_;
  // Views into signatureOf, whose nodes never move.
  std::unordered_map<std::string_view, std::size_t> groupOfSignature_;
  platform::Sha1 sha1_;
  std::vector<std::string> entries_;
  std::string text_;
  std::int64_t size_ = 0;
  bool contentsUnknown_ = false;
};

}  // namespace

std::string NormalizeDir(std::string_view path) {
  std::string key = platform::AbsolutePath(std::string(path));
  while (key.size() > 1 && platform::IsPathDelimiter(key.back())) key.pop_back();
  // A drive or share root keeps its delimiter ("C:\", "\\server\share\").
  if (const std::size_t drive = platform::DrivePartLength(key); drive > 0 && drive == key.size()) {
    key.push_back(platform::kPathDelimiter);
  }
  return key;
}

std::string DirEntryName(std::string_view key) {
  std::string_view name = ExtractFileName(key);
  if (name.empty()) name = key;
  return platform::LowerCase(name);
}

bool CollectDirectories(ScanContext& scan, FolderSignatures& folders) {
  ScanHost& window = scan.window;
  DirectoryCollector collector(folders, scan.stopRequested, scan.settings.OneFileSystem());
  for (const std::string& root : scan.settings.Folders()) {
    if (scan.StopRequested()) break;
    if (!platform::FolderExists(root)) continue;
    window.SetStatusText(FormatText(TranslateText("Collecting directories: %s"), {root}));
    window.SetProgressMarquee(true);
    const std::string key = NormalizeDir(root);
    folders.rootKeys.insert(key);
    collector.CollectRoot(key);
    window.SetProgressMarquee(false);
  }
  return !scan.StopRequested() && !folders.allFolders.empty();
}

bool AnalyzeDirectories(ScanContext& scan, FolderSignatures& folders) {
  ScanHost& window = scan.window;
  SortDeepestFirst(folders.allFolders);
  const int total = static_cast<int>(folders.allFolders.size());
  StageProgress progress(window, total, {.every = 10, .showLast = true});
  window.SetProgressPosition(0);
  ShowStatus(window, FormatText(TranslateText("Analyzing directories (0/%d)..."), {std::int64_t{total}}));

  FolderSigner signer(folders);
  int position = 0;
  for (const std::string& key : folders.allFolders) {
    if (scan.StopRequested()) return false;
    signer.Sign(key);
    ++position;
    progress.Step(position, [&] {
      return FormatText(TranslateText("Analyzing directories (%d/%d)..."),
                        {std::int64_t{position}, std::int64_t{total}});
    });
  }
  return !scan.StopRequested();
}

}  // namespace orvanta
