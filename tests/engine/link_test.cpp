// Replacing checked copies with links to the kept copy: every path stays,
// each copy is checked and compared as removal does, a copy that cannot be
// linked without changing who may read or write it stays with the reason,
// and a crash between the link and the rename leaves the old file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <deque>
#include <filesystem>

#include "actions/check_marks.h"
#include "actions/link_replacement.h"
#include "actions/list_rows.h"
#include "actions/prompts.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

// The names in a folder made under the temporary prefix of a link.
std::vector<std::string> LinkLeftovers(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(std::string(platform::kLinkTemporaryPrefix), 0) == 0) names.push_back(name);
  }
  return names;
}

platform::FileId IdOf(const std::string& path) {
  platform::FileAttributes attributes;
  EXPECT_TRUE(platform::QueryAttributes(path, attributes)) << path;
  return attributes.id;
}

// Where no file system here makes clones, a clone-only replacement is
// refused and the copy is left exactly as it was; where one does, the copy
// becomes a file of its own with the same bytes. Either way no temporary
// name is left behind.
TEST(LinkReplacement, CloneOnlyEitherClonesOrLeavesTheCopyUntouched) {
  test::TempTree tree;
  const std::string kept = tree.File("kept.bin", std::string(70000, 'k'));
  const std::string copy = tree.File("copy.bin", std::string(70000, 'k'));
  const platform::FileId before = IdOf(copy);
  const platform::LinkOutcome outcome =
      platform::ReplaceWithLink(test::LinkItemNow(copy, kept), platform::LinkKind::CloneOnly);
  EXPECT_EQ(test::ReadFile(copy), std::string(70000, 'k'));
  if (outcome.replaced) {
    EXPECT_TRUE(outcome.cloned);
    EXPECT_NE(IdOf(copy), IdOf(kept)) << "a clone is a file of its own";
  } else {
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(IdOf(copy), before) << outcome.reason;
  }
  EXPECT_EQ(LinkLeftovers(tree.Root()), std::vector<std::string>{});
}

#ifndef _WIN32

Linker SystemLinker(platform::LinkKind kind) {
  return [kind](const platform::LinkItem& item) { return platform::ReplaceWithLink(item, kind); };
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// A scanned tree and the link command's answers.
struct LinkFixture {
  void Scan(CompareMode mode = CompareMode::Content) {
    scanned.settings.compare = mode;
    scanned.run.Run();
  }
  ResultList& Files() { return scanned.run.FileClones(); }
  void Link(platform::LinkKind kind = platform::LinkKind::HardLinkOnly) {
    LinkChecked(Files(), ListKind::Files, prompts, SystemLinker(kind));
  }

  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  test::YesPrompts prompts;
};

// Four copies, three checked: each becomes the kept copy's file, also after
// the first link moved the kept copy's change time; the rows of the linked
// copies go grey, and the message says it worked.
TEST(LinkReplacement, EveryCheckedCopyBecomesAHardLinkOfTheKeptCopy) {
  LinkFixture fixture;
  test::TempTree& tree = fixture.tree;
  ResultList& files = fixture.Files();
  const std::vector<std::string>& shown = fixture.prompts.shown;
  for (const char* name : {"a/photo.jpg", "b/photo.jpg", "c/photo.jpg", "d/photo.jpg"}) tree.File(name, "photo");
  tree.File("a/other.txt", "other text");
  fixture.Scan();
  CheckAllButOneInGroup(files);
  const std::string kept = RowPath(files.Rows()[0]);
  fixture.Link();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].find("Replace 3 files with links to the kept copy?"), std::string::npos);
  EXPECT_EQ(shown[1], "Files were replaced with links to the kept copy.");
  for (const char* name : {"a/photo.jpg", "b/photo.jpg", "c/photo.jpg", "d/photo.jpg"}) {
    EXPECT_EQ(StatOf(tree.Path(name)).st_ino, StatOf(kept).st_ino) << name;
    EXPECT_EQ(test::ReadFile(tree.Path(name)), "photo");
  }
  EXPECT_EQ(StatOf(kept).st_nlink, 4u);
  for (const ListRow& row : files.Rows()) EXPECT_EQ(row.stale, RowPath(row) != kept) << RowPath(row);
  EXPECT_EQ(LinkLeftovers(tree.Path("b")), std::vector<std::string>{});
}

