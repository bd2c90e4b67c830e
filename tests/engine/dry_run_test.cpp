// A dry run of a link replacement or of a move or copy to a folder: it meets
// every refusal the real run meets, with the same reason, and changes
// nothing on disk; what passes its checks the real run does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>

#include "cli_run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;
using test::RunCliWith;

// Whether a case of a table that changes a file's owner is left out, and says so.
bool SkippedUnlessRoot(bool rootOnly, const char* name) {
  if (!rootOnly || test::RunningAsRoot()) return false;
  std::cout << "[ SKIPPED  ] " << name << ": changing a file's owner needs root\n";
  return true;
}

// A copy and its kept copy as a scan saw them, for one case of the link table.
struct LinkCase {
  const char* name;
  platform::LinkKind kind;
  // Made before the item is taken: what the scan saw.
  std::function<void(test::TempTree& tree)> before;
  // Made after: what changed since the scan.
  std::function<void(test::TempTree& tree)> after;
  // The reason both runs give (a part of it); empty when both replace;
  // nullopt where the file system decides (clones), as long as both agree.
  std::optional<std::string> reason;
  bool rootOnly = false;
};

TEST(DryRun, ALinkCheckMeetsWhatTheReplacementMeetsAndChangesNothing) {
  const auto none = [](test::TempTree&) {};
  const auto chmodCopy = [](test::TempTree& tree) { ASSERT_EQ(::chmod(tree.Path("copy/song.mp3").c_str(), 0600), 0); };
  const LinkCase cases[] = {
      {"a hard link passes", platform::LinkKind::HardLinkOnly, none, none, ""},
      {"any link passes", platform::LinkKind::Any, none, none, ""},
      {"a clone only where the file system has them", platform::LinkKind::CloneOnly, none, none, std::nullopt},
      {"other permission bits", platform::LinkKind::HardLinkOnly, chmodCopy, none,
       "its permissions differ from the kept copy's"},
      {"other permission bits, a clone or nothing", platform::LinkKind::Any, chmodCopy, none, std::nullopt},
      {"another owner", platform::LinkKind::HardLinkOnly,
       [](test::TempTree& tree) { ASSERT_EQ(::chown(tree.Path("copy/song.mp3").c_str(), 65534, -1), 0); }, none,
       "it belongs to another owner than the kept copy", true},
      {"another group", platform::LinkKind::HardLinkOnly,
       [](test::TempTree& tree) { ASSERT_EQ(::chown(tree.Path("copy/song.mp3").c_str(), -1, 65534), 0); }, none,
       "it belongs to another group than the kept copy", true},
      {"the copy changed after the scan", platform::LinkKind::Any, none,
       [](test::TempTree& tree) { tree.File("copy/song.mp3", "song, edited"); }, "it changed since the scan"},
      {"the kept copy changed after the scan", platform::LinkKind::HardLinkOnly, none,
       [](test::TempTree& tree) { tree.File("kept/song.mp3", "song, edited"); },
       "its kept copy changed since the scan"},
      {"the copy swapped for a link", platform::LinkKind::Any, none,
       [](test::TempTree& tree) {
         fs::remove(tree.Path("copy/song.mp3"));
         tree.Symlink("copy/song.mp3", tree.Path("kept/song.mp3"));
       },
       std::string(std::strerror(ELOOP))},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (SkippedUnlessRoot(c.rootOnly, c.name)) continue;
    test::TempTree tree;
    const std::string kept = tree.File("kept/song.mp3", "song");
    const std::string copy = tree.File("copy/song.mp3", "song");
    c.before(tree);
    const platform::LinkItem item = test::LinkItemNow(copy, kept);
    c.after(tree);
    const std::string state = test::DiskState(tree.Root());
    const platform::LinkOutcome check = platform::CheckLink(item, c.kind);
    EXPECT_EQ(test::DiskState(tree.Root()), state) << "the check changed something";
    const platform::LinkOutcome real = platform::ReplaceWithLink(item, c.kind);
    EXPECT_EQ(check.replaced, real.replaced) << check.reason << " | " << real.reason;
    EXPECT_EQ(check.reason, real.reason);
    if (real.replaced) {
      EXPECT_EQ(check.cloned, real.cloned);
    }
    if (c.reason && c.reason->empty()) {
      EXPECT_TRUE(real.replaced) << real.reason;
    } else if (c.reason) {
      EXPECT_NE(real.reason.find(*c.reason), std::string::npos) << real.reason;
    }
  }
}

