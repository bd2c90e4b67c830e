#include "collect/collect_files.h"

#include <stdexcept>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "collect/folder_walk.h"
#include "collect/masks.h"
#include "text/translate.h"

namespace orvanta {

void CollectFiles(ScanContext& scan) {
  WindowOperations& window = scan.window;
  ShowStatus(window, TranslateText("Scanning folders..."));

  const std::vector<std::string> masks = ParseMasks(scan.settings.MasksText());
  const std::int64_t minBytes = scan.settings.MinSizeMB() * 1048576;
  ReachedFiles reached;

  for (const std::string& folder : scan.settings.Folders()) {
    if (scan.StopRequested()) break;
    if (!platform::FolderExists(folder)) continue;
    for (const std::string& mask : masks) {
      if (scan.StopRequested()) break;
      window.SetStatusText(FormatText(TranslateText("Scanning folder list: %s   [%s]"), {folder, mask}));
      window.SetProgressMarquee(true);
      std::deque<EnumeratedFile> paths;
      try {
        paths = EnumerateFiles(scan.files.Paths(), folder, mask, &scan.stopRequested, &reached,
                               [&window] { window.PumpMessages(); });
      } catch (const std::runtime_error&) {
        // A malformed mask or a folder gone meanwhile: this pass contributes nothing.
        paths.clear();
      }
      window.SetProgressMarquee(false);
      const int n = static_cast<int>(paths.size());
      StageProgress progress(window, n, {.every = 50, .first = 1, .showLast = true});
      // Taken from the front, so the list shrinks as the registry grows.
      for (int i = 0; i < n && !paths.empty(); ++i) {
        if (scan.StopRequested()) break;
        const EnumeratedFile file = paths.front();
        paths.pop_front();
        if (minBytes > 0 ? file.size < minBytes : file.size == 0) continue;
        scan.files.Add(*file.folder, file.name, file.size, file.id, file.modified);
        progress.Step(i + 1, [&] {
          return FormatText(TranslateText("Scanning: %s (%d/%d)"),
                            {scan.files.back().FullPath(), std::int64_t{i + 1}, std::int64_t{n}});
        });
      }
    }
  }

  window.SetProgressPosition(0);
  const auto count = static_cast<std::int64_t>(scan.files.size());
  window.SetStatusText(scan.StopRequested()
                           ? FormatText(TranslateText("Scanning cancelled. %d files collected so far."), {count})
                           : FormatText(TranslateText("Found %d files (after filters)."), {count}));
}

}  // namespace orvanta
