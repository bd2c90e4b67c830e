#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/platform.h"

namespace orvanta::platform {

bool IsPathDelimiter(char c) { return c == '/'; }

bool InvalidInFileName(char c) { return c == '/' || c == '\0'; }

std::size_t LastNameDelimiter(std::string_view path) { return path.rfind('/'); }

std::size_t DrivePartLength(std::string_view) { return 0; }

bool SamePath(std::string_view a, std::string_view b) { return a == b; }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }
bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

int StderrColumns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

std::optional<unsigned> SystemLanguageId() { return std::nullopt; }

std::string TempFolder() {
  std::error_code error;
  std::string folder = std::filesystem::temp_directory_path(error).string();
  return error ? std::string("/tmp") : folder;
}

}  // namespace orvanta::platform
