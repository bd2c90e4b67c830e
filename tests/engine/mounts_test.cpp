// Mounts. The walk enters them unless told to stay on each root's file
// system. The trash: nothing mounted inside an item goes along with it, each
// item goes to the trash of its own mount and the outcome says which, a
// read-only file system is named as the reason. Mounting needs root: those
// cases run in the root pass of scripts/test and skip elsewhere, saying why.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "actions/check_marks.h"
#include "actions/link_replacement.h"
#include "actions/list_rows.h"
#include "actions/prompts.h"
#include "actions/relocation.h"
#include "actions/trash_note.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "collect/folder_walk.h"
#include "platform/escaped_name.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// The test process's own mount namespace, entered once: nothing mounted here
// is seen outside, and the kernel drops it all when the process ends, however
// it ends. Empty when entered, else why not.
const std::string& PrivateMountNamespace() {
  static const std::string failure = []() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("making / private: ") + std::strerror(errno);
    }
    return {};
  }();
  return failure;
}

// A mount for the object's life. Unmounted on every way out of the test, also
// when a fault moved it away from its mount point (into the trash): it is
// found again through a descriptor of its root.
class ScopedMount {
 public:
  // A tmpfs at `target` (source empty), or a bind mount of `source`.
  ScopedMount(const std::string& source, const std::string& target) : target_(target) {
    mounted_ = source.empty() ? ::mount("orvanta-test", target.c_str(), "tmpfs", 0, "mode=0755") == 0
                              : ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (!mounted_) {
      error_ = std::strerror(errno);
      return;
    }
    root_ = ::open(target.c_str(), O_PATH | O_CLOEXEC);
  }
  ~ScopedMount() {
    if (mounted_ && ::umount2(target_.c_str(), MNT_DETACH) != 0 && root_ >= 0) {
      ::umount2(("/proc/self/fd/" + std::to_string(root_)).c_str(), MNT_DETACH);
    }
    if (root_ >= 0) ::close(root_);
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }
  // Read-only from now on (a bind mount's flags change on their own).
  bool MakeReadOnly() {
    return ::mount(nullptr, target_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string target_;
  bool mounted_ = false;
  std::string error_;
  int root_ = -1;
};

// Mounts need root and a mount namespace of the test's own.
#define ORVANTA_SKIP_UNLESS_MOUNTS()                                                                                 \
  do {                                                                                                               \
    if (!test::RunningAsRoot()) GTEST_SKIP() << "mounting needs root; the root pass of scripts/test runs this";      \
    if (!PrivateMountNamespace().empty()) GTEST_SKIP() << "no private mount namespace: " << PrivateMountNamespace(); \
  } while (false)

std::vector<std::string> Walked(const std::string& root, const std::string& mask, bool oneFileSystem) {
  std::vector<std::string> found;
  WalkFiles(
      root, mask, [&found](const EnumeratedFile& file) { found.push_back(file.FullPath()); }, nullptr, {},
      oneFileSystem);
  std::sort(found.begin(), found.end());
  return found;
}
#endif

// A file system of its own mounted below the root: entered by default, left
// out with the option, files and folder clones alike; a bind mount of the
// root's own file system is no other file system (as find -xdev has it).
TEST(OneFileSystem, TheWalkStaysOnTheRootsFileSystemWhenAsked) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  tree.File("home/photo.jpg", "photo");
  tree.File("home/album/photo.jpg", "photo");
  tree.File("home/bound-source/song.mp3", "song");
  tree.Dir("home/usb");
  tree.Dir("home/bound");
  const ScopedMount usb("", tree.Path("home/usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  const ScopedMount bound(tree.Path("home/bound-source"), tree.Path("home/bound"));
  ASSERT_TRUE(bound.Mounted()) << bound.Error();
  tree.File("home/usb/photo.jpg", "photo");
  tree.File("home/usb/album/photo.jpg", "photo");

  const std::string root = tree.Folder("home");
  const std::vector<std::string> everything = {
      tree.Path("home/album/photo.jpg"), tree.Path("home/bound-source/song.mp3"), tree.Path("home/bound/song.mp3"),
      tree.Path("home/photo.jpg"),       tree.Path("home/usb/album/photo.jpg"),   tree.Path("home/usb/photo.jpg")};
  EXPECT_EQ(Walked(root, "*.*", false), everything);
  std::vector<std::string> oneFileSystem = everything;
  oneFileSystem.erase(oneFileSystem.end() - 2, oneFileSystem.end());
  EXPECT_EQ(Walked(root, "*.*", true), oneFileSystem);

  // The whole scan: the disk's copies join no group, its folders no folder
  // clone, and home/ (which holds the disk) has contents unknown.
  scanned.settings.folders = {root};
  scanned.settings.folderClones = true;
  scanned.settings.oneFileSystem = true;
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  for (const ListRow& row : scanned.run.FileClones().Rows()) {
    EXPECT_EQ(RowPath(row).find(tree.Path("home/usb")), std::string::npos) << RowPath(row);
  }
  for (const ListRow& row : scanned.run.FolderClones().Rows()) {
    EXPECT_EQ(RowPath(row).find(tree.Path("home/usb")), std::string::npos) << RowPath(row);
  }
  scanned.settings.oneFileSystem = false;
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  bool usbListed = false;
  for (const ListRow& row : scanned.run.FolderClones().Rows()) usbListed |= RowPath(row) == tree.Path("home/usb/album");
  EXPECT_TRUE(usbListed) << "without the option the disk's folders are scanned as any other";
#endif
}

// The same without root, where the system has a file system of its own below
// another: /dev/shm (a tmpfs) below /dev.
TEST(OneFileSystem, AFileSystemMountedBelowTheRootIsLeftOut) {
  ORVANTA_SKIP_UNLESS_POSIX("/dev/shm");
#ifndef _WIN32
  struct stat dev, shm;
  if (::stat("/dev", &dev) != 0 || ::stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev ||
      ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no writable /dev/shm mounted apart from /dev";
  }
  char folder[] = "/dev/shm/orvanta-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr) << std::strerror(errno);
  const std::string name = std::string(folder).substr(9) + ".txt";
  const std::string file = std::string(folder) + "/" + name;
  { std::ofstream(file) << "on another file system"; }
  const std::vector<std::string> withOption = Walked("/dev/", name, true);
  const std::vector<std::string> without = Walked("/dev/", name, false);
  fs::remove_all(folder);
  EXPECT_EQ(without, std::vector<std::string>{file});
  EXPECT_EQ(withOption, std::vector<std::string>{});
#endif
}

TEST(OneFileSystem, TheCommandLineOptionSetsIt) {
  const CliParse plain = ParseCliOptions({"/"});
  ASSERT_TRUE(plain.options) << plain.error;
  EXPECT_FALSE(plain.options->settings.oneFileSystem) << "off by default";
  const CliParse set = ParseCliOptions({"--one-file-system", "/"});
  ASSERT_TRUE(set.options) << set.error;
  EXPECT_TRUE(set.options->settings.oneFileSystem);
  const CliParse valued = ParseCliOptions({"--one-file-system=yes", "/"});
  EXPECT_FALSE(valued.options);
  EXPECT_NE(valued.error.find("'--one-file-system'"), std::string::npos) << valued.error;
  EXPECT_NE(CliHelp().find("  --one-file-system "), std::string::npos);
}

// A mount point's name in a reason: readable, and never a terminal's command.
TEST(MountReason, NamesInReasonsCarryNoControlCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.jpg", "plain name.jpg"},
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB7",
       "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB7"},
      {"K\x1B]0;PWNED\a\x1B[31mRED", "K\\x1B]0;PWNED\\x07\\x1B[31mRED"},
      {"a\nb\x7F", "a\\x0Ab\\x7F"},
      {"back\\slash", "back\\x5Cslash"},
      {"c1 \xC2\x9B"
       "31m",
       "c1 \\xC2\\x9B31m"},  // CSI in its UTF-8 form
      {"raw \x9B"
       "31m",
       "raw \\x9B31m"},  // and as a lone byte
      {"bad\xFF", "bad\\xFF"},
      {"overlong \xE0\x80\xAF", "overlong \\xE0\\x80\\xAF"},
      {"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
      {"cut \xE6\x97", "cut \\xE6\\x97"},
      {"beyond \xF4\x90\x80\x80", "beyond \\xF4\\x90\\x80\\x80"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(platform::EscapedName(name), expected) << name;
}

// The note that names a trash other than the home trash.
TEST(OtherTrash, OnlyAnotherTrashThanTheHomeTrashIsNamed) {
  platform::TrashOutcome home;
  home.moved = true;
  home.trashFolder = "/home/me/.local/share/Trash";
  platform::TrashOutcome usb = home;
  usb.trashFolder = "/media/usb/.Trash-1000";
  usb.otherTrash = true;
  platform::TrashOutcome stayed = usb;
  stayed.moved = false;
  const auto quote = [](std::string_view path) { return "'" + std::string(path) + "'"; };
  EXPECT_EQ(OtherTrashNote(home, quote), "");
  EXPECT_EQ(OtherTrashNote(stayed, quote), "");
  EXPECT_EQ(OtherTrashNote(usb, quote), "(in the trash folder '/media/usb/.Trash-1000')");
  EXPECT_EQ(OtherTrashFolder(usb), "/media/usb/.Trash-1000");
  EXPECT_EQ(OtherTrashHeading("/media/usb/.Trash-1000"), "Moved to the trash folder /media/usb/.Trash-1000:");
}

TEST(TrashAndMounts, AnItemThatHoldsAMountStaysAndNamesIt) {
  ORVANTA_SKIP_UNLESS_POSIX("mount points and the freedesktop.org trash");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  struct Case {
    const char* what;
    const char* mountPoint;  // below B
    bool bind;               // a bind mount of other/ (the same file system), else a tmpfs
    bool file;               // other/file.txt bound onto a file
    const char* reason;
  };
  const Case cases[] = {
      {"a tmpfs inside", "sub", false, false, "it holds a mount point: sub"},
      {"a bind mount of the same file system, deep inside", "deep/er/sub", true, false,
       "it holds a mount point: deep/er/sub"},
      {"a file bound onto a file inside", "deep/file.txt", true, true, "it holds a mount point: deep/file.txt"},
      {"the item itself", "", false, false, "it is a mount point"},
      {"a mount point whose name would steer a terminal", "K\x1B]0;PWNED\a\x1B[31mRED\\", true, false,
       "it holds a mount point: K\\x1B]0;PWNED\\x07\\x1B[31mRED\\x5C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempTree tree;
    const test::TestTrash trash(tree);
    tree.File("A/keep.txt", "same");
    tree.File("B/keep.txt", "same");
    tree.File("other/file.txt", "not scanned, not checked");
    tree.File("other/inner/photo.jpg", "nobody's copy");
    const std::string point = tree.Path(std::string("B/") + c.mountPoint);
    if (c.file) {
      tree.File(std::string("B/") + c.mountPoint, "under the mount");
    } else {
      fs::create_directories(point);
    }
    const ScopedMount mount(c.bind ? tree.Path(c.file ? "other/file.txt" : "other") : "", point);
    ASSERT_TRUE(mount.Mounted()) << mount.Error();
    if (!c.bind) tree.File(std::string("B/") + c.mountPoint + "/on-the-mount.txt", "only here");
    const std::string before = test::DiskState(tree.Path("B")) + test::DiskState(tree.Path("other"));

    // The dry run's checks say what the move then does.
    const auto checked = platform::CheckTrash({{tree.Path("B"), {}}});
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_FALSE(checked[0].moved);
    EXPECT_EQ(checked[0].reason, c.reason);
    const auto outcomes = platform::MoveToTrash({{tree.Path("B"), {}}});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].moved);
    EXPECT_EQ(outcomes[0].reason, c.reason);
    EXPECT_EQ(test::DiskState(tree.Path("B")) + test::DiskState(tree.Path("other")), before);
    EXPECT_TRUE(fs::is_empty(tree.Path("data/Trash/files")));
    EXPECT_TRUE(fs::is_empty(tree.Path("data/Trash/info"))) << "a refused item leaves no record";
  }
#endif
}

// The case as a person meets it: folder clones, one of which has a disk
// mounted inside, removed from the command line.
TEST(TrashAndMounts, TheCommandLineKeepsAFolderCloneThatHoldsAMount) {
  ORVANTA_SKIP_UNLESS_POSIX("mount points and the freedesktop.org trash");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::TempTree tree;
  const test::TestTrash trash(tree);
  for (const char* folder : {"A", "B", "C"}) tree.File(std::string(folder) + "/photo.jpg", "photo");
  tree.File("A/sub/notes.txt", "notes");
  tree.File("C/sub/notes.txt", "notes");
  tree.Dir("B/sub");
  const ScopedMount disk("", tree.Path("B/sub"));
  ASSERT_TRUE(disk.Mounted()) << disk.Error();
  tree.File("B/sub/notes.txt", "notes");

  // The dry run first: it says what the removal then does, and moves nothing.
  for (const bool dryRun : {true, false}) {
    std::vector<std::string> args = {
        "orvanta-cli",     "--folders",   "--no-files", "--min-size-mb",        "0",
        "--trash-folders", "all-but-one", "--keep",     "in=" + tree.Path("A"), dryRun ? "--dry-run" : "--yes",
        tree.Folder()};
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    CliHooks hooks;
    hooks.moveToTrash = trash.Mover();
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
    EXPECT_EQ(status, 1) << err.str();
    EXPECT_NE(err.str().find("Stayed: " + tree.Path("B") + " (it holds a mount point: sub)\n"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find((dryRun ? "Would move to the trash: " : "Moved to the trash: ") + tree.Path("C") + "\n"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(fs::exists(tree.Path("C/photo.jpg")), dryRun);
  }
  EXPECT_EQ(test::ReadFile(tree.Path("B/sub/notes.txt")), "notes") << "the disk stays where it is mounted";
  EXPECT_EQ(test::ReadFile(tree.Path("B/photo.jpg")), "photo");
  EXPECT_EQ(test::ReadFile(tree.Path("A/sub/notes.txt")), "notes");
  EXPECT_FALSE(fs::exists(tree.Path("data/Trash/files/B")));
#endif
}

// The outcome names the trash each moved item went to.
TEST(TrashAndMounts, AnItemOnTheHomeTrashsMountGoesThere) {
  ORVANTA_SKIP_UNLESS_POSIX("the freedesktop.org trash");
#ifndef _WIN32
  test::TempTree tree;
  const test::TestTrash trash(tree);
  const auto outcomes = platform::MoveToTrash({{tree.File("scan/home.txt", "home"), {}}, {tree.Path("gone"), {}}});
  ASSERT_EQ(outcomes.size(), 2u);
  ASSERT_TRUE(outcomes[0].moved) << outcomes[0].reason;
  EXPECT_EQ(outcomes[0].trashFolder, tree.Path("data/Trash"));
  EXPECT_FALSE(outcomes[0].otherTrash);
  EXPECT_FALSE(outcomes[1].moved);
  EXPECT_EQ(outcomes[1].trashFolder, "") << "only a moved item names a trash";
#endif
}

// Each item goes to the trash of its own mount (a bind mount is one too), and
// the outcome says which; nothing leaves a read-only file system, and the
// reason says so.
TEST(TrashAndMounts, EachItemGoesToTheTrashOfItsOwnMountAndTheOutcomeSaysWhich) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts and the freedesktop.org trash");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::TempTree tree;
  const test::TestTrash trash(tree);
  const std::string uid = std::to_string(::getuid());
  // A bind mount of the home trash's own file system: a rename to the home
  // trash fails across it ("Invalid cross-device link").
  tree.File("scan/bound/photo.jpg", "through a bind mount");
  tree.Dir("bind");
  const ScopedMount bind(tree.Path("scan"), tree.Path("bind"));
  ASSERT_TRUE(bind.Mounted()) << bind.Error();
  // A file system of its own (a USB disk).
  tree.Dir("usb");
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  tree.File("usb/album/photo.jpg", "on the disk");
  // A read-only one.
  tree.File("ro-source/photo.jpg", "read-only");
  tree.Dir("ro");
  ScopedMount readOnly(tree.Path("ro-source"), tree.Path("ro"));
  ASSERT_TRUE(readOnly.Mounted()) << readOnly.Error();
  ASSERT_TRUE(readOnly.MakeReadOnly()) << std::strerror(errno);

  const auto outcomes = platform::MoveToTrash({{tree.Path("bind/bound/photo.jpg"), {}},
                                               {tree.Path("usb/album/photo.jpg"), {}},
                                               {tree.Path("ro/photo.jpg"), {}}});
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_TRUE(outcomes[0].moved) << outcomes[0].reason;
  EXPECT_EQ(outcomes[0].trashFolder, tree.Path("bind/.Trash-" + uid));
  EXPECT_TRUE(outcomes[0].otherTrash);
  EXPECT_EQ(test::ReadFile(tree.Path("bind/.Trash-" + uid + "/files/photo.jpg")), "through a bind mount");
  EXPECT_NE(
      test::ReadFile(tree.Path("bind/.Trash-" + uid + "/info/photo.jpg.trashinfo")).find("Path=bound/photo.jpg\n"),
      std::string::npos)
      << "relative to the top of its mount";

  EXPECT_TRUE(outcomes[1].moved) << outcomes[1].reason;
  EXPECT_EQ(outcomes[1].trashFolder, tree.Path("usb/.Trash-" + uid));
  EXPECT_TRUE(outcomes[1].otherTrash);
  EXPECT_EQ(test::ReadFile(tree.Path("usb/.Trash-" + uid + "/files/photo.jpg")), "on the disk");

  EXPECT_FALSE(outcomes[2].moved);
  EXPECT_EQ(outcomes[2].reason, "the file system is read-only");
  EXPECT_EQ(outcomes[2].trashFolder, "");
  EXPECT_EQ(test::ReadFile(tree.Path("ro/photo.jpg")), "read-only");
#endif
}

// Without root: a folder whose tree cannot be read in full cannot be vouched
// for; a folder of one's own moves as before.
TEST(TrashAndMounts, AFolderThatCannotBeCheckedForMountsStays) {
  ORVANTA_SKIP_UNLESS_POSIX("folder rights and the freedesktop.org trash");
#ifndef _WIN32
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every folder; the ordinary-user pass runs this";
  test::TempTree tree;
  const test::TestTrash trash(tree);
  tree.File("B/closed/secret.txt", "unknown to the scan");
  tree.File("C/open/photo.jpg", "photo");
  std::vector<platform::TrashOutcome> outcomes;
  {
    const test::Unreadable closed(tree.Path("B/closed"));
    outcomes = platform::MoveToTrash({{tree.Path("B"), {}}, {tree.Path("C"), {}}});
  }
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_FALSE(outcomes[0].moved);
  EXPECT_EQ(outcomes[0].reason, "it could not be checked for mount points (closed: Permission denied)");
  EXPECT_TRUE(fs::exists(tree.Path("B/closed/secret.txt")));
  EXPECT_TRUE(outcomes[1].moved) << outcomes[1].reason;
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/C/open/photo.jpg")), "photo");
#endif
}

// The trash at the top of a mount (.Trash-$uid, .Trash/$uid) is skipped as
// the home trash is; a folder of that name anywhere else is scanned.
TEST(TrashAndMounts, TheTrashAtTheTopOfAMountIsSkippedUnlessAsked) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  tree.Dir("usb");
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  for (const char* copy : {"photo.jpg", "usb/photo.jpg", "usb/.Trash-1000/files/photo.jpg",
                           "usb/.Trash/1000/files/photo.jpg", "usb/album/.Trash-1000/photo.jpg"}) {
    tree.File(copy, "photo");
  }
  const auto collected = [&scanned, &tree] {
    std::vector<std::string> paths;
    for (const FileRecord& file : scanned.run.Files()) paths.push_back(tree.Relative(file.FullPath()));
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  scanned.settings.folderClones = true;
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(collected(), (std::vector<std::string>{"photo.jpg", "usb/album/.Trash-1000/photo.jpg", "usb/photo.jpg"}));
  for (const ListRow& row : scanned.run.FolderClones().Rows()) {
    EXPECT_EQ(RowPath(row).find("/.Trash"), std::string::npos) << RowPath(row);
  }
  scanned.settings.scanTrash = true;
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(collected().size(), 5u);
#endif
}

#ifndef _WIN32
// A file system made in an image file and mounted through a loop device, in
// the test's own mount namespace: the mount command runs as a child of this
// process, so it mounts there. Empty Error() when mounted.
class LoopMount {
 public:
  LoopMount(const std::string& maker, const std::string& options, const std::string& type, const std::string& image,
            const std::string& target, std::uint64_t size) {
    const std::string found = "command -v " + maker + " >/dev/null 2>&1";
    if (std::system(found.c_str()) != 0) {
      error_ = maker + " is missing (scripts/install-deps installs it)";
      return;
    }
    std::ofstream(image).close();
    if (!test::TempTree::Resize(image, size) ||
        std::system((maker + " -q " + options + " '" + image + "' >/dev/null 2>&1").c_str()) != 0) {
      error_ = maker + " failed";
      return;
    }
    if (std::system(("mount -t " + type + " -o loop '" + image + "' '" + target + "' 2>/dev/null").c_str()) != 0) {
      error_ = "no loop mount of " + type + " here";
      return;
    }
    target_ = target;
  }
  ~LoopMount() {
    if (!target_.empty()) ::umount2(target_.c_str(), MNT_DETACH);
  }
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;
  const std::string& Error() const { return error_; }

 private:
  std::string target_, error_;
};

// Bytes no block of which repeats another nearby, so no file system stores them as a hole or a pattern.
std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
  return bytes;
}

// Whether every extent of the file is shared with another file (FIEMAP).
bool AllExtentsShared(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  constexpr std::uint32_t kExtents = 32;
  std::vector<std::uint64_t> buffer((sizeof(fiemap) + kExtents * sizeof(fiemap_extent)) / sizeof(std::uint64_t) + 1);
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  const bool read = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
  ::close(fd);
  if (!read || map->fm_mapped_extents == 0) return false;
  for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
    if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) == 0) return false;
  }
  return true;
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}
#endif

// A file system that makes copy-on-write clones, made in a loop image.
struct CopyOnWriteFileSystem {
  const char* type;
  const char* maker;
  const char* options;
  std::uint64_t size;  // the smallest image the maker takes, or more
};

class CopyOnWriteMounts : public testing::TestWithParam<CopyOnWriteFileSystem> {};

// On Btrfs and on XFS with reflink a copy becomes a copy-on-write clone of
// the kept copy: a file of its own (its inode, mode and write time stay)
// whose extents are shared with the kept copy's, so its space comes back. A
// crash between the clone and the rename leaves the copy as it was.
TEST_P(CopyOnWriteMounts, AReflinkSharesTheKeptCopysExtentsAndKeepsTheCopysOwnFile) {
  ORVANTA_SKIP_UNLESS_POSIX("FICLONE and loop mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  const CopyOnWriteFileSystem& system = GetParam();
  const std::string type = system.type;
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  const std::string root = tree.Dir(type);
  const LoopMount mounted(system.maker, system.options, type, tree.Path(type + ".img"), root, system.size);
  if (!mounted.Error().empty()) GTEST_SKIP() << mounted.Error();
  const std::string bytes = PatternBytes(300000);
  const std::string kept = tree.File(type + "/a/album.flac", bytes);
  const std::string copy = tree.File(type + "/b/album.flac", bytes);
  const std::string crashKept = tree.File(type + "/a/cover.png", bytes.substr(0, 5000));
  const std::string crashCopy = tree.File(type + "/b/cover.png", bytes.substr(0, 5000));
  ASSERT_EQ(::chmod(copy.c_str(), 0640), 0);
  test::SetModifiedYear(copy, 2019);
  ::sync();

  // The crash first, on the other pair.
  const ino_t crashInode = InodeOf(crashCopy);
  std::string temporary;
  const platform::LinkOutcome crashed = platform::ReplaceWithLink(
      test::LinkItemNow(crashCopy, crashKept), platform::LinkKind::CloneOnly, [&temporary](const std::string& path) {
        temporary = path;
        return false;
      });
  EXPECT_FALSE(crashed.replaced);
  EXPECT_EQ(InodeOf(crashCopy), crashInode);
  EXPECT_EQ(test::ReadFile(crashCopy), bytes.substr(0, 5000));
  EXPECT_EQ(fs::path(temporary).filename().string().rfind(std::string(platform::kLinkTemporaryPrefix), 0), 0u)
      << temporary;
  EXPECT_EQ(test::ReadFile(temporary), bytes.substr(0, 5000)) << "the leftover is a whole clone";
  fs::remove(temporary);

  scanned.settings.folders = {tree.Folder(type + "/a"), tree.Folder(type + "/b")};
  scanned.settings.masks = "*.flac";
  scanned.run.Run();
  ResultList& files = scanned.run.FileClones();
  ASSERT_EQ(files.Rows().size(), 2u);
  CheckAllButOneInGroup(files);
  ASSERT_EQ(RowPath(files.Rows()[1]), copy);
  struct stat before {};
  ASSERT_EQ(::stat(copy.c_str(), &before), 0);
  test::YesPrompts prompts;
  LinkChecked(files, ListKind::Files, prompts,
              [](const platform::LinkItem& item) { return platform::ReplaceWithLink(item, platform::LinkKind::Any); });
  ASSERT_FALSE(prompts.shown.empty());
  EXPECT_EQ(prompts.shown.back(), "Files were replaced with links to the kept copy.");
  struct stat after {};
  ASSERT_EQ(::stat(copy.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, InodeOf(kept)) << "a clone, not a hard link";
  EXPECT_EQ(after.st_nlink, 1u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(test::ReadFile(copy), bytes);
  EXPECT_TRUE(AllExtentsShared(copy));
  EXPECT_TRUE(AllExtentsShared(kept));
#endif
}

INSTANTIATE_TEST_SUITE_P(LinkMounts, CopyOnWriteMounts,
                         testing::Values(CopyOnWriteFileSystem{"btrfs", "mkfs.btrfs", "", 128ull << 20},
                                         CopyOnWriteFileSystem{"xfs", "mkfs.xfs", "-m reflink=1", 320ull << 20}),
                         [](const testing::TestParamInfo<CopyOnWriteFileSystem>& info) {
                           return std::string(info.param.type);
                         });

// Hard links on tmpfs (no clones there): same inode afterwards. None across
// file systems, where each copy stays and the reason says why.
TEST(LinkMounts, HardLinksOnTmpfsAndNoneAcrossFileSystems) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::TempTree tree;
  tree.Dir("usb");
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  const std::string kept = tree.File("usb/a.txt", "same bytes");
  const std::string copy = tree.File("usb/b.txt", "same bytes");
  const std::string elsewhere = tree.File("home/c.txt", "same bytes");

  const platform::LinkOutcome across =
      platform::ReplaceWithLink(test::LinkItemNow(elsewhere, kept), platform::LinkKind::Any);
  EXPECT_FALSE(across.replaced);
  EXPECT_NE(across.reason.find("another file system"), std::string::npos) << across.reason;
  EXPECT_NE(InodeOf(elsewhere), InodeOf(kept));

  const platform::LinkOutcome clone =
      platform::ReplaceWithLink(test::LinkItemNow(copy, kept), platform::LinkKind::CloneOnly);
  EXPECT_FALSE(clone.replaced) << "tmpfs makes no clones";
  EXPECT_NE(clone.reason.find("clone"), std::string::npos) << clone.reason;

  const platform::LinkOutcome linked =
      platform::ReplaceWithLink(test::LinkItemNow(copy, kept), platform::LinkKind::Any);
  EXPECT_TRUE(linked.replaced) << linked.reason;
  EXPECT_FALSE(linked.cloned);
  EXPECT_EQ(InodeOf(copy), InodeOf(kept));
  EXPECT_EQ(test::ReadFile(copy), "same bytes");
#endif
}

// A file moved to a folder on another file system goes as a copy: written
// under a temporary name, compared byte for byte, renamed into place with
// the original's mode and times, and only then removed at its old place. A
// copy that fails leaves the original where it was and no partial copy.
TEST(MoveToFolderMounts, AcrossFileSystemsAFileIsCopiedComparedAndOnlyThenRemoved) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  tree.Dir("usb");
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  const std::string bytes = PatternBytes(3000000);
  for (const char* root : {"photos", "backup"}) {
    tree.File(std::string(root) + "/a.jpg", bytes);
    tree.File(std::string(root) + "/b.jpg", "the second photo");
  }
  ASSERT_EQ(::chmod(tree.Path("backup/a.jpg").c_str(), 0640), 0);
  test::SetModifiedYear(tree.Path("backup/a.jpg"), 2019);
  scanned.settings.folders = {tree.Folder("photos"), tree.Folder("backup")};
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  ResultList& files = scanned.run.FileClones();
  CheckAllButOneInGroup(files);
  struct stat before {};
  ASSERT_EQ(::stat(tree.Path("backup/a.jpg").c_str(), &before), 0);
  // The copy of b.jpg fails as on a full disk.
  const Relocator faultyForB = [](const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
    platform::RelocationHooks hooked = hooks;
    if (item.path.size() > 5 && item.path.substr(item.path.size() - 5) == "b.jpg") {
      hooked.verifyCopy = [](const std::string&, const std::string&) {
        return std::string("write: No space left on device");
      };
    }
    return platform::RelocateItem(item, platform::RelocationKind::Move, hooked);
  };
  test::YesPrompts prompts;
  RelocateChecked(files, scanned.run.FolderClones(), ListKind::Files, prompts, platform::RelocationKind::Move,
                  tree.Path("usb"), faultyForB);
  ASSERT_FALSE(prompts.shown.empty());
  EXPECT_NE(prompts.shown.back().find("Moved: 1. Stayed: 1."), std::string::npos) << prompts.shown.back();
  EXPECT_NE(prompts.shown.back().find("No space left on device"), std::string::npos) << prompts.shown.back();
  EXPECT_FALSE(fs::exists(tree.Path("backup/a.jpg")));
  struct stat after {};
  ASSERT_EQ(::stat(tree.Path("usb/backup/a.jpg").c_str(), &after), 0);
  EXPECT_EQ(test::ReadFile(tree.Path("usb/backup/a.jpg")), bytes);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(test::ReadFile(tree.Path("backup/b.jpg")), "the second photo");
  EXPECT_FALSE(fs::exists(tree.Path("usb/backup/b.jpg")));
  for (const auto& entry : fs::recursive_directory_iterator(tree.Path("usb"))) {
    EXPECT_EQ(entry.path().filename().string().rfind(std::string(platform::kCopyTemporaryPrefix), 0), std::string::npos)
        << entry.path();
  }
  EXPECT_EQ(files.Rows().size(), 3u) << "the moved copy's row went";
#endif
}

// A folder moves only within its file system, and not while something is
// mounted inside it, which would go along.
TEST(MoveToFolderMounts, AFolderNeitherCrossesFileSystemsNorTakesAMountAlong) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  tree.Dir("usb");
  tree.Dir("dest");
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  tree.File("photos/only-here.txt", "not in backup");
  for (const char* root : {"photos", "backup"}) {
    tree.File(std::string(root) + "/trip/day1.jpg", "day one");
    tree.Dir(std::string(root) + "/trip/disk");
  }
  scanned.settings.folders = {tree.Folder("photos"), tree.Folder("backup")};
  scanned.settings.folderClones = true;
  ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  ResultList& folders = scanned.run.FolderClones();
  CheckAllButOneInGroup(folders);
  std::string checked;
  for (const ListRow& row : folders.Rows()) {
    if (row.checked && fs::path(RowPath(row)).filename() == "trip") checked = RowPath(row);
  }
  ASSERT_FALSE(checked.empty());
  const Relocator mover = [](const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
    return platform::RelocateItem(item, platform::RelocationKind::Move, hooks);
  };
  test::YesPrompts prompts;
  RelocateChecked(scanned.run.FileClones(), folders, ListKind::Folders, prompts, platform::RelocationKind::Move,
                  tree.Path("usb"), mover);
  ASSERT_FALSE(prompts.shown.empty());
  EXPECT_NE(prompts.shown.back().find("a folder moves only within its file system"), std::string::npos)
      << prompts.shown.back();
  EXPECT_TRUE(fs::exists(checked + "/day1.jpg"));
  EXPECT_TRUE(fs::is_empty(tree.Path("usb")));

  const ScopedMount inside("", checked + "/disk");
  ASSERT_TRUE(inside.Mounted()) << inside.Error();
  RelocateChecked(scanned.run.FileClones(), folders, ListKind::Folders, prompts, platform::RelocationKind::Move,
                  tree.Path("dest"), mover);
  EXPECT_NE(prompts.shown.back().find("it holds a mount point: disk"), std::string::npos) << prompts.shown.back();
  EXPECT_TRUE(fs::exists(checked + "/day1.jpg"));
  EXPECT_TRUE(fs::is_empty(tree.Path("dest")));
#endif
}

// The dry run's checks across mounts meet what the real run meets, and
// change nothing on either side: a file moved to another file system would
// go as a copy, a folder stays on its own, a read-only destination refuses
// the move and the copy, a folder holding a mount stays, and a hard link
// never crosses file systems.
TEST(DryRunMounts, TheChecksMeetWhatTheMoveAndTheLinkMeetAcrossFileSystems) {
  ORVANTA_SKIP_UNLESS_POSIX("mounts");
#ifndef _WIN32
  ORVANTA_SKIP_UNLESS_MOUNTS();
  using Kind = platform::RelocationKind;
  test::TempTree tree;
  tree.File("photos/a.jpg", "photo");
  tree.File("photos/trip/day1.jpg", "day one");
  tree.Dir("photos/held/disk");
  for (const char* folder : {"usb", "ro", "ro-source", "dest"}) tree.Dir(folder);
  const ScopedMount usb("", tree.Path("usb"));
  ASSERT_TRUE(usb.Mounted()) << usb.Error();
  const ScopedMount held("", tree.Path("photos/held/disk"));
  ASSERT_TRUE(held.Mounted()) << held.Error();
  ScopedMount readOnly(tree.Path("ro-source"), tree.Path("ro"));
  ASSERT_TRUE(readOnly.Mounted()) << readOnly.Error();
  ASSERT_TRUE(readOnly.MakeReadOnly()) << std::strerror(errno);
  struct Case {
    const char* item;
    const char* destination;
    Kind kind;
    std::string reason;  // a part of both reasons; empty: both go
  };
  // The one that goes comes last: it changes the tree.
  const Case cases[] = {
      {"photos/trip", "usb", Kind::Move, "a folder moves only within its file system"},
      {"photos/a.jpg", "ro", Kind::Move, std::strerror(EROFS)},
      {"photos/a.jpg", "ro", Kind::Copy, std::strerror(EROFS)},
      {"photos/held", "dest", Kind::Move, "it holds a mount point: disk"},
      {"photos/a.jpg", "usb", Kind::Move, ""},
  };
  platform::RelocationHooks hooks;
  hooks.verifyCopy = [](const std::string&, const std::string&) { return std::string(); };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.item) + " to " + c.destination);
    platform::RelocationItem item{tree.Path(c.item), {}, tree.Path(c.destination), c.item};
    ASSERT_TRUE(platform::QueryAttributes(item.path, item.seen));
    const std::string state = test::DiskState(tree.Root());
    const platform::RelocationOutcome check = platform::CheckRelocation(item, c.kind, hooks);
    EXPECT_EQ(test::DiskState(tree.Root()), state) << "the check changed something";
    const platform::RelocationOutcome real = platform::RelocateItem(item, c.kind, hooks);
    EXPECT_EQ(check.done, real.done) << check.reason << " | " << real.reason;
    EXPECT_EQ(check.copied, real.copied);
    EXPECT_EQ(check.reason, real.reason);
    if (c.reason.empty()) {
      EXPECT_TRUE(real.done && real.copied) << real.reason;
    } else {
      EXPECT_NE(real.reason.find(c.reason), std::string::npos) << real.reason;
    }
  }

  const std::string kept = tree.File("usb/kept.jpg", "photo");
  const std::string copy = tree.File("photos/b.jpg", "photo");
  for (const auto kind : {platform::LinkKind::HardLinkOnly, platform::LinkKind::Any}) {
    const platform::LinkItem item = test::LinkItemNow(copy, kept);
    const std::string state = test::DiskState(tree.Root());
    const platform::LinkOutcome check = platform::CheckLink(item, kind);
    EXPECT_EQ(test::DiskState(tree.Root()), state) << "the check changed something";
    const platform::LinkOutcome real = platform::ReplaceWithLink(item, kind);
    EXPECT_FALSE(real.replaced);
    EXPECT_FALSE(check.replaced);
    EXPECT_EQ(check.reason, real.reason);
    EXPECT_NE(real.reason.find("the kept copy lies on another file system"), std::string::npos) << real.reason;
  }
#endif
}

}  // namespace
}  // namespace orvanta
