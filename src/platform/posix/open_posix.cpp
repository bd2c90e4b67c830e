#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace orvanta::platform {
namespace {

// xdg-open's exit statuses; anything else is its own failure.
constexpr int kNoOpenTool = 3;
constexpr int kActionFailed = 4;
// xdg-open fails within this when nothing handles the item; a handler may run
// in the foreground of xdg-open for as long as the user keeps it open.
constexpr auto kFailureWindow = std::chrono::milliseconds(2000);

std::string ReasonForStatus(int status) {
  if (WIFEXITED(status)) {
    switch (WEXITSTATUS(status)) {
      case kNoOpenTool:
      case kActionFailed: return "no program is set up to open it";
      case 2: return "it does not exist";
      default: return "xdg-open ended with status " + std::to_string(WEXITSTATUS(status));
    }
  }
  return "xdg-open was ended by a signal";
}

}  // namespace

bool OpenWithDefaultProgram(const std::string& path, std::string& error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The handler's chatter stays out of our terminal.
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
  }
  std::string program = "xdg-open";
  std::string argument = path;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    error = spawned == ENOENT ? "xdg-open is not installed" : std::strerror(spawned);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kFailureWindow;
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
      error = ReasonForStatus(status);
      return false;
    }
    if (ended < 0) return true;  // reaped elsewhere: it did start
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Still running: the program is open. Reap it whenever it ends.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

bool ShellTakesPath(const std::string&) { return true; }

}  // namespace orvanta::platform
