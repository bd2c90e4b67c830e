// Shared helpers for the engine tests: fixture trees in a temporary folder,
// a window that records every call, and settings held in plain fields.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/prompts.h"
#include "actions/removal.h"
#include "core/scan_context.h"
#include "platform/platform.h"
#include "scan/scan_run.h"

// The first line of a test about what only POSIX has: elsewhere the test
// skips itself, saying why.
#ifdef _WIN32
#define ORVANTA_SKIP_UNLESS_POSIX(why) GTEST_SKIP() << "POSIX only: " << (why)
#else
#define ORVANTA_SKIP_UNLESS_POSIX(why) static_cast<void>(0)
#endif

namespace orvanta::test {

// A fresh folder below the system's temporary folder, removed with the object.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // Root path without a trailing delimiter.
  const std::string& Root() const { return root_; }
  // Root path as the folder list holds it: with a trailing delimiter.
  std::string Folder(const std::string& relative = "") const;
  std::string Path(const std::string& relative) const;
  // The part of a path below the root, with "/" delimiters as tests write it.
  std::string Relative(std::string_view path) const;

  // Creates parent folders as needed.
  std::string File(const std::string& relative, const std::string& content);
  std::string FileOfSize(const std::string& relative, std::size_t size, char fill = 'x');
  std::string Dir(const std::string& relative);
  std::string Symlink(const std::string& relative, const std::string& target);
  std::string HardLink(const std::string& relative, const std::string& existing);
  std::string Fifo(const std::string& relative);
  // Sets the file's size without writing it (sparse where the file system
  // allows); false when the system refuses.
  static bool Resize(const std::string& path, std::uint64_t size);
#ifndef _WIN32
  // A file below a chain of folders with long names whose full path is at
  // least `pathLength` bytes, made through folder handles, since the kernel
  // takes no path that long in one call.
  std::string DeepFile(const std::string& chain, std::size_t pathLength, const std::string& name,
                       const std::string& content);
#endif

 private:
  std::string root_;
};

bool RunningAsRoot();

#ifndef _WIN32
// Every entry below the folder and the folder itself as lstat tells it
// (identity, kind and mode, owner, links, size, modification and change
// times, a link's target): two equal states mean nothing there was made,
// removed or changed, not even a name made and taken away again.
std::string DiskState(const std::string& folder);
#endif

// Keeps this process from reading a file or listing a folder for the object's
// life. POSIX: every permission taken away (root reads it still: check
// RunningAsRoot first). Windows: held open without sharing, as a mail program
// holds its store.
class Unreadable;

// While it lives, every file of that name lists as one whose contents are only
// online, as Windows lists a cloud placeholder (no system here makes one).
class OnlineOnly {
 public:
  explicit OnlineOnly(std::string name) {
    platform::FolderReader::SetOfflineForTesting(
        [name = std::move(name)](std::string_view entry) { return entry == name; });
  }
  ~OnlineOnly() { platform::FolderReader::SetOfflineForTesting({}); }
  OnlineOnly(const OnlineOnly&) = delete;
  OnlineOnly& operator=(const OnlineOnly&) = delete;
};

class Unreadable {
 public:
  explicit Unreadable(const std::string& path);
  ~Unreadable();
  Unreadable(const Unreadable&) = delete;
  Unreadable& operator=(const Unreadable&) = delete;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  std::string path_;
  unsigned mode_ = 0;
#endif
};

// Overwrites the start of a file in place with `bytes` and puts its write time
// back to the exact tick, as `touch -r`, `exiftool -P` or `rsync --inplace -t`
// leave a file (std::filesystem may round the time it sets to seconds).
void EditInPlaceKeepingTime(const std::string& path, const std::string& bytes);
// Sets the last write time of a file or folder to 1 January of the year.
void SetModifiedYear(const std::string& path, int year);
// Photos and music with copies, as a user keeps them: photos/ (2020) and
// photos_backup/ (2023) with a.jpg and b.jpg; music/song.mp3 (2021) with two
// copies of 2019 in "music copy/", one of them deep; documents/ without copies.
void MakePhotoTree(TempTree& tree);
// Folder clones that nest: photos/trip (2018) and backup/trip (2022), each with
// day1/ (dated as its trip) and day2/ (dated the other way round, so that newest
// or oldest alone would keep a day inside a trip put up for removal), photos/
// unlike backup/, and loose/day1 (2024), a third day1.
void MakeNestedTripTree(TempTree& tree);