// Each copy that a link would change, or that is not what the scan saw and
// compared, stays as it is, with the reason.
TEST(LinkReplacement, ACopyThatCannotBeLinkedSafelyStaysWithItsReason) {
  struct Case {
    const char* name;
    CompareMode mode;
    std::string copyContent;
    // After the scan; a change that works both ways (mode, owner) is made
    // before it, to b/photo.jpg, whichever copy is kept.
    std::function<void(const std::string& copy, const std::string& kept)> change;
    bool beforeScan;
    bool checkAll;
    std::string reason;
    bool rootOnly;
  };
  const auto none = [](const std::string&, const std::string&) {};
  const Case cases[] = {
      {.name = "mode differs",
       .mode = CompareMode::Content,
       .copyContent = "photo",
       .change = [](const std::string& copy, const std::string&) { ::chmod(copy.c_str(), 0600); },
       .beforeScan = true,
       .checkAll = false,
       .reason = "permissions differ",
       .rootOnly = false},
      {.name = "owner differs",
       .mode = CompareMode::Content,
       .copyContent = "photo",
       .change = [](const std::string& copy, const std::string&) { ASSERT_EQ(::chown(copy.c_str(), 65534, 65534), 0); },
       .beforeScan = true,
       .checkAll = false,
       .reason = "another owner",
       .rootOnly = true},
      {.name = "edited keeping size and time",
       .mode = CompareMode::Content,
       .copyContent = "photo",
       .change = [](const std::string& copy, const std::string&) { test::EditInPlaceKeepingTime(copy, "PHOTO"); },
       .beforeScan = false,
       .checkAll = false,
       .reason = "It changed since the scan.",
       .rootOnly = false},
      {.name = "every copy checked",
       .mode = CompareMode::Content,
       .copyContent = "photo",
       .change = none,
       .beforeScan = false,
       .checkAll = true,
       .reason = "No copy of its group is kept to link to.",
       .rootOnly = false},
      {.name = "bytes differ in a size group",
       .mode = CompareMode::Size,
       .copyContent = "PHOTO",
       .change = none,
       .beforeScan = false,
       .checkAll = false,
       .reason = "It differs from the copy that is kept.",
       .rootOnly = false},
      {.name = "swapped for a link to the kept copy",
       .mode = CompareMode::Content,
       .copyContent = "photo",
       .change =
           [](const std::string& copy, const std::string& kept) {
             fs::remove(copy);
             fs::create_symlink(kept, copy);
           },
       .beforeScan = false,
       .checkAll = false,
       .reason = "It changed since the scan.",
       .rootOnly = false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.rootOnly && !test::RunningAsRoot()) continue;
    LinkFixture fixture;  // a tree of its own for each case
    fixture.tree.File("a/photo.jpg", "photo");
    fixture.tree.File("b/photo.jpg", c.copyContent);
    if (c.beforeScan) c.change(fixture.tree.Path("b/photo.jpg"), fixture.tree.Path("a/photo.jpg"));
    fixture.Scan(c.mode);
    ASSERT_EQ(fixture.Files().Rows().size(), 2u);
    if (c.checkAll) CheckAll(fixture.Files());
    else CheckAllButOneInGroup(fixture.Files());
    const std::vector<ListRow>& rows = fixture.Files().Rows();
    const std::string copy = RowPath(rows[1]), kept = RowPath(rows[0]);
    ASSERT_TRUE(rows[1].checked || c.checkAll);
    if (!c.beforeScan) c.change(copy, kept);
    const struct stat before = StatOf(copy);
    fixture.Link();
    ASSERT_FALSE(fixture.prompts.shown.empty());
    EXPECT_NE(fixture.prompts.shown.back().find("Some files were not replaced with links."), std::string::npos);
    EXPECT_NE(fixture.prompts.shown.back().find(c.reason), std::string::npos) << fixture.prompts.shown.back();
    const struct stat after = StatOf(copy);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(LinkLeftovers(fs::path(copy).parent_path().string()), std::vector<std::string>{});
  }
}

// A crash between making the link and renaming it over the copy: the copy
// is intact and the link lies under a name that says what it is; the next
// replacement finishes the job.
TEST(LinkReplacement, ACrashBetweenLinkAndRenameLeavesTheOldFile) {
  test::TempTree tree;
  const std::string kept = tree.File("kept/song.mp3", "song bytes");
  const std::string copy = tree.File("copy/song.mp3", "song bytes");
  const ino_t copyInode = StatOf(copy).st_ino;
  std::string temporary;
  const platform::LinkOutcome crashed = platform::ReplaceWithLink(
      test::LinkItemNow(copy, kept), platform::LinkKind::HardLinkOnly, [&](const std::string& path) {
        temporary = path;
        return false;
      });
  EXPECT_FALSE(crashed.replaced);
  EXPECT_EQ(StatOf(copy).st_ino, copyInode);
  EXPECT_EQ(test::ReadFile(copy), "song bytes");
  ASSERT_EQ(LinkLeftovers(tree.Path("copy")).size(), 1u);
  EXPECT_EQ(tree.Path("copy/") + LinkLeftovers(tree.Path("copy"))[0], temporary);
  EXPECT_EQ(StatOf(temporary).st_ino, StatOf(kept).st_ino) << "the leftover is the kept copy's file";

  const platform::LinkOutcome done =
      platform::ReplaceWithLink(test::LinkItemNow(copy, kept), platform::LinkKind::HardLinkOnly);
  EXPECT_TRUE(done.replaced) << done.reason;
  EXPECT_FALSE(done.cloned);
  EXPECT_EQ(StatOf(copy).st_ino, StatOf(kept).st_ino);
}

// A folder on the copy's path swapped for a link after the scan: nothing
// outside the scanned tree is replaced.
TEST(LinkReplacement, AFolderSwappedForALinkReplacesNothingOutsideTheTree) {
  test::TempTree tree;
  const std::string kept = tree.File("kept/a.txt", "same");
  const std::string copy = tree.File("copy/a.txt", "same");
  const platform::LinkItem item = test::LinkItemNow(copy, kept);
  const std::string outside = tree.File("outside/a.txt", "same");
  fs::rename(tree.Path("copy"), tree.Path("copy-moved"));
  tree.Symlink("copy", tree.Path("outside"));
  const platform::LinkOutcome outcome = platform::ReplaceWithLink(item, platform::LinkKind::Any);
  EXPECT_FALSE(outcome.replaced);
  EXPECT_NE(StatOf(outside).st_ino, StatOf(kept).st_ino);
  EXPECT_EQ(LinkLeftovers(tree.Path("outside")), std::vector<std::string>{});
}

#endif

}  // namespace
}  // namespace orvanta
