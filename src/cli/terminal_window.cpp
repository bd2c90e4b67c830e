#include "cli/terminal_window.h"

#include <ostream>

#include "platform/platform.h"

namespace orvanta {
namespace {

// The status fitted to one terminal line, control characters blanked.
std::string FitToLine(const std::string& text) {
  std::size_t columns = 80;
  if (const int width = platform::StderrColumns(); width > 1) columns = static_cast<std::size_t>(width);
  std::string line;
  std::size_t characters = 0;
  for (const char c : text) {
    const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (!continuation && ++characters >= columns) break;
    line.push_back(static_cast<unsigned char>(c) < ' ' ? ' ' : c);
  }
  return line;
}

std::atomic<bool>* g_stopFlag = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_stopFlag != nullptr) g_stopFlag->store(true, std::memory_order_relaxed);
}

}  // namespace

TerminalWindow::TerminalWindow(std::ostream& err, bool showProgress, std::function<void()> onPump)
    : err_(err), showProgress_(showProgress), onPump_(std::move(onPump)) {}

void TerminalWindow::SetStatusText(const std::string& text) {
  status_ = text;
  Draw(false);
}

void TerminalWindow::PumpMessages() {
  if (onPump_) onPump_();
}

void TerminalWindow::Finish() {
  if (!showProgress_ || !drawn_) return;
  Draw(true);
  err_ << '\n' << std::flush;
  drawn_ = false;
}

void TerminalWindow::Clear() {
  if (!drawn_) return;
  err_ << "\r\x1b[K";
  drawn_ = false;
}

void TerminalWindow::WriteLine(const std::string& line) {
  Clear();
  err_ << line << '\n' << std::flush;
}

void TerminalWindow::Draw(bool force) {
  if (!showProgress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  err_ << '\r' << FitToLine(status_) << "\x1b[K" << std::flush;
}

InterruptStops::InterruptStops(std::atomic<bool>& flag) {
  g_stopFlag = &flag;
#ifdef _WIN32
  // The C runtime's signal() resets the handler once it runs, like SA_RESETHAND.
  previous_ = std::signal(SIGINT, OnInterrupt);
#else
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
#endif
}

InterruptStops::~InterruptStops() {
#ifdef _WIN32
  std::signal(SIGINT, previous_);
#else
  sigaction(SIGINT, &previous_, nullptr);
#endif
  g_stopFlag = nullptr;
}

}  // namespace orvanta
