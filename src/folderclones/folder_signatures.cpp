#include "folderclones/folder_signatures.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "collect/folder_walk.h"
#include "collect/masks.h"
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
// nor, with `oneFileSystem`, one on another file system than its root's, nor
// one the exclusions leave out (the folder holding either then has contents
// unknown, and is no clone).
class DirectoryCollector {
 public:
  DirectoryCollector(FolderSignatures& folders, const std::atomic<bool>& stop, bool oneFileSystem,
                     const FolderExclusions& exclusions)
      : folders_(folders), stop_(stop), oneFileSystem_(oneFileSystem), exclusions_(exclusions) {}

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
          // Left out, it is never signed: the folder holding it has contents
          // unknown and is no clone (AddSubfolder), as one that could not be read.
          if (kind == EntryKind::Folder && !exclusions_.Excludes([&key] { return key; }, name))
            pending.push_back(JoinPath(key, name));
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
  const FolderExclusions& exclusions_;
  std::unordered_set<std::string> keys_;
  ReachedFiles ids_;
};

// Longest keys first: every subfolder is signed before the folder holding it.
void SortDeepestFirst(std::vector<std::string>& keys) {
  std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : AsciiCaseLess(a, b);
  });
}

// A name or link target as an entry holds it: the characters that delimit
// entries and fields written as %XX, so no name can pass for several entries.
void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '%' || c == '|' || c == '\r' || c == '\n') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      out += c;
    }
  }
}

// Signs folders one by one from the names and sizes of their files and the
// signatures of their subfolders, which must be signed already. Comparing
// contents, links add their target text and special files their type and
// device numbers; in the second pass each file adds its content digest.
class FolderSigner {
 public:
  explicit FolderSigner(FolderSignatures& folders) : folders_(folders) {}

  void Sign(const std::string& key) {
    ReadEntries(key, nullptr);
    Record(key, Digest(key));
  }

  // Signs the folder again with its files' digests, from the records of its
  // files in `contentFiles` (in listing order). A file without one, or not
  // among them, leaves the folder's contents unknown.
  void SignWithContents(const std::string& key, const FileRegistry& contentFiles, std::size_t begin, std::size_t end) {
    const FileRange files{contentFiles, begin, end, begin};
    ReadEntries(key, &files);
    Record(key, Digest(key));
  }

  // Forgets the groups of the first pass; the signatures stay for the subfolders' entries.
  void ForgetGroups() {
    groupOfSignature_.clear();
    folders_.signatureGroups.clear();
  }

 private:
  struct FileRange {
    const FileRegistry& records;
    std::size_t begin, end;
    mutable std::size_t next;  // listings repeat their order: looked at first
  };

