// Moving or copying checked items to a folder: each keeps its path below the
// root it was found under, nothing at the destination is replaced, each item
// is checked as removal checks it, a copy that fails or differs leaves the
// original, and a destination whose items would be scanned again is refused.
// POSIX only for now (its names and links); the cross-build builds the
// Windows implementation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "actions/check_marks.h"
#include "actions/list_rows.h"
#include "actions/relocation.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;
using Kind = platform::RelocationKind;

Relocator SystemRelocator(Kind kind) {
  return [kind](const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
    return platform::RelocateItem(item, kind, hooks);
  };
}

// Every name below the folder made under a copy's temporary prefix.
std::vector<std::string> CopyLeftovers(const std::string& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(std::string(platform::kCopyTemporaryPrefix), 0) == 0) names.push_back(name);
  }
  return names;
}

// Two roots, photos/ and backup/, whose copies share their paths below the
// root, and a destination beside them: dest/.
struct RelocationFixture {
  RelocationFixture() {
    scanned.settings.folders = {tree.Folder("photos"), tree.Folder("backup")};
    tree.Dir("dest");
  }
  void Scan(CompareMode mode = CompareMode::Content) {
    scanned.settings.compare = mode;
    ASSERT_EQ(scanned.run.Run().kind, ScanOutcome::Kind::Done);
  }
  ResultList& Files() { return scanned.run.FileClones(); }
  ResultList& Folders() { return scanned.run.FolderClones(); }
  void Relocate(Kind kind, const std::string& destination, ListKind page = ListKind::Files,
                const Relocator& relocator = {}) {
    RelocateChecked(Files(), Folders(), page, prompts, kind, destination,
                    relocator ? relocator : SystemRelocator(kind));
  }
  // photos/a.jpg and backup/a.jpg with the same bytes, scanned, all but one
  // checked: the checked copy.
  std::string CheckedCopyOfAPair(const std::string& content = "photo") {
    tree.File("photos/a.jpg", content);
    tree.File("backup/a.jpg", content);
    Scan();
    CheckAllButOneInGroup(Files());
    return RowPath(Files().Rows()[1]);
  }
  const std::string& LastShown() const {
    static const std::string kNone;
    return prompts.shown.empty() ? kNone : prompts.shown.back();
  }

  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  test::YesPrompts prompts;
};

// The relative paths below the two roots, a newline and an escape sequence
// among them: each checked copy lands below dest/ in a folder named after
// its root, the kept copies stay; a move takes the rows out of the list, a
// copy leaves the originals and the rows as they were.
TEST(MoveToFolder, EachCheckedItemKeepsItsPathBelowItsRoot) {
  for (const Kind kind : {Kind::Move, Kind::Copy}) {
    SCOPED_TRACE(kind == Kind::Move ? "move" : "copy");
    RelocationFixture fixture;
    test::TempTree& tree = fixture.tree;
    const std::vector<std::string> names = {"2020/a.jpg", "b.jpg", "new\nline.jpg", "\x1b[31mred/c.jpg"};
    for (const std::string& name : names) {
      tree.File("photos/" + name, "photo " + name);
      tree.File("backup/" + name, "photo " + name);
    }
    fixture.Scan();
    CheckAllButOneInGroup(fixture.Files());
    std::vector<std::string> checked, kept;
    for (const ListRow& row : fixture.Files().Rows()) (row.checked ? checked : kept).push_back(RowPath(row));
    ASSERT_EQ(checked.size(), names.size());
    fixture.Relocate(kind, tree.Path("dest"));
    ASSERT_EQ(fixture.prompts.shown.size(), 2u);
    EXPECT_NE(fixture.prompts.shown[0].find(kind == Kind::Move ? "Move the checked items (4) to "
                                                               : "Copy the checked items (4) to "),
              std::string::npos)
        << fixture.prompts.shown[0];
    EXPECT_EQ(fixture.LastShown(), std::string(kind == Kind::Move ? "The checked items were moved to "
                                                                  : "The checked items were copied to ") +
                                       tree.Path("dest") + ".");
    for (const std::string& path : checked) {
      const std::string relative = tree.Relative(path);  // "photos/..." or "backup/..."
      const std::string name = relative.substr(relative.find('/') + 1);
      EXPECT_EQ(test::ReadFile(tree.Path("dest/" + relative)), "photo " + name) << relative;
      EXPECT_EQ(fs::exists(fs::symlink_status(path)), kind == Kind::Copy) << relative;
    }
    for (const std::string& path : kept) EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(fixture.Files().Rows().size(), kind == Kind::Move ? kept.size() : names.size() * 2);
    EXPECT_EQ(CopyLeftovers(tree.Path("dest")), std::vector<std::string>{});
  }
}

