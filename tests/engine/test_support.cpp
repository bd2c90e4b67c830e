#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace orvanta::test {

TempTree::TempTree() {
  std::string pattern = (fs::temp_directory_path() / "orvanta-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

TempTree::~TempTree() {
  std::error_code error;
  // Folders a test locked away must be opened again before they can be removed.
  for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) ::chmod(it->path().c_str(), 0755);
  }
  ::chmod(root_.c_str(), 0755);
  for (const auto& entry : fs::directory_iterator(root_, error)) ::chmod(entry.path().c_str(), 0755);
  fs::remove_all(root_, error);
}

std::string TempTree::Folder(const std::string& relative) const {
  std::string path = relative.empty() ? root_ : Path(relative);
  if (path.back() != '/') path.push_back('/');
  return path;
}

std::string TempTree::Path(const std::string& relative) const { return root_ + "/" + relative; }

std::string TempTree::File(const std::string& relative, const std::string& content) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string TempTree::FileOfSize(const std::string& relative, std::size_t size, char fill) {
  return File(relative, std::string(size, fill));
}

std::string TempTree::Dir(const std::string& relative) {
  const std::string path = Path(relative);
  fs::create_directories(path);
  return path;
}

std::string TempTree::Symlink(const std::string& relative, const std::string& target) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  fs::create_symlink(target, path);
  return path;
}

std::string TempTree::HardLink(const std::string& relative, const std::string& existing) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  fs::create_hard_link(existing, path);
  return path;
}

std::string TempTree::Fifo(const std::string& relative) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
  return path;
}

bool RunningAsRoot() { return ::geteuid() == 0; }

void SetModifiedYear(const std::string& path, int year) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mday = 1;
  const timespec stamp{::timegm(&time), 0};
  const timespec times[2] = {stamp, stamp};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) throw std::runtime_error("utimensat failed");
}

void MakePhotoTree(TempTree& tree) {
  for (const std::string name : {"a.jpg", "b.jpg"}) {
    SetModifiedYear(tree.File("photos/" + name, "photo " + name), 2020);
    SetModifiedYear(tree.File("photos_backup/" + name, "photo " + name), 2023);
  }
  SetModifiedYear(tree.File("music/song.mp3", "la la"), 2021);
  SetModifiedYear(tree.File("music copy/song.mp3", "la la"), 2019);
  SetModifiedYear(tree.File("music copy/old/deeper/song.mp3", "la la"), 2019);
  tree.File("documents/only.txt", "alone");
}

void MakeNestedTripTree(TempTree& tree) {
  for (const std::string top : {"photos", "backup"}) {
    tree.File(top + "/trip/day1/x.jpg", "day one");
    tree.File(top + "/trip/day2/y.jpg", "day two");
  }
  tree.File("photos/readme.txt", "only here");
  tree.File("loose/day1/x.jpg", "day one");
  for (const auto& [folder, year] : std::initializer_list<std::pair<const char*, int>>{
           {"photos/trip", 2018}, {"photos/trip/day1", 2018}, {"backup/trip", 2022}, {"backup/trip/day1", 2022},
           {"loose/day1", 2024}, {"photos/trip/day2", 2025}, {"backup/trip/day2", 2017}}) {
    SetModifiedYear(tree.Path(folder), year);
  }
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str()); old != nullptr) saved_ = old;
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (saved_) {
    ::setenv(name_.c_str(), saved_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

void RecordingWindow::SetStatusText(const std::string& text) {
  calls.push_back("status:" + text);
  if (onStatus) onStatus(text);
}
void RecordingWindow::SetProgressRange(int minimum, int maximum) {
  calls.push_back("range:" + std::to_string(minimum) + "-" + std::to_string(maximum));
}
void RecordingWindow::SetProgressPosition(int position) { calls.push_back("pos:" + std::to_string(position)); }
void RecordingWindow::SetProgressMarquee(bool on) {
  calls.push_back(on ? "marquee:on" : "marquee:off");
  PumpMessages();
}
void RecordingWindow::PumpMessages() {
  calls.push_back("pump");
  ++pumps;
  if (onPump) onPump(pumps);
}
void RecordingWindow::SetBusyCursor(bool busy) { calls.push_back(busy ? "cursor:busy" : "cursor:default"); }
void RecordingWindow::EnableStop(bool enabled) { calls.push_back(enabled ? "stop:on" : "stop:off"); }
void RecordingWindow::ShowMessage(const std::string& text) { calls.push_back("message:" + text); }

std::vector<std::string> RecordingWindow::Statuses() const {
  std::vector<std::string> result;
  for (const auto& call : calls) {
    if (call.rfind("status:", 0) == 0) result.push_back(call.substr(7));
  }
  return result;
}

std::vector<std::string> RecordingWindow::ShownStatuses() const {
  std::vector<std::string> shown;
  std::optional<std::string> pending;
  for (const auto& call : calls) {
    if (call.rfind("status:", 0) == 0) {
      pending = call.substr(7);
    } else if (call == "pump" && pending) {
      shown.push_back(std::move(*pending));
      pending.reset();
    }
  }
  if (pending) shown.push_back(std::move(*pending));
  return shown;
}

std::string RecordingWindow::LastStatus() const {
  const auto statuses = Statuses();
  return statuses.empty() ? std::string() : statuses.back();
}

std::vector<std::string> RecordingWindow::Messages() const {
  std::vector<std::string> result;
  for (const auto& call : calls) {
    if (call.rfind("message:", 0) == 0) result.push_back(call.substr(8));
  }
  return result;
}

}  // namespace orvanta::test