// A copy with an extended attribute of the user's is never cloned: the check
// says so as the replacement does, without a file of its own on the way.
TEST(DryRun, ACloneCheckRefusesACopyWithExtendedAttributes) {
  test::TempTree tree;
  const std::string kept = tree.File("kept/song.mp3", "song");
  const std::string copy = tree.File("copy/song.mp3", "song");
  if (::setxattr(copy.c_str(), "user.orvanta-test", "x", 1, 0) != 0) {
    GTEST_SKIP() << "no user extended attributes here: " << std::strerror(errno);
  }
  const platform::LinkItem item = test::LinkItemNow(copy, kept);
  const std::string state = test::DiskState(tree.Root());
  const platform::LinkOutcome check = platform::CheckLink(item, platform::LinkKind::CloneOnly);
  EXPECT_EQ(test::DiskState(tree.Root()), state);
  EXPECT_FALSE(check.replaced);
  EXPECT_EQ(check.reason, platform::ReplaceWithLink(item, platform::LinkKind::CloneOnly).reason);
  EXPECT_NE(check.reason.find("extended attributes"), std::string::npos) << check.reason;
}

// One item for the relocation table: photos/2020/a.jpg, scanned, to go below dest/.
struct RelocationCase {
  const char* name;
  platform::RelocationKind kind;
  std::function<void(test::TempTree& tree)> before;  // what the scan saw
  std::function<void(test::TempTree& tree)> after;   // what changed since
  std::string reason;                                // a part of both reasons; empty: both go
  std::string refusal = {};                          // what beforeMove answers
  bool folder = false;                               // photos/2020 itself goes
};

