// How a stage shows its advance: the bar on every step, the status text and a
// pump (the only point where the window repaints and a Stop arrives) on the
// steps its cadence picks, so a long stage stays responsive without paying a
// repaint per item.
#pragma once

#include <string>

#include "core/scan_host.h"

namespace orvanta {

struct ProgressCadence {
  int every = 50;
  // The first step shown: 0 shows steps every, 2*every...; 1 shows 1, 1+every...
  int first = 0;
  bool showLast = false;
  // False: the bar moves only together with the text.
  bool barEveryStep = true;
};

// Shows a status text at once and lets the window repaint and deliver a Stop.
void ShowStatus(ScanHost& window, const std::string& text);

class StageProgress {
 public:
  // Sets the bar's range to the stage's steps (one when there are none).
  StageProgress(ScanHost& window, int total, ProgressCadence cadence);

  // Records that `done` steps are complete; makeText() builds the status text
  // only on the steps that show it.
  template <typename MakeText>
  void Step(int done, MakeText&& makeText) {
    const bool shown = Shown(done);
    if (cadence_.barEveryStep || shown) window_.SetProgressPosition(done);
    if (shown) ShowStatus(window_, makeText());
  }

 private:
  bool Shown(int done) const {
    return (done - cadence_.first) % cadence_.every == 0 || (cadence_.showLast && done == total_);
  }

  ScanHost& window_;
  int total_;
  ProgressCadence cadence_;
};

}  // namespace orvanta
