#include "core/stage_progress.h"

#include <algorithm>

namespace orvanta {

void ShowStatus(ScanHost& window, const std::string& text) {
  window.SetStatusText(text);
  window.PumpMessages();
}

StageProgress::StageProgress(ScanHost& window, int total, ProgressCadence cadence)
    : window_(window), total_(total), cadence_(cadence) {
  window_.SetProgressRange(0, std::max(total, 1));
}

}  // namespace orvanta
