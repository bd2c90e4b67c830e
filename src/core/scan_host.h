// What the scan run and its stages ask of their host: the window implements
// these with widgets, the command-line front end with a terminal line, tests
// with a recorder.
#pragma once

#include <string>

namespace orvanta {

class ScanHost {
 public:
  virtual ~ScanHost() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;
  // Indeterminate progress while a walk runs; the host pumps messages afterwards.
  virtual void SetProgressMarquee(bool on) = 0;
  // Lets the host repaint and deliver a Stop; the only point where Stop can arrive.
  virtual void PumpMessages() = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  virtual void EnableStop(bool enabled) = 0;
};

}  // namespace orvanta