// Nothing that stands at an item's place in the destination is replaced,
// not even a link or a file of the same bytes: the item stays, and says why.
TEST(MoveToFolder, NothingAtTheDestinationIsReplaced) {
  for (const Kind kind : {Kind::Move, Kind::Copy}) {
    SCOPED_TRACE(kind == Kind::Move ? "move" : "copy");
    RelocationFixture fixture;
    test::TempTree& tree = fixture.tree;
    tree.File("dest/photos/a.jpg", "other");
    tree.File("dest/backup/a.jpg", "other");
    const std::string checked = fixture.CheckedCopyOfAPair();
    fixture.Relocate(kind, tree.Path("dest"));
    const std::string& shown = fixture.LastShown();
    EXPECT_NE(shown.find(kind == Kind::Move ? "Some items were not moved." : "Some items were not copied."),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("something already stands at its place in the destination folder"), std::string::npos)
        << shown;
    EXPECT_EQ(test::ReadFile(checked), "photo");
    EXPECT_EQ(test::ReadFile(tree.Path("dest/photos/a.jpg")), "other");
    EXPECT_EQ(test::ReadFile(tree.Path("dest/backup/a.jpg")), "other");
    EXPECT_EQ(fixture.Files().Rows().size(), 2u);
    EXPECT_EQ(CopyLeftovers(tree.Path("dest")), std::vector<std::string>{});
  }
}

