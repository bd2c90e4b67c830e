// What a run of orvanta-cli shows on the terminal: the status line, and
// Ctrl-C as the Stop button.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <iosfwd>
#include <string>

#include "core/scan_host.h"

namespace orvanta {

// The run's host on a terminal: the status as one rewritten line on standard
// error, drawn at most every 100 ms.
class TerminalWindow final : public ScanHost {
 public:
  TerminalWindow(std::ostream& err, bool showProgress, std::function<void()> onPump);

  void SetStatusText(const std::string& text) override;
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressMarquee(bool) override { PumpMessages(); }
  void PumpMessages() override;
  void SetBusyCursor(bool) override {}
  void EnableStop(bool) override {}

  // Leaves the last status on its own line.
  void Finish();
  // Takes the status line off the terminal, so that what follows starts a line of its own.
  void Clear();
  // A line of its own above the status, which is drawn again at its next change.
  void WriteLine(const std::string& line);

 private:
  void Draw(bool force);

  std::ostream& err_;
  bool showProgress_;
  std::function<void()> onPump_;
  std::string status_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};

// Ctrl-C sets the run's stop flag while this lives; a second Ctrl-C ends the
// program the usual way.
class InterruptStops {
 public:
  explicit InterruptStops(std::atomic<bool>& flag);
  ~InterruptStops();
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;

 private:
#ifdef _WIN32
  void (*previous_)(int) = nullptr;
#else
  struct sigaction previous_ {};
#endif
};

}  // namespace orvanta
