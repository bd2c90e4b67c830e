#include "collect/collect_files.h"

#include "core/scan_context.h"
#include "collect/folder_walk.h"
#include "collect/masks.h"
#include "text/translate.h"

namespace orvanta {

void CollectFiles(ScanContext& scan) {
  WindowOperations& window = scan.window;
  window.SetStatusText(TranslateText("Scanning folders..."));
  window.PumpMessages();

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
        paths = EnumerateFiles(folder, mask, &scan.stopRequested, &reached);
      } catch (...) {
        // A malformed mask or a folder gone meanwhile: this pass contributes nothing.
        paths.clear();
      }
      window.SetProgressMarquee(false);
      const int n = static_cast<int>(paths.size());
      window.SetProgressRange(0, n == 0 ? 1 : n);
      for (int i = 0; i < n; ++i) {
        if (scan.StopRequested()) break;
        EnumeratedFile& file = paths[static_cast<std::size_t>(i)];
        if (minBytes > 0 ? file.size < minBytes : file.size == 0) continue;
        scan.files.push_back(std::make_unique<FileRecord>(std::move(file.path), file.size, file.id, file.modified));
        window.SetProgressPosition(i + 1);
        if (i % 50 == 0 || i == n - 1) {
          window.SetStatusText(
              FormatText(TranslateText("Scanning: %s (%d/%d)"), {scan.files.back()->fullPath, std::int64_t{i + 1}, std::int64_t{n}}));
          window.PumpMessages();
        }
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
