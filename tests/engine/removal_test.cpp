// Removal to the trash: the whole request checked first, one copy always left
// in place, the rows and the message telling what really happened.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "actions/check_marks.h"
#include "actions/content_compare.h"
#include "actions/list_totals.h"
#include "actions/open_location.h"
#include "actions/prompts.h"
#include "actions/removal.h"
#include "core/file_record.h"
#include "core/result_list.h"
#ifndef _WIN32
#include "platform/posix/trash_posix.h"
#endif
#include "scan/scan_run.h"
#include "test_support.h"
#include "text/text_helpers.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

struct ScriptedPrompts : Prompts {
  std::vector<std::string> shown;
  std::vector<bool> defaults;  // defaultYes of each question
  std::deque<bool> answers;    // the next questions' answers; then `answer`
  bool answer = true;
  void Message(const std::string& text) override { shown.push_back("message:" + text); }
  bool Confirm(const std::string& text, bool defaultYes) override {
    shown.push_back("confirm:" + text);
    defaults.push_back(defaultYes);
    if (answers.empty()) return answer;
    const bool next = answers.front();
    answers.pop_front();
    return next;
  }
};

// A temporary tree with the trash under data/ on the same file system, and a
// scan of scan/ whose lists the removal works on.
class RemovalTest : public ::testing::Test {
 protected:
  std::string S(const std::string& relative) { return tree.Path("scan/" + relative); }

  void Scan(CompareMode mode = CompareMode::Content, bool folderClones = true, const std::string& root = "scan") {
    settings.folders = {tree.Folder(root)};
    settings.compare = mode;
    settings.folderClones = folderClones;
    run = std::make_unique<ScanRun>(window, settings);
    run->Run();
  }
  ResultList& Files() { return run->FileClones(); }
  ResultList& Folders() { return run->FolderClones(); }

  // The rows' paths below scan/, a checked row marked with "x ".
  std::vector<std::string> Rows(const ResultList& list) {
    std::vector<std::string> rows;
    const std::string prefix = "scan/";
    for (const ListRow& row : list.Rows()) {
      rows.push_back((row.checked ? "x " : "") + tree.Relative(RowPath(row)).substr(prefix.size()));
    }
    return rows;
  }
  void CheckOnly(ResultList& list, const std::vector<std::string>& relative) {
    for (std::size_t i = 0; i < list.Rows().size(); ++i) {
      const std::string path(RowPath(list.Rows()[i]));
      list.SetChecked(i, std::any_of(relative.begin(), relative.end(), [&](const auto& r) { return S(r) == path; }));
    }
  }
  void Delete(ListKind kind) { DeleteChecked(Files(), Folders(), kind, prompts, trash.Mover()); }

