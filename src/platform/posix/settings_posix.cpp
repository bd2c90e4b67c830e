#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/platform.h"

namespace orvanta::platform {
namespace {

// $variable when it is an absolute path, else `inHome` below the home folder; empty without a home.
std::string XdgFolder(const char* variable, const char* inHome) {
  if (const char* folder = std::getenv(variable); folder != nullptr && folder[0] == '/') return folder;
  const char* home = std::getenv("HOME");
  std::string base = home != nullptr && home[0] == '/' ? home : "";
  if (base.empty()) {
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) base = user->pw_dir;
  }
  return base.empty() ? std::string() : base + "/" + inHome;
}

std::string ConfigFolder() {
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  return config.empty() ? config : config + "/Orvanta";
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSection(const std::string& line) { return !line.empty() && line.front() == '['; }

}  // namespace

std::string UserCacheFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache"); }

std::string ExecutableFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return ".";
  path.resize(static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}

std::string JoinedPath(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::optional<std::string> ReadSetting(const std::string& key) {
  const std::string folder = ConfigFolder();
  if (folder.empty()) return std::nullopt;
  bool general = true;  // keys before any section count as [General]
  for (const std::string& line : ReadLines(folder + "/Orvanta.conf")) {
    if (IsSection(line)) {
      general = line == "[General]";
    } else if (general && line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return std::nullopt;
}

bool WriteSetting(const std::string& key, const std::string& value) {
  const std::string folder = ConfigFolder();
  if (folder.empty()) return false;
  const std::string parent = folder.substr(0, folder.rfind('/'));
  ::mkdir(parent.c_str(), 0700);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  const std::string file = folder + "/Orvanta.conf";
  std::vector<std::string> lines = ReadLines(file);
  bool general = true, written = false;
  std::size_t generalEnd = std::string::npos;
  for (std::size_t i = 0; i < lines.size() && !written; ++i) {
    if (IsSection(lines[i])) {
      if (general && i > 0) generalEnd = i;
      general = lines[i] == "[General]";
    } else if (general && lines[i].rfind(key + "=", 0) == 0) {
      lines[i] = key + "=" + value;
      written = true;
    }
  }
  if (!written) {
    if (lines.empty()) lines.push_back("[General]");
    const std::string entry = key + "=" + value;
    if (general) {
      lines.push_back(entry);
    } else if (generalEnd != std::string::npos) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(generalEnd), entry);
    } else {
      lines.insert(lines.begin(), {"[General]", entry});
    }
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  try {
    ReplaceFileContents(file, text);
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}

}  // namespace orvanta::platform