  void ReadEntries(const std::string& key, const FileRange* files) {
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
        // Left out unread, as the file clone run leaves it: nothing vouches for its bytes.
        if (haveAttributes && LeftOutUnread(attributes.offline, folders_.readPlaceholders)) contentsUnknown_ = true;
        AddFile(name, haveAttributes ? attributes.size : -1, files);
      } else if (kind == EntryKind::Folder) {
        AddSubfolder(JoinPath(key, name));
      } else if (kind != EntryKind::Unknown) {
        // A link or special file counts by name and kind, never followed or
        // read: a folder holding one is no clone of a folder without it, and
        // trashing it would take the link along.
        std::string& entry = NewEntry(kind == EntryKind::Link ? "L|" : "S|", name);
        if (folders_.compareContents) {
          entry += '|';
          if (reader.QueryEntryContent(name, content_)) {
            AppendEscaped(entry, content_);
          } else {
            contentsUnknown_ = true;
          }
        }
      }
    }
    if (reader.Failed()) MarkUnreadable();
  }

  // A new entry of the kind and the name, lower-cased and escaped.
  std::string& NewEntry(std::string_view kind, std::string_view name) {
    std::string& entry = entries_.emplace_back(kind);
    AppendEscaped(entry, platform::LowerCase(name));
    return entry;
  }

  void MarkUnreadable() {
    entries_.emplace_back("!FILES_ACCESS_ERROR!");
    entries_.emplace_back("!DIRS_ACCESS_ERROR!");
    contentsUnknown_ = true;
  }

  void AddFile(std::string_view name, std::int64_t fileSize, const FileRange* files) {
    size_ = AddSizes(size_, fileSize);
    std::string& entry = NewEntry("F|", name);
    entry += '|';
    entry += std::to_string(fileSize);
    if (files == nullptr || fileSize == 0) return;
    const FileRecord* record = Find(*files, name);
    if (record == nullptr || record->size != fileSize || record->contentHash.empty()) {
      contentsUnknown_ = true;
      return;
    }
    // Fixed length, after the last delimiter: no escaping needed.
    entry += '|';
    entry += record->contentHash.Bytes();
    entry.append(reinterpret_cast<const char*>(record->contentCheck.data()), sizeof record->contentCheck);
  }

  static const FileRecord* Find(const FileRange& files, std::string_view name) {
    if (files.next != files.end && files.records[files.next].Name() == name) return &files.records[files.next++];
    for (std::size_t i = files.begin; i < files.end; ++i) {
      if (files.records[i].Name() == name) return &files.records[i];
    }
    return nullptr;
  }

  void AddSubfolder(const std::string& child) {
    const auto signature = folders_.signatureOf.find(child);
    const auto childSize = folders_.sizeOf.find(child);
    const std::int64_t subtree = childSize == folders_.sizeOf.end() ? 0 : childSize->second;
    size_ = AddSizes(size_, subtree);
    if (signature == folders_.signatureOf.end()) contentsUnknown_ = true;
    std::string& entry = NewEntry("D|", DirEntryName(child));
    entry += '|';
    entry += signature == folders_.signatureOf.end() ? std::string("!UNKNOWN_CHILD_SIG!") : signature->second.Hex();
    entry += '|';
    entry += std::to_string(subtree);
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
    std::array<unsigned char, Sha1Digest::kSize> digest;
    return sha1_.Finish(digest) ? Sha1Digest(digest) : Sha1Digest();
  }

  // A folder without a signature (SHA-1 failed) joins no group, and the
  // folders holding it count their contents unknown.
  void Record(const std::string& key, const Sha1Digest& signature) {
    if (signature.empty()) return;
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
  std::string content_;
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
  const FolderExclusions exclusions(scan.settings.ExcludedFolders(), !scan.settings.ScanTrash());
  DirectoryCollector collector(folders, scan.stopRequested, scan.settings.OneFileSystem(), exclusions);
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
  folders.compareContents = scan.settings.Compare() == CompareMode::Content;
  folders.readPlaceholders = scan.settings.ReadPlaceholders();
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

namespace {

// Lists the files of every candidate folder into `files`, each
// folder's in listing order; their ranges by folder key.
bool ListCandidateFiles(ScanContext& scan, const FolderSignatures& folders,
                        const std::unordered_set<std::string_view>& candidates, FileRegistry& files,
                        std::unordered_map<std::string_view, std::pair<std::size_t, std::size_t>>& ranges) {
  for (const std::string& key : folders.allFolders) {
    if (scan.StopRequested()) return false;
    if (candidates.count(key) == 0) continue;
    const std::string& folder =
        files.Paths().Folder(platform::IsPathDelimiter(key.back()) ? key : key + platform::kPathDelimiter);
    const std::size_t begin = files.size();
    platform::FolderReader reader(OpenablePath(folders, key));
    std::string_view name;
    EntryKind kind;
    platform::FileAttributes attributes;
    bool haveAttributes = false;
    while (NextKnownEntry(reader, name, kind, attributes, haveAttributes)) {
      if (kind != EntryKind::File) continue;
      // A file left out here has no digest when the folder is signed, which then matches no other.
      if (!haveAttributes && !reader.QueryAttributes(name, attributes)) continue;
      if (LeftOutUnread(attributes.offline, folders.readPlaceholders)) continue;  // gone online since the analysis
      files.Add(folder, files.Paths().Name(name), attributes.size, attributes.id, attributes.modified).changed =
          attributes.changed;
    }
    ranges.emplace(key, std::make_pair(begin, files.size()));
  }
  return true;
}

// Gives each listed file the digests the file clone run computed for it, where
// it is the same file with the same size and times; the files left need hashing.
std::vector<FileRecord*> TakeScannedDigests(const FileRegistry& scanned, FileRegistry& files) {
  std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, const FileRecord*>> byId;
  for (const FileRecord& file : scanned) {
    if (!file.contentHash.empty() && file.id.Known()) byId.push_back({{file.id.device, file.id.inode}, &file});
  }
  std::sort(byId.begin(), byId.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FileRecord*> toHash;
  for (FileRecord& file : files) {
    if (file.size <= 0) continue;  // an empty file needs no digest
    const std::pair<std::uint64_t, std::uint64_t> id{file.id.device, file.id.inode};
    auto it = std::lower_bound(byId.begin(), byId.end(), id, [](const auto& a, const auto& b) { return a.first < b; });
    for (; file.id.Known() && it != byId.end() && it->first == id; ++it) {
      const FileRecord& seen = *it->second;
      if (seen.id == file.id && seen.size == file.size && seen.modified == file.modified &&
          seen.changed == file.changed) {
        file.contentHash = seen.contentHash;
        file.contentCheck = seen.contentCheck;
        break;
      }
    }
    if (file.contentHash.empty()) toHash.push_back(&file);
  }
  return toHash;
}

}  // namespace

bool CompareDirectoryContents(ScanContext& scan, FolderSignatures& folders, const HashFiles& hashFiles) {
  // Only folders that share their first signature can be clones; every
  // subfolder of one such folder is one too, as its signature is part of it.
  std::unordered_set<std::string_view> candidates;
  for (const auto& [signature, members] : folders.signatureGroups) {
    if (members.size() < 2) continue;
    for (const std::string& key : members) candidates.insert(key);
  }
  if (candidates.empty()) return !scan.StopRequested();
  std::unordered_map<std::string_view, std::pair<std::size_t, std::size_t>> ranges;
  FileRegistry files;
  if (!ListCandidateFiles(scan, folders, candidates, files, ranges)) return false;
  const std::vector<FileRecord*> toHash = TakeScannedDigests(scan.files, files);
  if (!toHash.empty() && hashFiles) hashFiles(toHash);
  if (scan.StopRequested()) return false;

  FolderSigner signer(folders);
  signer.ForgetGroups();
  for (const std::string& key : folders.allFolders) {
    if (scan.StopRequested()) return false;
    const auto range = ranges.find(key);
    if (range != ranges.end()) signer.SignWithContents(key, files, range->second.first, range->second.second);
  }
  return true;
}

}  // namespace orvanta