// Each item that is not what the scan saw and compared, or whose move would
// leave its group no copy in place, stays with the reason; a copy needs no
// kept copy and goes.
TEST(MoveToFolder, AnItemThatChangedOrWouldTakeTheLastCopyStays) {
  struct Case {
    const char* name;
    Kind kind;
    CompareMode mode;
    std::string copyContent;
    bool checkAll;
    std::function<void(const std::string& copy)> change;
    std::string reason;  // empty: it goes
  };
  const auto none = [](const std::string&) {};
  const auto edit = [](const std::string& copy) { test::EditInPlaceKeepingTime(copy, "PHOTO"); };
  const Case cases[] = {
      {"edited keeping size and time", Kind::Move, CompareMode::Content, "photo", false, edit,
       "It changed since the scan."},
      {"edited, copied", Kind::Copy, CompareMode::Content, "photo", false, edit, "It changed since the scan."},
      {"every copy checked", Kind::Move, CompareMode::Content, "photo", true, none,
       "No copy of its group stays in place."},
      {"every copy checked, copied", Kind::Copy, CompareMode::Content, "photo", true, none, ""},
      {"bytes differ in a size group", Kind::Move, CompareMode::Size, "PHOTO", false, none,
       "It differs from the copy that is kept."},
      {"gone since the scan", Kind::Move, CompareMode::Content, "photo", false,
       [](const std::string& copy) { fs::remove(copy); }, "It is no longer there."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RelocationFixture fixture;
    fixture.tree.File("photos/a.jpg", "photo");
    fixture.tree.File("backup/a.jpg", c.copyContent);
    fixture.Scan(c.mode);
    ASSERT_EQ(fixture.Files().Rows().size(), 2u);
    if (c.checkAll) CheckAll(fixture.Files());
    else CheckAllButOneInGroup(fixture.Files());
    const std::string copy = RowPath(fixture.Files().Rows()[1]);
    c.change(copy);
    fixture.Relocate(c.kind, fixture.tree.Path("dest"));
    const std::string& shown = fixture.LastShown();
    if (c.reason.empty()) {
      EXPECT_EQ(shown.rfind("The checked items were copied to ", 0), 0u) << shown;
      continue;
    }
    EXPECT_NE(shown.find(c.reason), std::string::npos) << shown;
    EXPECT_FALSE(fs::exists(fixture.tree.Path("dest/backup/a.jpg")));
    EXPECT_FALSE(fs::exists(fixture.tree.Path("dest/photos/a.jpg")));
    EXPECT_EQ(fixture.Files().Rows().size(), 2u);
  }
}

// A destination inside a scanned root, or one where a root's items would
// land in a root (the folder holding photos/), or one that is missing, is
// refused before the question; nothing moves.
TEST(MoveToFolder, ADestinationWhoseItemsWouldBeScannedAgainIsRefused) {
  RelocationFixture fixture;
  test::TempTree& tree = fixture.tree;
  tree.Dir("photos/moved");
  const std::string checked = fixture.CheckedCopyOfAPair();
  const std::pair<std::string, std::string> cases[] = {
      {tree.Path("photos/moved"), "would land inside a scanned folder"},
      {tree.Path("photos"), "would land inside a scanned folder"},
      {tree.Root(), "would land inside a scanned folder"},
      {tree.Path("missing"), "The destination folder does not exist: "},
  };
  for (const auto& [destination, refusal] : cases) {
    SCOPED_TRACE(destination);
    fixture.prompts.shown.clear();
    fixture.Relocate(Kind::Move, destination);
    ASSERT_EQ(fixture.prompts.shown.size(), 1u) << "no question";
    EXPECT_NE(fixture.LastShown().find(refusal), std::string::npos) << fixture.LastShown();
    EXPECT_EQ(test::ReadFile(checked), "photo");
  }
  EXPECT_EQ(fixture.Files().Rows().size(), 2u);
}

// A copy whose bytes come out wrong, or whose writing fails, is removed and
// the original stays where it was; no temporary name is left behind.
TEST(MoveToFolder, AFailedCopyLeavesTheOriginal) {
  struct Case {
    const char* name;
    std::function<std::string(const std::string& temporary)> fault;
    std::string reason;
  };
  const Case cases[] = {
      {"a byte flipped on the way",
       [](const std::string& temporary) {
         std::fstream file(temporary, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(3);
         file.put('X');
         return std::string();
       },
       "Its copy in the destination folder differs from it."},
      {"the disk full", [](const std::string&) { return std::string("write: No space left on device"); },
       "No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RelocationFixture fixture;
    const std::string copy = fixture.CheckedCopyOfAPair("photo bytes");
    std::string temporary;
    const Relocator faulty = [&](const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
      platform::RelocationHooks hooked = hooks;
      hooked.verifyCopy = [&](const std::string& original, const std::string& written) {
        temporary = written;
        if (std::string why = c.fault(written); !why.empty()) return why;
        return hooks.verifyCopy(original, written);
      };
      return platform::RelocateItem(item, Kind::Copy, hooked);
    };
    fixture.Relocate(Kind::Copy, fixture.tree.Path("dest"), ListKind::Files, faulty);
    EXPECT_NE(fixture.LastShown().find(c.reason), std::string::npos) << fixture.LastShown();
    EXPECT_EQ(fs::path(temporary).filename().string().rfind(std::string(platform::kCopyTemporaryPrefix), 0), 0u)
        << temporary;
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(test::ReadFile(copy), "photo bytes");
    EXPECT_EQ(CopyLeftovers(fixture.tree.Path("dest")), std::vector<std::string>{});
    EXPECT_TRUE(fs::is_empty(fixture.tree.Path("dest"))) << "the folders made for it go with it";
  }
}

// Folder clones move whole within their file system; they are never copied.
TEST(MoveToFolder, AFolderMovesWholeAndIsNeverCopied) {
  for (const Kind kind : {Kind::Move, Kind::Copy}) {
    SCOPED_TRACE(kind == Kind::Move ? "move" : "copy");
    RelocationFixture fixture;
    test::TempTree& tree = fixture.tree;
    tree.File("photos/only-here.txt", "not in backup");
    for (const char* root : {"photos", "backup"}) {
      tree.File(std::string(root) + "/trip/day1.jpg", "day one");
      tree.File(std::string(root) + "/trip/day2.jpg", "day two");
    }
    fixture.scanned.settings.folderClones = true;
    fixture.Scan();
    CheckAllButOneInGroup(fixture.Folders());
    ASSERT_EQ(fixture.Folders().Rows().size(), 2u);
    const std::string checked = RowPath(fixture.Folders().Rows()[1]);
    const std::string relative = tree.Relative(checked);
    fixture.Relocate(kind, tree.Path("dest"), ListKind::Folders);
    if (kind == Kind::Move) {
      EXPECT_EQ(fixture.LastShown().rfind("The checked items were moved to ", 0), 0u) << fixture.LastShown();
      EXPECT_EQ(test::ReadFile(tree.Path("dest/" + relative + "/day2.jpg")), "day two");
      EXPECT_FALSE(fs::exists(checked));
      EXPECT_EQ(fixture.Folders().Rows().size(), 1u);
    } else {
      EXPECT_NE(fixture.LastShown().find("a folder is not copied"), std::string::npos) << fixture.LastShown();
      EXPECT_TRUE(fs::exists(checked));
      EXPECT_TRUE(fs::is_empty(tree.Path("dest")));
    }
  }
}

// A folder on the way in the destination swapped for a link: nothing is put
// where the link points.
TEST(MoveToFolder, AFolderOfTheDestinationSwappedForALinkTakesNothing) {
  RelocationFixture fixture;
  test::TempTree& tree = fixture.tree;
  tree.Dir("elsewhere");
  tree.Symlink("dest/photos", tree.Path("elsewhere"));
  tree.Symlink("dest/backup", tree.Path("elsewhere"));
  const std::string checked = fixture.CheckedCopyOfAPair();
  fixture.Relocate(Kind::Move, tree.Path("dest"));
  EXPECT_NE(fixture.LastShown().find("is a link or no folder"), std::string::npos) << fixture.LastShown();
  EXPECT_TRUE(fs::is_empty(tree.Path("elsewhere")));
  EXPECT_EQ(test::ReadFile(checked), "photo");
}

// The place below the destination: the root's own name, then the path below
// it; the longest root that holds the path decides.
TEST(MoveToFolder, TheTargetIsTheRootsNameAndThePathBelowIt) {
  const RootResolution roots = RootResolution::Of({"/data/photos/", "/data/photos/2020/", "/"});
  EXPECT_EQ(RelocationTarget(roots, "/data/photos/trip/a.jpg"), "photos/trip/a.jpg");
  EXPECT_EQ(RelocationTarget(roots, "/data/photos/2020/a.jpg"), "2020/a.jpg");
  EXPECT_EQ(RelocationTarget(roots, "/etc/a.conf"), "etc/a.conf");
}

}  // namespace
}  // namespace orvanta
