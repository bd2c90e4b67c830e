#include "collect/collect_files.h"

#include <algorithm>
#include <stdexcept>

#include "collect/folder_walk.h"
#include "collect/masks.h"
#include "core/paths.h"
#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// Drops the records of a pass past `kept` when the pass ends, an exception too.
struct KeepOnExit {
  FileRegistry& files;
  const std::size_t& kept;
  ~KeepOnExit() { files.Truncate(kept); }
};

}  // namespace

void CollectFiles(ScanContext& scan) {
  ScanHost& window = scan.window;
  ShowStatus(window, TranslateText("Scanning folders..."));

  const MaskSet maskSet = SplitMasks(scan.settings.MasksText());
  const std::vector<std::string>& masks = maskSet.include;
  // A malformed mask that leaves files out is skipped, as one that chooses them is.
  std::vector<FileMask> leftOut;
  for (const std::string& mask : maskSet.exclude) {
    try {
      leftOut.emplace_back(mask);
    } catch (const MaskError&) {
    }
  }
  // A malformed folder pattern ends the scan here, naming it: walking the
  // folders the person meant to leave out would be a scan of something else.
  const FolderExclusions exclusions(scan.settings.ExcludedFolders(), !scan.settings.ScanTrash());
  const std::int64_t minBytes = scan.settings.MinSizeMB() * 1048576;
  const std::int64_t maxBytes = scan.settings.MaxSizeMB() * 1048576;  // 0: no limit
  const bool oneFileSystem = scan.settings.OneFileSystem();
  const bool readPlaceholders = scan.settings.ReadPlaceholders();
  const RootResolution& roots = scan.fileClones.Roots();
  // Files arrive folder by folder: whether a folder lies in a reference folder is asked once.
  const std::string* lastFolder = nullptr;
  bool lastInReference = false;
  ReachedFiles reached(scan.files);
  std::int64_t leftUnread = 0;    // files not on this disk, left out unread
  std::int64_t reachedInAll = 0;  // what the walks found, for the status of a stopped scan

  for (const std::string& folder : scan.settings.Folders()) {
    if (scan.StopRequested()) break;
    if (!platform::FolderExists(folder)) continue;
    for (const std::string& mask : masks) {
      if (scan.StopRequested()) break;
      window.SetStatusText(FormatText(TranslateText("Scanning folder list: %s   [%s]"), {folder, mask}));
      window.SetProgressMarquee(true);
      // Files are registered as the walk finds them; the enumeration index of
      // each is kept for the status texts that follow, which count every file
      // the pass reached.
      const std::size_t before = scan.files.size();
      // The pass keeps what its status texts reached, however it ends: a pass
      // cut short by Stop, an error or an exception registers nothing.
      std::size_t kept = before;
      const KeepOnExit keep{scan.files, kept};
      std::vector<std::uint32_t> reachedAs;
      std::uint32_t reachedCount = 0;
      PathStore& stored = scan.files.Paths();
      auto found = [&](const EnumeratedFile& file) {
        if (std::any_of(leftOut.begin(), leftOut.end(), [&file](const FileMask& m) { return m.Matches(file.name); })) {
          return;
        }
        const bool sizeFits =
            (minBytes > 0 ? file.size >= minBytes : file.size != 0) && (maxBytes <= 0 || file.size <= maxBytes);
        const bool unread = sizeFits && LeftOutUnread(file.offline, readPlaceholders);
        const bool registered = sizeFits && !unread;
        const bool first = !file.id.Known() ? reached.FirstReach(file.FullPath())
                           : registered     ? reached.FirstReach(file.id, scan.files.size())
                                            : reached.FirstReach(file.id);
        if (!first) return;
        ++reachedCount;
        if (!sizeFits) return;
        // Named only where it would have been a candidate: below the minimum size it is not missed.
        if (unread) {
          ++leftUnread;
          if (scan.placeholderFiles != nullptr) scan.placeholderFiles->push_back(file.FullPath());
          return;
        }
        const std::string& storedFolder = stored.Folder(file.folder);
        if (&storedFolder != lastFolder && !roots.ReferenceFolders().empty()) {
          lastFolder = &storedFolder;
          lastInReference = roots.InReference(roots.Resolve(storedFolder));
        }
        FileRecord& record = scan.files.Add(storedFolder, stored.Name(file.name), file.size, file.id, file.modified);
        record.reference = lastInReference;
        record.changed = file.changed;
        record.owner = file.owner;
        record.inSharedFolder = file.inSharedFolder;
        reachedAs.push_back(reachedCount);
      };
      bool walked = true;
      try {
        WalkFiles(
            folder, mask, found, &scan.stopRequested, [&window] { window.PumpMessages(); }, oneFileSystem, &exclusions);
      } catch (const std::runtime_error&) {
        // A malformed mask or a folder gone meanwhile: this pass contributes nothing.
        walked = false;
      }
      window.SetProgressMarquee(false);
      reachedInAll += reachedCount;
      if (!walked || scan.StopRequested()) continue;
      const auto n = static_cast<int>(reachedCount);
      StageProgress progress(window, n, {.every = 50, .first = 1, .showLast = true});
      for (std::size_t k = 0; k < reachedAs.size(); ++k) {
        if (scan.StopRequested()) break;
        kept = before + k + 1;
        const auto i = static_cast<int>(reachedAs[k]);
        progress.Step(i, [&] {
          return FormatText(TranslateText("Scanning: %s (%d/%d)"),
                            {scan.files[before + k].FullPath(), std::int64_t{i}, std::int64_t{n}});
        });
      }
    }
  }

  window.SetProgressPosition(0);
  const auto count = static_cast<std::int64_t>(scan.files.size());
  // Stopped: what the walks found, though none of it is kept (nor named).
  if (scan.StopRequested()) {
    if (scan.placeholderFiles != nullptr) scan.placeholderFiles->clear();
    window.SetStatusText(reachedInAll == 1 ? TranslateText("Scanning cancelled. 1 file collected so far.")
                                           : FormatText(TranslateText("Scanning cancelled. %d files collected so far."),
                                                        {reachedInAll}));
  } else {
    window.SetStatusText(count == 1 ? TranslateText("Found 1 file (after filters).")
                                    : FormatText(TranslateText("Found %d files (after filters)."), {count}));
    if (leftUnread > 0) {
      window.SetStatusText(
          leftUnread == 1 ? TranslateText("1 file is only online and was not read.")
                          : FormatText(TranslateText("%d files are only online and were not read."), {leftUnread}));
    }
  }
}

}  // namespace orvanta