  // New bytes of the same size, the write time put back as touch -r does.
  void EditKeepingSizeAndTime(const std::string& relative, const std::string& content) {
    ASSERT_EQ(fs::file_size(S(relative)), content.size());
    test::EditInPlaceKeepingTime(S(relative), content);
  }
  // The trash, with `edit` done right before each item's last check.
  TrashMover EditingMover(std::function<void()> edit) const {
    return [edit, inner = trash.Mover()](const std::vector<platform::TrashItem>& items,
                                         const platform::TrashHooks& hooks) {
      platform::TrashHooks wrapped = hooks;
      wrapped.beforeMove = [&hooks, edit](std::size_t i) {
        edit();
        return hooks.beforeMove(i);
      };
      return inner(items, wrapped);
    };
  }
  std::vector<std::string> Trashed() {
    std::vector<std::string> names;
    if (!fs::exists(tree.Path("data/Trash/files"))) return names;
    for (const auto& entry : fs::directory_iterator(tree.Path("data/Trash/files"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void MakePhotos() {
    for (const char* root : {"Photos", "Photos - Copy"}) {
      tree.File(std::string("scan/") + root + "/2019/beach.jpg", "beach photo");
      tree.File(std::string("scan/") + root + "/2020/snow.jpg", "snow photo, larger");
    }
  }

  test::TempTree tree;
  const test::TestTrash trash{tree};
  test::RecordingWindow window;
  test::FakeSettings settings;
  std::unique_ptr<ScanRun> run;
  ScriptedPrompts prompts;
};

TEST_F(RemovalTest, NestedFolderClonesKeepOneSideAndMoveTheOther) {
  MakePhotos();
  Scan();
  ASSERT_EQ(Rows(Folders()), (std::vector<std::string>{"Photos", "Photos - Copy", "Photos - Copy/2020", "Photos/2020",
                                                       "Photos - Copy/2019", "Photos/2019"}));
  CheckAllButOneInGroup(Folders());
  EXPECT_EQ(Rows(Folders()), (std::vector<std::string>{"Photos", "x Photos - Copy", "x Photos - Copy/2020",
                                                       "Photos/2020", "x Photos - Copy/2019", "Photos/2019"}));
  Delete(ListKind::Folders);

  EXPECT_EQ(prompts.shown,
            (std::vector<std::string>{test::TrashText("confirm:Move 3 directories to Recycle Bin?"),
                                      test::TrashText("message:Directories were moved to the Recycle Bin.")}));
  EXPECT_EQ(prompts.defaults, std::vector<bool>{true});
  EXPECT_EQ(test::ReadFile(S("Photos/2019/beach.jpg")), "beach photo");
  EXPECT_EQ(test::ReadFile(S("Photos/2020/snow.jpg")), "snow photo, larger");
  EXPECT_FALSE(fs::exists(S("Photos - Copy")));
  EXPECT_TRUE(fs::exists(tree.Path("data/Trash/files/Photos - Copy/2020/snow.jpg")));
  EXPECT_EQ(Rows(Folders()), (std::vector<std::string>{"Photos", "Photos/2020", "Photos/2019"}));
  // The file page loses the rows of the files that went with the folder.
  for (const std::string& row : Rows(Files())) EXPECT_EQ(row.find("Photos - Copy"), std::string::npos) << row;
  EXPECT_EQ(Files().Rows().size(), 2u);
}

TEST_F(RemovalTest, AGroupAboutToLoseEveryCopyIsNamedAndNoIsTheDefault) {
  MakePhotos();
  Scan();
  // The marks of the first-row rule: every copy of both years would go.
  CheckOnly(Folders(), {"Photos - Copy", "Photos/2020", "Photos/2019"});
  prompts.answer = false;
  Delete(ListKind::Folders);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(
      prompts.shown[0].rfind(test::TrashText("confirm:Move 3 directories to Recycle Bin?\n\nNo copy would remain of "
                                             "these groups:\nGroup 2 ("),
                             0),
      0u)
      << prompts.shown[0];
  EXPECT_NE(prompts.shown[0].find("\nGroup 3 ("), std::string::npos) << prompts.shown[0];
  EXPECT_EQ(prompts.defaults, std::vector<bool>{false});
  EXPECT_TRUE(fs::exists(S("Photos - Copy/2020/snow.jpg")));
  EXPECT_TRUE(fs::exists(S("Photos/2020/snow.jpg")));
  EXPECT_EQ(Folders().Rows().size(), 6u);
}

// The window's search hides rows but never marks: checked rows it hides go
// too, and the question counts them among the items and says how many.
TEST_F(RemovalTest, CheckedRowsTheSearchHidesAreCountedInTheQuestion) {
  MakePhotos();
  Scan();
  CheckAllButOneInGroup(Files());
  Files().SetSearch("BEACH");
  prompts.answer = false;
  Delete(ListKind::Files);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0],
            test::TrashText("confirm:Move 2 files to Recycle Bin?\n\n1 of them is hidden by the search."));
  Files().SetSearch("photo");  // every row shown: no note
  Delete(ListKind::Files);
  EXPECT_EQ(prompts.shown[1], test::TrashText("confirm:Move 2 files to Recycle Bin?"));
  EXPECT_EQ(Files().Rows().size(), 4u);
}

TEST_F(RemovalTest, FoldersThatHeldAMovedFileGoStaleOnTheOtherPage) {
  MakePhotos();
  Scan();
  CheckAll(Folders());
  CheckOnly(Files(), {"Photos - Copy/2019/beach.jpg"});
  Delete(ListKind::Files);
  ASSERT_EQ(prompts.shown.back(), test::TrashText("message:Files were moved to the Recycle Bin."));
  std::vector<std::string> stale;
  for (const ListRow& row : Folders().Rows()) {
    if (row.stale) stale.push_back(tree.Relative(RowPath(row)));
    EXPECT_EQ(row.checked, !row.stale) << RowPath(row);
  }
  EXPECT_EQ(stale, (std::vector<std::string>{"scan/Photos - Copy", "scan/Photos - Copy/2019"}));
  EXPECT_EQ(TotalsLine(Folders(), "."), "Groups: 1, extra copies: 0.00 MB  \xC2\xB7  4 checked, 0.00 MB");

  // The keep rules pass them by: the group left with one live copy keeps it.
  CheckAllButOneInGroup(Folders());
  EXPECT_EQ(Rows(Folders()), (std::vector<std::string>{"Photos", "Photos - Copy", "x Photos - Copy/2020", "Photos/2020",
                                                       "Photos - Copy/2019", "Photos/2019"}));
}

TEST_F(RemovalTest, ACheckedSubfolderOfACheckedFolderTravelsWithIt) {
  MakePhotos();
  Scan();
  CheckOnly(Folders(), {"Photos - Copy", "Photos - Copy/2020", "Photos - Copy/2020"});
  Delete(ListKind::Folders);
  EXPECT_EQ(prompts.shown.back(), test::TrashText("message:Directories were moved to the Recycle Bin."));
  EXPECT_EQ(Rows(Folders()), (std::vector<std::string>{"Photos", "Photos/2020", "Photos/2019"}));
  EXPECT_TRUE(fs::exists(S("Photos/2020/snow.jpg")));
}

TEST_F(RemovalTest, FolderRowsAreReadFromTheirRecords) {
  MakePhotos();
  Scan();
  std::ptrdiff_t copyRow = -1;
  for (std::size_t i = 0; i < Folders().Rows().size(); ++i) {
    const ListRow& row = Folders().Rows()[i];
    EXPECT_EQ(Folders().CellText(row, 0), RowPath(row)) << "the shown path is the record's";
    if (RowPath(row) == S("Photos - Copy")) copyRow = static_cast<std::ptrdiff_t>(i);
  }
  ASSERT_GE(copyRow, 0);
  EXPECT_EQ(ResolveLocation(Folders(), static_cast<int>(copyRow)).text, S("Photos - Copy"));
  // Another folder under the same path is not the one the scan saw: its record's identity differs.
  fs::rename(S("Photos - Copy"), tree.Path("aside"));
  fs::copy(tree.Path("aside"), S("Photos - Copy"), fs::copy_options::recursive);
  CheckOnly(Folders(), {"Photos - Copy"});
  Delete(ListKind::Folders);
  EXPECT_NE(prompts.shown.back().find("It changed since the scan.\n" + S("Photos - Copy")), std::string::npos)
      << prompts.shown.back();
  EXPECT_TRUE(fs::exists(S("Photos - Copy/2020/snow.jpg")));
}

TEST_F(RemovalTest, APartialFailureMovesTheRestAndNamesWhatStayed) {
  tree.File("scan/x/one.txt", "one");
  tree.File("scan/y/one.txt", "one");
  tree.File("scan/x/two.txt", "two!");
  tree.File("scan/y/two.txt", "two!");
  Scan(CompareMode::Content, false);
  CheckOnly(Files(), {"y/one.txt", "y/two.txt"});
  fs::remove(S("y/one.txt"));
  Delete(ListKind::Files);

  EXPECT_EQ(
      prompts.shown.back(),
      "message:Some files were kept in place.\n\nMoved: 1. Stayed: 1.\n\nIt is no longer there.\n" + S("y/one.txt"));
  EXPECT_FALSE(fs::exists(S("y/two.txt")));
  EXPECT_EQ(Rows(Files()), (std::vector<std::string>{"x/two.txt", "x/one.txt", "x y/one.txt"}))
      << "the row that stayed stays checked";
}

TEST_F(RemovalTest, CopiesGroupedWithoutTheirContentAreComparedFirst) {
  struct Case {
    const char* what;
    CompareMode mode;
    bool folders;
    const char* checked;
    const char* keptContent;  // written to the kept copy after the scan; null: untouched
    const char* reason;       // empty: it moves
  };
  const Case cases[] = {
      // Content mode no longer lists such folders; Size mode still does, on names and sizes.
      {"folders of equal names and sizes, other bytes", CompareMode::Size, true, "B", nullptr,
       "It differs from the copy that is kept: 'f.txt'."},
      {"equal folders", CompareMode::Content, true, "B", nullptr, ""},
      {"files of one size, other bytes", CompareMode::Size, false, "B/f.txt", nullptr,
       "It differs from the copy that is kept."},
      {"the kept file edited after the scan", CompareMode::Content, false, "B/f.txt", "edit",
       "Its kept copy changed since the scan."},
      {"the kept folder's file edited after the scan", CompareMode::Content, true, "B", "edit",
       "It differs from the copy that is kept: 'f.txt'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempTree scanTree;
    fs::remove_all(S(""));
    const bool equal = std::string(c.what).find("other bytes") == std::string::npos;
    tree.File("scan/A/f.txt", "1234");
    tree.File("scan/B/f.txt", equal ? "1234" : "5678");
    Scan(c.mode, c.folders);
    const ListKind kind = c.folders ? ListKind::Folders : ListKind::Files;
    ResultList& list = c.folders ? Folders() : Files();
    ASSERT_EQ(list.Rows().size(), 2u);
    CheckOnly(list, {c.checked});
    if (c.keptContent != nullptr) {
      tree.File("scan/A/f.txt", c.keptContent);
      fs::last_write_time(S("A/f.txt"), fs::last_write_time(S("A/f.txt")) - std::chrono::hours(1));
    }
    prompts.shown.clear();
    // The second question, for items whose bytes differ, is answered No.
    prompts.answers = {true, false};
    Delete(kind);
    if (std::string(c.reason).empty()) {
      EXPECT_FALSE(fs::exists(S(c.checked)));
      EXPECT_EQ(list.Rows().size(), 1u);
    } else {
      EXPECT_TRUE(fs::exists(S(c.checked)));
      EXPECT_NE(prompts.shown.back().find(std::string(c.reason) + "\n" + S(c.checked)), std::string::npos)
          << prompts.shown.back();
      EXPECT_EQ(list.Rows().size(), 2u);
    }
    EXPECT_TRUE(fs::exists(S("A/f.txt")));
  }
}

// Edits that put size and write time back, the way touch -r, exiftool -P or
// rsync --inplace -t leave a file, on either side, before the removal or
// right before the item's move: the checked copy stays and the reason says
// why. Where the system gives no change time, the bytes alone tell; the
// scan's digests never do.
TEST_F(RemovalTest, AnEditThatRestoresSizeAndTimeKeepsTheCheckedCopy) {
  struct Case {
    const char* what;
    bool folders;
    const char* edited;  // the file whose bytes change, below scan/
    bool changeTimeKnown;
    bool rightBeforeTheMove;
    const char* reason;
  };
  const std::string differs = "It differs from the copy that is kept.";
  const std::string differsAt =
      std::string("It differs from the copy that is kept: 'sub") + platform::kPathDelimiter + "photo.jpg'.";
  const Case cases[] = {
      {"the checked file", false, "B/sub/photo.jpg", true, false, "It changed since the scan."},
      {"the kept file", false, "A/sub/photo.jpg", true, false, "Its kept copy changed since the scan."},
      {"the checked file, no change time", false, "B/sub/photo.jpg", false, false, differs.c_str()},
      {"the kept file, no change time", false, "A/sub/photo.jpg", false, false, differs.c_str()},
      {"the kept file right before the move, no change time", false, "A/sub/photo.jpg", false, true, differs.c_str()},
      {"the kept file right before the move", false, "A/sub/photo.jpg", true, true,
       "Its kept copy changed since the scan."},
      {"a file in the checked folder", true, "B/sub/photo.jpg", true, false, differsAt.c_str()},
      {"a file in the kept folder", true, "A/sub/photo.jpg", true, false, differsAt.c_str()},
      {"a file in the kept folder right before the move", true, "A/sub/photo.jpg", true, true, differsAt.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(S(""));
    fs::remove_all(tree.Path("data"));
    tree.File("scan/A/sub/photo.jpg", "photo, first");
    tree.File("scan/B/sub/photo.jpg", "photo, first");
    Scan(CompareMode::Content, c.folders);
    ResultList& list = c.folders ? Folders() : Files();
    ASSERT_TRUE(list.GroupedByContent());
    if (!c.changeTimeKnown) {
      // As a file system that keeps no change time: the record says unknown.
      for (const ListRow& row : list.Rows()) const_cast<FileRecord*>(row.data)->changed = 0;
    }
    CheckOnly(list, {c.folders ? "B" : "B/sub/photo.jpg"});
    const std::string checked = S(c.folders ? "B" : "B/sub/photo.jpg");
    bool edited = false;
    const auto edit = [&] {
      if (!edited) EditKeepingSizeAndTime(c.edited, "PHOTO, FIRST");
      edited = true;
    };
    if (!c.rightBeforeTheMove) edit();
    prompts.shown.clear();
    DeleteChecked(Files(), Folders(), c.folders ? ListKind::Folders : ListKind::Files, prompts,
                  c.rightBeforeTheMove ? EditingMover(edit) : trash.Mover());
    ASSERT_TRUE(edited);
    EXPECT_NE(prompts.shown.back().find(std::string(c.reason) + "\n" + checked), std::string::npos)
        << prompts.shown.back();
    EXPECT_TRUE(fs::exists(S("B/sub/photo.jpg")));
    EXPECT_TRUE(fs::exists(S("A/sub/photo.jpg")));
    EXPECT_EQ(Trashed(), std::vector<std::string>{});
  }
}

// Stop, as the window's button or Ctrl-C sets it: the item in hand ends, the
// others stay and say so; each item is told as it moves, with those inside it.
TEST_F(RemovalTest, StopLeavesEveryItemNotYetMovedInPlaceWithTheReason) {
  MakePhotos();
  for (const char* name : {"one", "two", "three"}) {
    tree.File(std::string("scan/kept/") + name + ".txt", name);
    tree.File(std::string("scan/copy/") + name + ".txt", name);
  }
  Scan(CompareMode::Content, true);
  std::atomic<bool> stop{false};
  std::vector<std::string> told, stages;
  RemovalProgress progress;
  progress.stop = &stop;
  progress.onItem = [&stages](RemovalStage stage, std::size_t item, std::size_t items) {
    stages.push_back(RemovalProgressText(stage, item, items));
  };
  progress.onMoved = [&](const std::string& path, const platform::TrashOutcome& outcome) {
    EXPECT_TRUE(outcome.moved);
    told.push_back(tree.Relative(path));
  };
  // Stop comes once the first item is through (Windows moves the request in one shell call after).
  const auto stopAfterFirst = [inner = trash.Mover(), &stop](const std::vector<platform::TrashItem>& items,
                                                             const platform::TrashHooks& hooks) {
    platform::TrashHooks wrapped = hooks;
    wrapped.beforeMove = [&hooks, &stop](std::size_t i) {
      if (i == 1) stop = true;
      return hooks.beforeMove(i);
    };
    return inner(items, wrapped);
  };

  CheckOnly(Files(), {"copy/one.txt", "copy/two.txt", "copy/three.txt"});
  RemovalResult result = CarryOutRemoval(Files(), PlanRemoval(Files()), stopAfterFirst, progress);
  ASSERT_EQ(result.moved.size(), 1u);
  EXPECT_EQ(told, std::vector<std::string>{tree.Relative(result.moved[0])});
  ASSERT_EQ(result.stayed.size(), 2u);
  for (const StayedItem& item : result.stayed) {
    EXPECT_EQ(item.reason, "The removal was stopped.");
    EXPECT_TRUE(fs::exists(item.path));
  }
  EXPECT_EQ(stages, (std::vector<std::string>{test::TrashText("Moving to the Recycle Bin... 1 / 3"),
                                              test::TrashText("Moving to the Recycle Bin... 2 / 3"),
                                              test::TrashText("Moving to the Recycle Bin... 3 / 3")}));
  for (const char* name : {"one", "two", "three"}) EXPECT_TRUE(fs::exists(S(std::string("kept/") + name + ".txt")));

  // A Stop during a comparison ends it: nothing moves.
  stop = false;
  told.clear();
  progress.onBytes = [&stop] { stop = true; };
  CheckOnly(Folders(), {"Photos - Copy", "Photos - Copy/2020"});
  result = CarryOutRemoval(Folders(), PlanRemoval(Folders()), trash.Mover(), progress);
  EXPECT_EQ(result.moved, std::vector<std::string>{});
  ASSERT_EQ(result.stayed.size(), 2u);
  EXPECT_EQ(result.stayed[0].reason, "The removal was stopped.");
  EXPECT_TRUE(fs::exists(S("Photos - Copy/2020/snow.jpg")));

  // Without Stop, a folder is told with the checked folder inside it.
  stop = false;
  progress.onBytes = nullptr;
  result = CarryOutRemoval(Folders(), PlanRemoval(Folders()), trash.Mover(), progress);
  EXPECT_EQ(result.stayed.size(), 0u);
  EXPECT_EQ(told, (std::vector<std::string>{"scan/Photos - Copy", "scan/Photos - Copy/2020"}));
  EXPECT_TRUE(fs::exists(S("Photos/2020/snow.jpg")));
}

// Name, size, name and size: copies whose bytes differ are named in the
// question and move only after a second Yes, whose default is No. Grouped by
// content, nothing is compared before the question.
TEST_F(RemovalTest, CopiesThatDifferInANameGroupMoveOnlyAfterASecondYes) {
  for (const bool secondYes : {false, true}) {
    SCOPED_TRACE(secondYes ? "second Yes" : "second No");
    fs::remove_all(S(""));
    tree.File("scan/A/notes.txt", "first draft");
    tree.File("scan/B/notes.txt", "final text, longer");
    tree.File("scan/C/notes.txt", "first draft");
    Scan(CompareMode::Name, false);
    ASSERT_FALSE(Files().GroupedByContent());
    CheckOnly(Files(), {"B/notes.txt", "C/notes.txt"});
    prompts.shown.clear();
    prompts.defaults.clear();
    prompts.answers = {true, secondYes};
    Delete(ListKind::Files);
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(
        prompts.shown[0],
        test::TrashText("confirm:Move 2 files to Recycle Bin?\n\n1 of them differs from the copy that is kept:\n") +
            S("B/notes.txt"));
    EXPECT_EQ(prompts.shown[1], "confirm:Move the 1 that differs from the copy that is kept as well?");
    EXPECT_EQ(prompts.defaults, (std::vector<bool>{true, false}));
    EXPECT_EQ(fs::exists(S("B/notes.txt")), !secondYes);
    EXPECT_FALSE(fs::exists(S("C/notes.txt")));
    EXPECT_EQ(test::ReadFile(S("A/notes.txt")), "first draft");
    if (!secondYes) {
      EXPECT_EQ(prompts.shown[2],
                "message:Some files were kept in place.\n\nMoved: 1. Stayed: 1.\n\n"
                "It differs from the copy that is kept.\n" +
                    S("B/notes.txt"));
    }
  }
  // Content: the same marks ask one question only.
  fs::remove_all(S(""));
  tree.File("scan/A/notes.txt", "first draft");
  tree.File("scan/C/notes.txt", "first draft");
  Scan(CompareMode::Content, false);
  CheckOnly(Files(), {"C/notes.txt"});
  prompts.shown.clear();
  prompts.answers = {};
  Delete(ListKind::Files);
  EXPECT_EQ(prompts.shown, (std::vector<std::string>{test::TrashText("confirm:Move 1 file to Recycle Bin?"),
                                                     test::TrashText("message:Files were moved to the Recycle Bin.")}));
}

TEST(ContentCompare, NamesTheFirstEntryThatDiffersAndNeverVouchesForAFileThatGrew) {
  test::TempTree tree;
  const std::string sep(1, platform::kPathDelimiter);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> left, right;  // files below a/ and b/
    std::string differing;
  };
  const Case cases[] = {
      {"alike", {{"x", "1"}, {"sub/y", "2"}}, {{"x", "1"}, {"sub/y", "2"}}, ""},
      {"one more file", {{"x", "1"}, {"y", "2"}}, {{"x", "1"}}, "y"},
      {"a deep file differs",
       {{"x", "1"}, {"sub/deep/p.jpg", "ab"}},
       {{"x", "1"}, {"sub/deep/p.jpg", "AB"}},
       "sub" + sep + "deep" + sep + "p.jpg"},
      {"a file and a folder of one name", {{"n", "1"}}, {{"n/inner", "1"}}, "n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(tree.Path("a"));
    fs::remove_all(tree.Path("b"));
    tree.Dir("a");
    tree.Dir("b");
    for (const auto& [name, content] : c.left) tree.File("a/" + name, content);
    for (const auto& [name, content] : c.right) tree.File("b/" + name, content);
    const ContentComparison result = CompareFolders(tree.Path("a"), tree.Path("b"));
    EXPECT_EQ(result.result,
              c.differing.empty() ? ContentComparison::Result::Same : ContentComparison::Result::Different);
    EXPECT_EQ(result.differing, c.differing);
  }
  // A file that grows while it is compared is not the shorter one it was.
  const std::string a = tree.File("grow/a", "same start");
  const std::string b = tree.File("grow/b", "same start");
  const auto grown = CompareFiles(a, b, [&](std::int64_t) {
    std::ofstream(b, std::ios::app) << " and more";
    return true;
  });
  EXPECT_EQ(grown.result, ContentComparison::Result::Different);
  // An unreadable side is named quoted, as every path in a message.
  const std::string odd = tree.Path("K\x1b]0;PWNED\a\x1b[31mRED");
  const auto missing = CompareFolders(odd, tree.Path("a"));
  EXPECT_EQ(missing.result, ContentComparison::Result::Unreadable);
  EXPECT_EQ(missing.reason.find('\x1b'), std::string::npos) << missing.reason;
  EXPECT_EQ(missing.reason.rfind(TerminalSafePath(odd, PathQuoting::Always) + ": ", 0), 0u) << missing.reason;
}

TEST(RemovalText, OutcomeAndQuestionTellTheTruth) {
  RemovalResult result;
  result.moved = {"/m"};
  for (int i = 1; i <= 5; ++i) result.stayed.push_back({"/gone" + std::to_string(i), "It is no longer there."});
  result.stayed.push_back({"/other", "Permission denied"});
  EXPECT_EQ(RemovalOutcomeText(ListKind::Folders, result),
            "Failed to delete some directories.\n\nMoved: 1. Stayed: 6.\n\n"
            "It is no longer there.\n/gone1\n/gone2\n/gone3\nand 2 more\n\nPermission denied\n/other");
  // A path that would send escape sequences is shown quoted, as the listing shows it.
  result.stayed = {{"/p/K\x1b]0;PWNED\a\x1b[31mRED", "It is no longer there."}};
  EXPECT_EQ(RemovalOutcomeText(ListKind::Folders, result),
            "Failed to delete some directories.\n\nMoved: 1. Stayed: 1.\n\n"
            "It is no longer there.\n'/p/K'$'\\E'']0;PWNED'$'\\a\\E''[31mRED'");
  // Items left in place on purpose were kept; one failed move among them makes it a failure.
  result.stayed = {{"/changed", "It changed since the scan.", true}, {"/stop", "The removal was stopped.", true}};
  EXPECT_EQ(RemovalOutcomeText(ListKind::Files, result),
            "Some files were kept in place.\n\nMoved: 1. Stayed: 2.\n\nIt changed since the scan.\n/changed\n\n"
            "The removal was stopped.\n/stop");
  result.stayed.push_back({"/locked", "Permission denied", false});
  EXPECT_EQ(RemovalOutcomeText(ListKind::Folders, result).rfind("Failed to delete some directories.\n\n", 0), 0u);
  result.stayed.clear();
  EXPECT_EQ(RemovalOutcomeText(ListKind::Files, result), test::TrashText("Files were moved to the Recycle Bin."));
  // Items that went to the trash of another mount are named under it.
  result.moved = {"/m", "/usb/a", "/usb/b"};
  result.otherTrash = {"", "/usb/.Trash-1000", "/usb/.Trash-1000"};
  EXPECT_EQ(RemovalOutcomeText(ListKind::Files, result),
            test::TrashText("Files were moved to the Recycle Bin.") +
                "\n\nMoved to the trash folder '/usb/.Trash-1000':\n/usb/a\n/usb/b");

  ResultList files = MakeFileCloneList();
  ScriptedPrompts prompts;
  ResultList folders = MakeFolderCloneList();
  DeleteChecked(files, folders, ListKind::Files, prompts);
  DeleteChecked(files, folders, ListKind::Folders, prompts);
  EXPECT_EQ(prompts.shown,
            (std::vector<std::string>{"message:No files selected.", "message:No directories selected."}));
}

// A dry run asks the trash's own checks: each item it promises would move,
// and each it refuses stays in the real run with the same reason; it moves
// nothing. (The Recycle Bin's name rules: WindowsTrash.NamesWin32WouldRewriteNeverReachTheShell.)
TEST_F(RemovalTest, TheDryRunChecksEachItemAsTheMoveDoesAndMovesNothing) {
  const std::string plain = tree.File("x/plain.txt", "plain");
  const std::string replaced = tree.File("x/replaced.txt", "original");
  platform::FileAttributes scanned;
  ASSERT_TRUE(platform::QueryAttributes(replaced, scanned));
  if (!scanned.id.Known()) GTEST_SKIP() << "this file system gives no file identity";
  fs::rename(replaced, tree.Path("x/kept-aside.txt"));  // keeps its identity taken
  fs::rename(tree.File("x/imposter.txt", "imposter"), replaced);
  std::vector<platform::TrashItem> items = {{plain, {}}, {replaced, scanned.id}, {tree.Path("x/gone.txt"), {}}};
  std::vector<std::size_t> asked;
  platform::TrashHooks hooks;
  hooks.beforeMove = [&asked](std::size_t i) {
    asked.push_back(i);
    return std::string();
  };
  const auto checked = platform::CheckTrash(items, hooks);
  ASSERT_EQ(checked.size(), items.size());
  EXPECT_EQ(asked, std::vector<std::size_t>{0}) << "only an item that passed the trash's checks is compared";
  EXPECT_TRUE(checked[0].moved) << checked[0].reason;
  EXPECT_EQ(test::ReadFile(plain), "plain") << "a dry run moves nothing";
  const auto moved = trash.Mover()(items, {});
  ASSERT_EQ(moved.size(), items.size());
  EXPECT_TRUE(moved[0].moved) << moved[0].reason;
  for (std::size_t i = 1; i < items.size(); ++i) {
    EXPECT_FALSE(checked[i].moved) << items[i].path;
    EXPECT_FALSE(checked[i].reason.empty()) << items[i].path;
    EXPECT_EQ(checked[i].reason, moved[i].reason) << items[i].path;
  }
  EXPECT_EQ(test::ReadFile(replaced), "imposter");
}

#ifndef _WIN32
// Links, folder rights and the freedesktop.org trash itself: POSIX only (the
// Recycle Bin's checks have their own tests).
TEST_F(RemovalTest, AParentSwappedForALinkMovesNothingOutsideTheScannedTree) {
  tree.File("scan/P/2020/photo.jpg", "photo");
  tree.File("scan/Q/2020/photo.jpg", "photo");
  const std::string outside = tree.File("outside/2020/photo.jpg", "photo");
  Scan(CompareMode::Content, false);
  CheckOnly(Files(), {"Q/2020/photo.jpg"});
  fs::rename(S("Q"), S("Q-moved-away"));
  fs::create_directory_symlink(tree.Path("outside"), S("Q"));

  Delete(ListKind::Files);
  EXPECT_EQ(test::ReadFile(outside), "photo");
  EXPECT_NE(prompts.shown.back().find("It changed since the scan.\n" + S("Q/2020/photo.jpg")), std::string::npos)
      << prompts.shown.back();
  EXPECT_EQ(Files().Rows().size(), 2u);

  // The trash itself refuses the path, even asked without the scan's identity.
  for (const bool withOpenat2 : {true, false}) {
    const int fd = platform::posix::OpenFolderNoLinks(S("Q/2020"), withOpenat2);
    EXPECT_EQ(fd, -1);
    EXPECT_TRUE(errno == ELOOP || errno == ENOTDIR) << errno;
    const int real = platform::posix::OpenFolderNoLinks(S("P/2020"), withOpenat2);
    EXPECT_GE(real, 0);
    if (real >= 0) ::close(real);
  }
  const auto outcomes = platform::MoveToTrash({{S("Q/2020/photo.jpg"), {}}});
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_FALSE(outcomes[0].moved);
  EXPECT_EQ(outcomes[0].reason, "a folder on its path is now a link or no folder");
  EXPECT_EQ(test::ReadFile(outside), "photo");
}

// A root below a link, as where /home links to /var/home: the lists show the
// path given, removal moves through the real one (which the trash records),
// and a link swapped in below the root after the scan is still refused.
TEST_F(RemovalTest, ItemsBelowALinkedRootMoveThroughItsRealPath) {
  ORVANTA_SKIP_UNLESS_POSIX("links and the freedesktop.org trash");
  for (const char* copy : {"u/Photos", "u/Photos - Copy"}) tree.File(std::string("scan/") + copy + "/2019/a.jpg", "a");
  tree.File("scan/u/x/one.txt", "one");
  tree.File("scan/u/y/one.txt", "one");
  tree.File("scan/u/p/two.txt", "two!");
  tree.File("scan/u/q/two.txt", "two!");
  const std::string outside = tree.File("outside/two.txt", "two!");
  fs::create_directory_symlink(tree.Path("scan"), tree.Path("home"));
  const std::string given = tree.Path("home/u/");
  Scan(CompareMode::Content, true, "home/u");
  for (const ResultList* list : {&Files(), &Folders()}) {
    for (const ListRow& row : list->Rows()) EXPECT_EQ(RowPath(row).rfind(given, 0), 0u) << RowPath(row);
  }

  // A file, then a link swapped in for the folder of another after the scan.
  std::vector<std::string> checked = {given + "y/one.txt", given + "q/two.txt"};
  for (std::size_t i = 0; i < Files().Rows().size(); ++i) {
    const std::string path = RowPath(Files().Rows()[i]);
    Files().SetChecked(i, std::find(checked.begin(), checked.end(), path) != checked.end());
  }
  fs::rename(S("u/q"), tree.Path("q-away"));
  fs::create_directory_symlink(tree.Path("outside"), S("u/q"));
  Delete(ListKind::Files);
  EXPECT_EQ(prompts.shown.back(),
            "message:Some files were kept in place.\n\nMoved: 1. Stayed: 1.\n\n"
            "It changed since the scan.\n" +
                given + "q/two.txt");
  EXPECT_FALSE(fs::exists(S("u/y/one.txt")));
  EXPECT_EQ(test::ReadFile(S("u/x/one.txt")), "one");
  EXPECT_EQ(test::ReadFile(outside), "two!");
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/one.txt")), "one");
  EXPECT_NE(test::ReadFile(tree.Path("data/Trash/info/one.txt.trashinfo")).find("\nPath=" + S("u/y/one.txt") + "\n"),
            std::string::npos);

  // A folder.
  for (std::size_t i = 0; i < Folders().Rows().size(); ++i) {
    Folders().SetChecked(i, RowPath(Folders().Rows()[i]) == given + "Photos - Copy");
  }
  Delete(ListKind::Folders);
  EXPECT_EQ(prompts.shown.back(), test::TrashText("message:Directories were moved to the Recycle Bin."));
  EXPECT_FALSE(fs::exists(S("u/Photos - Copy")));
  EXPECT_EQ(test::ReadFile(S("u/Photos/2019/a.jpg")), "a");
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/Photos - Copy/2019/a.jpg")), "a");
}

TEST_F(RemovalTest, AFolderTheUserMayNotChangeKeepsItsItemWithTheSystemsReason) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root may change every folder; the ordinary-user pass runs this";
  tree.File("scan/locked/one.txt", "one");
  tree.File("scan/open/one.txt", "one");
  tree.File("scan/x/two.txt", "two!");
  tree.File("scan/open/two.txt", "two!");
  Scan(CompareMode::Content, false);
  CheckOnly(Files(), {"locked/one.txt", "open/two.txt"});
  ::chmod(S("locked").c_str(), 0555);
  Delete(ListKind::Files);
  ::chmod(S("locked").c_str(), 0755);
  EXPECT_EQ(
      prompts.shown.back(),
      "message:Failed to delete some files.\n\nMoved: 1. Stayed: 1.\n\nPermission denied\n" + S("locked/one.txt"));
  EXPECT_TRUE(fs::exists(S("locked/one.txt")));
  EXPECT_FALSE(fs::exists(S("open/two.txt")));
}

// The trash with its records, on the real file system.
TEST_F(RemovalTest, TheTrashRecordsEveryItemAndShortensNamesTooLongForIt) {
  const auto a = tree.File("x/report.txt", "a");
  const auto b = tree.File("y/report.txt", "b");
  tree.File("album/inner/photo.jpg", "c");
  const std::string odd = tree.Dir("caf\xE9 50%");
  const std::string longName = tree.File("z/" + std::string(250, 'n') + ".txt", "long");
  const auto outcomes = platform::MoveToTrash(
      {{a, {}}, {b, {}}, {tree.Path("album"), {}}, {odd, {}}, {longName, {}}, {tree.Path("gone"), {}}});
  ASSERT_EQ(outcomes.size(), 6u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(outcomes[i].moved) << i << ": " << outcomes[i].reason;
  EXPECT_FALSE(outcomes[5].moved);
  EXPECT_EQ(outcomes[5].reason, "No such file or directory");

  auto info = [this](const std::string& name) {
    return test::ReadFile(tree.Path("data/Trash/info/" + name + ".trashinfo"));
  };
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/report.txt")), "a");
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/report.txt.2")), "b");
  EXPECT_TRUE(fs::exists(tree.Path("data/Trash/files/album/inner/photo.jpg")));
  EXPECT_TRUE(fs::is_directory(tree.Path("data/Trash/files/caf\xE9 50%")));
  EXPECT_EQ(info("report.txt").rfind("[Trash Info]\nPath=" + a + "\nDeletionDate=", 0), 0u);
  EXPECT_EQ(info("report.txt").size(),
            std::string("[Trash Info]\nPath=" + a + "\nDeletionDate=2026-12-10T01:02:03\n").size());
  EXPECT_NE(info("report.txt.2").find("Path=" + b + "\n"), std::string::npos);
  EXPECT_NE(info("caf\xE9 50%").find("Path=" + tree.Root() + "/caf%E9%2050%25\n"), std::string::npos);

  const std::string shortened = std::string(245 - 4, 'n') + ".txt";
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/" + shortened)), "long");
  EXPECT_NE(info(shortened).find("Path=" + longName + "\n"), std::string::npos);
  // A second item of that long name gets its own shortened name.
  tree.File("z/" + std::string(250, 'n') + ".txt", "again");
  EXPECT_TRUE(platform::MoveToTrash({{longName, {}}})[0].moved);
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/" + std::string(245 - 6, 'n') + ".txt.2")), "again");
}

// Many items of one name: each finds a free name, however many the trash holds.
TEST_F(RemovalTest, ItemsOfOneNameAlwaysFindAFreeNameInTheTrash) {
  // Names taken by earlier removals, more than any fixed search would try.
  fs::create_directories(tree.Path("data/Trash/info"));
  tree.File("data/Trash/info/cover.jpg.trashinfo", "");
  for (int i = 2; i <= 10001; ++i) tree.File("data/Trash/info/cover.jpg." + std::to_string(i) + ".trashinfo", "");
  std::vector<platform::TrashItem> items;
  for (int i = 0; i < 300; ++i)
    items.push_back({tree.File("album" + std::to_string(i) + "/cover.jpg", std::to_string(i)), {}});
  const auto outcomes = platform::MoveToTrash(items);
  for (std::size_t i = 0; i < items.size(); ++i) ASSERT_TRUE(outcomes[i].moved) << i << ": " << outcomes[i].reason;
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/cover.jpg.10002")), "0");
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/cover.jpg.10301")), "299");
  EXPECT_NE(
      test::ReadFile(tree.Path("data/Trash/info/cover.jpg.10301.trashinfo")).find("Path=" + items[299].path + "\n"),
      std::string::npos);
}

TEST_F(RemovalTest, TheTrashMovesOnlyTheItemItWasAskedFor) {
  const auto file = tree.File("x/item.txt", "original");
  platform::FileAttributes scanned;
  ASSERT_TRUE(platform::QueryAttributes(file, scanned));
  fs::rename(file, tree.Path("x/kept-aside.txt"));  // keeps its inode taken
  tree.File("x/other.txt", "imposter");
  fs::rename(tree.Path("x/other.txt"), file);
  const auto outcomes = platform::MoveToTrash({{file, scanned.id}});
  EXPECT_FALSE(outcomes[0].moved);
  EXPECT_EQ(outcomes[0].reason, "it is no longer the item that was scanned");
  EXPECT_EQ(test::ReadFile(file), "imposter");
}

// The trash at the top of a mount, tried on a temporary folder standing for the top.
TEST(TopTrash, UsedOnlyWhereNoOtherUserCanReachIt) {
  const std::string uid = std::to_string(::getuid());
  struct Case {
    const char* what;
    std::function<void(test::TempTree&)> prepare;
    const char* expected;  // the trash folder chosen; empty: refused
  };
  const Case cases[] = {
      {"a shared sticky .Trash", [](test::TempTree& t) { ::chmod(t.Dir(".Trash").c_str(), 01777); }, ".Trash/UID"},
      {"a .Trash without the sticky bit", [](test::TempTree& t) { ::chmod(t.Dir(".Trash").c_str(), 0777); },
       ".Trash-UID"},
      {"a .Trash that is a link",
       [](test::TempTree& t) {
         ::chmod(t.Dir("elsewhere").c_str(), 01777);
         t.Symlink(".Trash", t.Path("elsewhere"));
       },
       ".Trash-UID"},
      {"a pre-made .Trash/$uid open to all",
       [uid](test::TempTree& t) {
         ::chmod(t.Dir(".Trash").c_str(), 01777);
         ::chmod(t.Dir(".Trash/" + uid).c_str(), 0777);
       },
       ".Trash-UID"},
      {"a pre-made .Trash-$uid open to all",
       [uid](test::TempTree& t) { ::chmod(t.Dir(".Trash-" + uid).c_str(), 0777); }, ""},
      {"a .Trash-$uid that is a link",
       [uid](test::TempTree& t) {
         ::chmod(t.Dir("mine").c_str(), 0700);
         t.Symlink(".Trash-" + uid, t.Path("mine"));
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempTree top;
    c.prepare(top);
    const int topFd = ::open(top.Root().c_str(), O_PATH | O_DIRECTORY);
    platform::posix::TrashFolderFds folders;
    std::string error;
    const bool opened = platform::posix::OpenTopTrash(topFd, folders, error);
    ::close(topFd);
    std::string expected = c.expected;
    if (const auto at = expected.find("UID"); at != std::string::npos) expected.replace(at, 3, uid);
    EXPECT_EQ(opened, !expected.empty()) << error;
    if (!opened) continue;
    EXPECT_EQ(folders.name, expected);
    struct stat viaFd, viaPath;
    ASSERT_EQ(::fstat(folders.files, &viaFd), 0);
    ASSERT_EQ(::lstat(top.Path(expected + "/files").c_str(), &viaPath), 0);
    EXPECT_EQ(viaFd.st_ino, viaPath.st_ino);
    ASSERT_EQ(::lstat(top.Path(expected).c_str(), &viaPath), 0);
    EXPECT_EQ(viaPath.st_mode & 07777, 0700u);
    ::close(folders.files);
    ::close(folders.info);
  }
}

#endif

}  // namespace
}  // namespace orvanta