// Sets an environment variable (unsets it for nullopt) for the object's life;
// the old value returns on every way out of the test, a failed assertion too,
// so a failure never spreads into the tests that follow.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CACHE_HOME at a fresh
// folder of this process, removed at exit, so no test reaches the user's
// settings, trash or caches however the binary is started. Every test binary's
// main calls it before anything else. (Windows keeps its settings in the
// registry: the tests that write them restore them.)
void UseScratchHome();
// The folder UseScratchHome made; empty before the call.
const std::string& ScratchHome();

// The trash the tests move to: data/Trash below the tree, never the user's.
// POSIX: the freedesktop.org trash, with XDG_DATA_HOME at data/ for the
// object's life. Windows: the Recycle Bin's own checks and request, with the
// shell faked: it moves each item of the request to data/Trash/files.
// Answers every question with Yes and keeps every text shown.
struct YesPrompts : Prompts {
  std::vector<std::string> shown;
  void Message(const std::string& text) override { shown.push_back(text); }
  bool Confirm(const std::string& text, bool) override {
    shown.push_back(text);
    return true;
  }
};

// A copy and its kept copy as a link replacement is handed them, both as
// they are on disk now.
platform::LinkItem LinkItemNow(const std::string& copy, const std::string& kept);

class TestTrash {
 public:
  explicit TestTrash(const TempTree& tree);
  TestTrash(const TestTrash&) = delete;
  TestTrash& operator=(const TestTrash&) = delete;

  // Moves the items as platform::MoveToTrash does; valid for the object's life.
  TrashMover Mover() const;

 private:
  ScopedEnvironmentVariable dataHome_;
  std::string files_;
};

class RecordingWindow : public ScanHost {
 public:
  void SetStatusText(const std::string& text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPosition(int position) override;
  void SetProgressMarquee(bool on) override;
  void PumpMessages() override;
  void SetBusyCursor(bool busy) override;
  void EnableStop(bool enabled) override;

  // Every call in order, as "status:TEXT", "range:MIN-MAX", "pos:N",
  // "marquee:on|off", "pump", "cursor:busy|default", "stop:on|off".
  std::vector<std::string> calls;
  std::vector<std::string> Statuses() const;
  // The status texts a user gets to see: each followed by a pump before the
  // next text replaces it, and the last one, which stays.
  std::vector<std::string> ShownStatuses() const;
  std::string LastStatus() const;
  int pumps = 0;
  // Runs at each pump with the pump's 1-based number.
  std::function<void(int)> onPump;
  // Runs at each status text; may throw to stand for a failing stage.
  std::function<void(const std::string&)> onStatus;
};

// The window's start values, but every file size and every group.
struct FakeSettings : ScanSettingsValues {
  FakeSettings() {
    minSizeMB = 0;
    maxGroups = 0;
  }
};

// The whole bytes of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// A text the program shows naming the Recycle Bin, as this platform shows it:
// as written on Windows, naming the Trash elsewhere.
std::string TrashText(std::string windowsText);

// A tree and a whole scan of it: the recording host, settings naming the tree
// (change them before Run), and the run.
struct ScannedTree {
  ScannedTree() { settings.folders = {tree.Folder()}; }

  TempTree tree;
  RecordingWindow window;
  FakeSettings settings;
  ScanRun run{window, settings};
};

// What a scan stage works on, for tests that run one stage.
struct StageHarness {
  RecordingWindow window;
  FakeSettings settings;
  std::atomic<bool> stop{false};
  FileRegistry files;
  FileRegistry folderRecords;
  ResultList fileClones = MakeFileCloneList();
  ResultList folderClones = MakeFolderCloneList();
  ScanContext Context() { return ScanContext{window, settings, stop, files, folderRecords, fileClones, folderClones}; }
};

}  // namespace orvanta::test
