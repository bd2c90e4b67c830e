#include "folderclones/folder_signatures.h"

#include <algorithm>
#include <unordered_set>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "collect/folder_walk.h"
#include "core/paths.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

using platform::EntryKind;

// Keys of equal length in ascending order of an ASCII-case-insensitive comparison.
bool AsciiCaseLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; };
    const int ca = upper(static_cast<unsigned char>(a[i])), cb = upper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

// Walks every folder below one root without pumping. Links are not entered;
// a folder met before (overlapping roots, bind mounts) is not collected again.
class DirectoryCollector {
 public:
  DirectoryCollector(FolderSignatures& folders, const std::atomic<bool>& stop) : folders_(folders), stop_(stop) {}

  void CollectRoot(const std::string& rootKey) {
    std::vector<std::string> pending{rootKey};
    while (!pending.empty() && !stop_.load(std::memory_order_relaxed)) {
      std::string key = std::move(pending.back());
      pending.pop_back();
      const std::size_t firstChild = pending.size();
      {
        platform::FolderReader reader(key);
        platform::FileId id;
        const bool identified = reader.IsOpen() && reader.QueryFolderId(id);
        if (!keys_.insert(key).second || (identified && !ids_.FirstReach(id))) continue;
        std::string_view name;
        EntryKind kind;
        while (reader.Next(name, kind)) {
          if (kind == EntryKind::Unknown) {
            platform::FileAttributes attributes;
            if (!reader.QueryAttributes(name, attributes)) continue;
            kind = attributes.kind;
          }
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
  std::unordered_set<std::string> keys_;
  ReachedFiles ids_;
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
  WindowOperations& window = scan.window;
  DirectoryCollector collector(folders, scan.stopRequested);
  for (const std::string& root : scan.settings.Folders()) {
    if (scan.StopRequested()) break;
    if (!platform::FolderExists(root)) continue;
    window.SetStatusText(FormatText(TranslateText("Collecting directories: %s"), {root}));
    window.SetProgressMarquee(true);
    collector.CollectRoot(NormalizeDir(root));
    window.SetProgressMarquee(false);
  }
  return !scan.StopRequested() && !folders.allFolders.empty();
}

bool AnalyzeDirectories(ScanContext& scan, FolderSignatures& folders) {
  WindowOperations& window = scan.window;
  std::vector<std::string>& dirs = folders.allFolders;
  // Longest keys first: every subfolder is signed before the folder holding it.
  std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : AsciiCaseLess(a, b);
  });
  const int total = static_cast<int>(dirs.size());
  StageProgress progress(window, total, {.every = 10, .showLast = true});
  window.SetProgressPosition(0);
  ShowStatus(window, FormatText(TranslateText("Analyzing directories (0/%d)..."), {std::int64_t{total}}));

  std::unordered_map<std::string_view, std::size_t> groupOfSignature;
  platform::Sha1 sha1;
  std::vector<std::string> entries;
  std::string text;
  int position = 0;
  for (const std::string& key : dirs) {
    if (scan.StopRequested()) return false;
    entries.clear();
    std::int64_t size = 0;
    bool contentsUnknown = false;
    {
      platform::FolderReader reader(key);
      if (!reader.IsOpen()) {
        entries.emplace_back("!FILES_ACCESS_ERROR!");
        entries.emplace_back("!DIRS_ACCESS_ERROR!");
        contentsUnknown = true;
      }
      std::string_view name;
      EntryKind kind;
      while (reader.Next(name, kind)) {
        platform::FileAttributes attributes;
        bool haveAttributes = false;
        if (kind == EntryKind::Unknown) {
          if (!reader.QueryAttributes(name, attributes)) continue;
          haveAttributes = true;
          kind = attributes.kind;
        }
        if (kind == EntryKind::File) {
          if (!haveAttributes) haveAttributes = reader.QueryAttributes(name, attributes);
          const std::int64_t fileSize = haveAttributes ? attributes.size : -1;
          size += fileSize;
          entries.push_back("F|" + platform::LowerCase(name) + "|" + std::to_string(fileSize));
        } else if (kind == EntryKind::Folder) {
          // Links and special files give no entry: a link is not the data it points to.
          const std::string child = JoinPath(key, name);
          const auto signature = folders.signatureOf.find(child);
          const auto childSize = folders.sizeOf.find(child);
          const std::int64_t subtree = childSize == folders.sizeOf.end() ? 0 : childSize->second;
          size += subtree;
          if (signature == folders.signatureOf.end()) contentsUnknown = true;
          entries.push_back("D|" + DirEntryName(child) + "|" +
                            (signature == folders.signatureOf.end() ? std::string("!UNKNOWN_CHILD_SIG!")
                                                                     : std::string(signature->second.view())) +
                            "|" + std::to_string(subtree));
        }
      }
      if (reader.Failed()) {
        entries.emplace_back("!FILES_ACCESS_ERROR!");
        entries.emplace_back("!DIRS_ACCESS_ERROR!");
        contentsUnknown = true;
      }
    }
    // Names are lower-cased already, so byte order ignores case. Entries equal
    // after lower-casing all stay: here "A.txt" and "a.txt" are two files.
    std::sort(entries.begin(), entries.end());
    // Contents not fully read: the key, unique in this run, keeps the signature unique.
    if (contentsUnknown) entries.push_back("!CONTENTS_UNKNOWN!|" + key);
    text.clear();
    for (const std::string& entry : entries) {
      text += entry;
      text += "\r\n";
    }
    sha1.Reset();
    sha1.Update(text.data(), text.size());
    Sha1Text signature;
    sha1.FinishHex(signature.data());

    folders.signatureOf[key] = signature;
    folders.sizeOf[key] = size;
    const auto [it, inserted] = groupOfSignature.try_emplace(folders.signatureOf[key].view(), folders.signatureGroups.size());
    if (inserted) folders.signatureGroups.emplace_back(signature, std::vector<std::string>{});
    folders.signatureGroups[it->second].second.push_back(key);

    ++position;
    progress.Step(position, [&] {
      return FormatText(TranslateText("Analyzing directories (%d/%d)..."), {std::int64_t{position}, std::int64_t{total}});
    });
  }
  return !scan.StopRequested();
}

}  // namespace orvanta