TEST(DryRun, ARelocationCheckMeetsWhatTheMoveMeetsAndMakesNothing) {
  using Kind = platform::RelocationKind;
  const auto none = [](test::TempTree&) {};
  constexpr const char* kOnTheWay = "a folder on its way in the destination is a link or no folder";
  const RelocationCase cases[] = {
      {"a move passes, its folders missing", Kind::Move, none, none, ""},
      {"a copy passes, its folders missing", Kind::Copy, none, none, ""},
      {"a move passes, its folders there", Kind::Move, [](test::TempTree& tree) { tree.Dir("dest/photos/2020"); }, none,
       ""},
      {"a folder moves", Kind::Move, none, none, "", "", true},
      {"the place is taken", Kind::Move, none,
       [](test::TempTree& tree) { tree.File("dest/photos/2020/a.jpg", "other"); },
       "something already stands at its place in the destination folder"},
      {"the place is taken by a link", Kind::Copy, none,
       [](test::TempTree& tree) { tree.Symlink("dest/photos/2020/a.jpg", tree.Path("nowhere")); },
       "something already stands at its place in the destination folder"},
      {"a link on the way", Kind::Move, none,
       [](test::TempTree& tree) {
         tree.Dir("elsewhere/2020");
         tree.Symlink("dest/photos", tree.Path("elsewhere"));
       },
       kOnTheWay},
      {"a link on the way, deeper", Kind::Copy, none,
       [](test::TempTree& tree) {
         tree.Dir("elsewhere");
         tree.Dir("dest/photos");
         tree.Symlink("dest/photos/2020", tree.Path("elsewhere"));
       },
       kOnTheWay},
      {"a file on the way", Kind::Move, none, [](test::TempTree& tree) { tree.File("dest/photos", "a file"); },
       kOnTheWay},
      {"the item changed after the scan", Kind::Move, none,
       [](test::TempTree& tree) { tree.File("photos/2020/a.jpg", "photo, edited"); },
       "it is no longer the item that was scanned"},
      {"the item swapped for a link", Kind::Copy, none,
       [](test::TempTree& tree) {
         fs::remove(tree.Path("photos/2020/a.jpg"));
         tree.Symlink("photos/2020/a.jpg", tree.Path("backup/a.jpg"));
       },
       "it is no longer the item that was scanned"},
      {"a folder is not copied", Kind::Copy, none, none, "a folder is not copied", "", true},
      {"the comparison refuses", Kind::Move, none, none, "It differs from the copy that is kept.",
       "It differs from the copy that is kept."},
  };
  for (const RelocationCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempTree tree;
    const std::string file = tree.File("photos/2020/a.jpg", "photo");
    tree.File("backup/a.jpg", "photo");
    tree.Dir("dest");
    c.before(tree);
    const std::string path = c.folder ? tree.Path("photos/2020") : file;
    platform::RelocationItem item{path, {}, tree.Path("dest"), c.folder ? "photos/2020" : "photos/2020/a.jpg"};
    ASSERT_TRUE(platform::QueryAttributes(path, item.seen));
    c.after(tree);
    int asked = 0, compared = 0;
    platform::RelocationHooks hooks;
    hooks.beforeMove = [&] {
      ++asked;
      return c.refusal;
    };
    hooks.verifyCopy = [&](const std::string&, const std::string&) {
      ++compared;
      return std::string();
    };
    const std::string state = test::DiskState(tree.Root());
    const platform::RelocationOutcome check = platform::CheckRelocation(item, c.kind, hooks);
    EXPECT_EQ(test::DiskState(tree.Root()), state) << "the check changed something";
    EXPECT_EQ(compared, 0) << "a check copies nothing to compare";
    const int checkAsked = asked;
    asked = 0;
    const platform::RelocationOutcome real = platform::RelocateItem(item, c.kind, hooks);
    EXPECT_EQ(check.done, real.done) << check.reason << " | " << real.reason;
    EXPECT_EQ(check.reason, real.reason);
    EXPECT_EQ(checkAsked, asked) << "beforeMove is asked where the move asks it";
    if (real.done) {
      EXPECT_EQ(check.copied, real.copied);
    }
    if (c.reason.empty()) {
      EXPECT_TRUE(real.done) << real.reason;
    } else {
      EXPECT_NE(real.reason.find(c.reason), std::string::npos) << real.reason;
    }
  }
}

// Where a folder on the way cannot be made for want of write access, the
// check says so as the move does (root may write anywhere).
TEST(DryRun, ARelocationCheckNeedsTheAccessTheMoveNeeds) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root writes in any folder";
  test::TempTree tree;
  const std::string file = tree.File("photos/a.jpg", "photo");
  tree.Dir("dest");
  platform::RelocationItem item{file, {}, tree.Path("dest"), "photos/a.jpg"};
  ASSERT_TRUE(platform::QueryAttributes(file, item.seen));
  ASSERT_EQ(::chmod(tree.Path("dest").c_str(), 0555), 0);
  platform::RelocationHooks hooks;
  hooks.verifyCopy = [](const std::string&, const std::string&) { return std::string(); };
  for (const auto kind : {platform::RelocationKind::Move, platform::RelocationKind::Copy}) {
    const platform::RelocationOutcome check = platform::CheckRelocation(item, kind, hooks);
    const platform::RelocationOutcome real = platform::RelocateItem(item, kind, hooks);
    EXPECT_FALSE(real.done);
    EXPECT_EQ(check.done, real.done);
    EXPECT_EQ(check.reason, real.reason);
  }
  ::chmod(tree.Path("dest").c_str(), 0755);
}

// The command line: a dry run names each item that would stay with the
// reason the real run gives, and changes nothing; then the real run.
TEST(DryRun, TheCommandLineDryRunSaysWhatTheRealRunDoes) {
  struct Case {
    const char* name;
    std::function<void(test::TempTree& tree)> prepare;
    std::vector<std::string> action;  // with {dest} for the destination
    std::string said;                 // a part of the reason it stays, or of the line that it goes
    bool rootOnly = false;
  };
  const Case cases[] = {
      {"move: the place is taken",
       [](test::TempTree& tree) { tree.File("dest/b/song.mp3", "other"); },
       {"--move-to", "{dest}"},
       "something already stands at its place in the destination folder"},
      {"copy: a link on the way",
       [](test::TempTree& tree) {
         tree.Dir("elsewhere");
         tree.Symlink("dest/b", tree.Path("elsewhere"));
       },
       {"--copy-to", "{dest}"},
       "a folder on its way in the destination is a link or no folder"},
      {"link: other permission bits",
       [](test::TempTree& tree) { ASSERT_EQ(::chmod(tree.Path("b/song.mp3").c_str(), 0600), 0); },
       {"--link", "all-but-one", "--hardlink-only"},
       "its permissions differ from the kept copy"},
      {"link: another owner",
       [](test::TempTree& tree) { ASSERT_EQ(::chown(tree.Path("b/song.mp3").c_str(), 65534, 65534), 0); },
       {"--link", "all-but-one", "--hardlink-only"},
       "it belongs to another owner than the kept copy",
       true},
      {"move: passes", [](test::TempTree&) {}, {"--move-to", "{dest}"}, "to the folder: "},
      {"link: passes", [](test::TempTree&) {}, {"--link", "all-but-one", "--hardlink-only"}, "a hard link: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (SkippedUnlessRoot(c.rootOnly, c.name)) continue;
    test::TempTree tree;
    tree.File("a/song.mp3", "song");
    tree.File("b/song.mp3", "song");
    tree.Dir("dest");
    c.prepare(tree);
    std::vector<std::string> args = {"-q", "--min-size-mb", "0", "--keep", "in=" + tree.Path("a")};
    for (const std::string& arg : c.action) args.push_back(arg == "{dest}" ? tree.Path("dest") : arg);
    args.insert(args.end(), {tree.Folder("a"), tree.Folder("b")});
    const std::string state = test::DiskState(tree.Root());
    auto dry = args;
    dry.push_back("--dry-run");
    const auto r = RunCliWith(dry);
    EXPECT_EQ(test::DiskState(tree.Root()), state) << "the dry run changed something";
    auto yes = args;
    yes.push_back("--yes");
    const auto real = RunCliWith(yes);
    // The lines of what stayed, in the dry run as in the real run.
    const auto stayedLines = [](const std::string& err) {
      std::string lines;
      for (std::size_t at = err.find("Stayed: /"); at != std::string::npos; at = err.find("Stayed: /", at + 1)) {
        lines += err.substr(at, err.find('\n', at) - at + 1);
      }
      return lines;
    };
    EXPECT_EQ(stayedLines(r.err), stayedLines(real.err));
    if (real.status == 0) {
      EXPECT_NE(real.err.find(c.said + tree.Path("b/song.mp3")), std::string::npos) << real.err;
      EXPECT_NE(r.err.find("Would "), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("Stayed: /"), std::string::npos) << r.err;
      EXPECT_EQ(r.status, 0) << r.err;
    } else {
      EXPECT_NE(stayedLines(real.err).find(tree.Path("b/song.mp3")), std::string::npos) << real.err;
      EXPECT_NE(stayedLines(real.err).find(c.said), std::string::npos) << real.err;
      EXPECT_EQ(r.err.find("Would "), std::string::npos) << r.err;
      EXPECT_EQ(r.status, real.status) << r.err;
    }
    // The summary line of a dry run stays as it is: nothing was done.
    EXPECT_NE(r.err.find(": 0. Stayed: " + std::string(real.status == 0 ? "0" : "1") + "."), std::string::npos)
        << r.err;
  }
}

}  // namespace
}  // namespace orvanta
