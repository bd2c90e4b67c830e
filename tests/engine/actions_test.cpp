#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "actions/check_marks.h"
#include "actions/csv_export.h"
#include "actions/open_location.h"
#include "actions/prompts.h"
#include "actions/removal.h"
#include "core/result_list.h"
#include "core/file_record.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

ResultList ListOfGroups(const std::vector<int>& groupIds, const std::vector<bool>& checks) {
  ResultList list = MakeFolderCloneList();
  for (std::size_t i = 0; i < groupIds.size(); ++i) {
    ListRow& row = list.AddRow();
    row.groupId = groupIds[i];
    row.checked = checks[i];
    row.caption = std::to_string(groupIds[i]);
    row.subItems = {"/folder" + std::to_string(i), "0.00 MB"};
  }
  return list;
}

std::vector<bool> Checks(const ResultList& list) {
  std::vector<bool> checks;
  for (const ListRow& row : list.Rows()) checks.push_back(row.checked);
  return checks;
}

TEST(CheckMarks, AllButOneInGroupAllAndNone) {
  struct Case {
    const char* what;
    std::vector<int> groups;
    std::vector<bool> before, allButOne;
  };
  const Case cases[] = {
      {"all unchecked", {1, 1, 1}, {false, false, false}, {false, true, true}},
      {"first checked, rest not", {1, 1, 1}, {true, false, false}, {false, true, true}},
      {"a single row", {4}, {true}, {false}},
      {"interleaved groups", {1, 2, 1, 2, 2}, {true, true, false, false, false}, {false, false, true, true, true}},
      {"rows of no group keep their mark", {-1, 1, -1, 1}, {true, true, false, false}, {true, false, false, true}},
      {"an empty list", {}, {}, {}},
  };
  for (const Case& c : cases) {
    ResultList list = ListOfGroups(c.groups, c.before);
    CheckAllButOneInGroup(list);
    EXPECT_EQ(Checks(list), c.allButOne) << c.what;
    CheckAllButOneInGroup(list);
    EXPECT_EQ(Checks(list), c.allButOne) << c.what << ", twice";
    CheckAll(list);
    EXPECT_EQ(Checks(list), std::vector<bool>(c.groups.size(), true)) << c.what;
    UncheckAll(list);
    EXPECT_EQ(Checks(list), std::vector<bool>(c.groups.size(), false)) << c.what;
  }
}

struct ScriptedPrompts : Prompts {
  std::vector<std::string> shown;
  bool answer = false;
  void Message(const std::string& text) override { shown.push_back("message:" + text); }
  bool Confirm(const std::string& text) override {
    shown.push_back("confirm:" + text);
    return answer;
  }
};

class RemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* path : {"/a/one", "/b/one", "/c/two", "/d/two"}) {
      records.push_back(std::make_unique<FileRecord>(path, 5));
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
      ListRow& row = files.AddRow();
      row.groupId = i < 2 ? 1 : 2;
      row.checked = i == 1 || i == 3;
      row.data = records[i].get();
      row.subItems = {std::string(records[i]->Name()), "/x", "0.00 MB"};
    }
  }
  TrashMover FakeTrash(bool succeeds) {
    return [this, succeeds](const std::vector<std::string>& paths) {
      trashed = paths;
      return succeeds;
    };
  }

  FileRegistry records;
  ResultList files = MakeFileCloneList();
  ScriptedPrompts prompts;
  std::vector<std::string> trashed;
};

TEST_F(RemovalTest, YesWithSuccessRemovesExactlyTheCheckedRows) {
  prompts.answer = true;
  DeleteChecked(files, ListKind::Files, prompts, FakeTrash(true));
  EXPECT_EQ(trashed, (std::vector<std::string>{"/b/one", "/d/two"}));
  EXPECT_EQ(prompts.shown, (std::vector<std::string>{"confirm:Move 2 files to Recycle Bin?",
                                                     "message:Files were moved to the Recycle Bin."}));
  ASSERT_EQ(files.Rows().size(), 2u);
  EXPECT_EQ(files.Rows()[0].data->fullPath, "/a/one");
  EXPECT_EQ(files.Rows()[1].data->fullPath, "/c/two");
  EXPECT_EQ(files.Groups().size(), 0u) << "groups are not touched";
}

TEST_F(RemovalTest, FailureOrNoKeepsEveryRow) {
  prompts.answer = true;
  DeleteChecked(files, ListKind::Files, prompts, FakeTrash(false));
  EXPECT_EQ(prompts.shown.back(), "message:Failed to delete some files.");
  EXPECT_EQ(files.Rows().size(), 4u);

  prompts.shown.clear();
  prompts.answer = false;
  trashed.clear();
  DeleteChecked(files, ListKind::Files, prompts, FakeTrash(true));
  EXPECT_EQ(prompts.shown, std::vector<std::string>{"confirm:Move 2 files to Recycle Bin?"});
  EXPECT_TRUE(trashed.empty());
  EXPECT_EQ(files.Rows().size(), 4u);
}

TEST_F(RemovalTest, NothingCheckedSaysSoForEachList) {
  UncheckAll(files);
  DeleteChecked(files, ListKind::Files, prompts, FakeTrash(true));
  ResultList folders = ListOfGroups({1, 1}, {false, false});
  DeleteChecked(folders, ListKind::Folders, prompts, FakeTrash(true));
  EXPECT_EQ(prompts.shown, (std::vector<std::string>{"message:No files selected.", "message:No directories selected."}));
  EXPECT_TRUE(trashed.empty());
}

TEST_F(RemovalTest, FolderRowsGiveTheirDirectoryColumn) {
  ResultList folders = ListOfGroups({1, 1, 1}, {true, false, true});
  folders.AddRow().checked = true;  // a row without sub-items adds nothing
  prompts.answer = true;
  DeleteChecked(folders, ListKind::Folders, prompts, FakeTrash(true));
  EXPECT_EQ(trashed, (std::vector<std::string>{"/folder0", "/folder2"}));
  EXPECT_EQ(prompts.shown.front(), "confirm:Move 2 directories to Recycle Bin?");
  EXPECT_EQ(prompts.shown.back(), "message:Directories were moved to the Recycle Bin.");
  EXPECT_EQ(folders.Rows().size(), 1u);
}

// The real trash, under a temporary XDG_DATA_HOME on the same file system.
class TrashTest : public ::testing::Test {
 protected:
  std::string Info(const std::string& name) {
    std::ifstream in(tree.Path("data/Trash/info/" + name + ".trashinfo"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  test::TempTree tree;
  const test::ScopedEnvironmentVariable dataHome{"XDG_DATA_HOME", tree.Path("data")};
};

TEST_F(TrashTest, FilesAndFoldersMoveWithARecordOfTheirPlace) {
  const auto a = tree.File("x/report.txt", "a");
  const auto b = tree.File("y/report.txt", "b");
  tree.File("album/inner/photo.jpg", "c");
  const std::string odd = tree.Dir("caf\xE9 50%");
  ASSERT_TRUE(MoveToRecycleBin({a, b, tree.Path("album"), odd}));

  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(tree.Path("album")));
  std::ifstream first(tree.Path("data/Trash/files/report.txt"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}), "a");
  EXPECT_TRUE(fs::exists(tree.Path("data/Trash/files/report.txt.2")));
  EXPECT_TRUE(fs::exists(tree.Path("data/Trash/files/album/inner/photo.jpg")));
  EXPECT_TRUE(fs::is_directory(tree.Path("data/Trash/files/caf\xE9 50%")));

  const std::string info = Info("report.txt");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + a + "\nDeletionDate=", 0), 0u) << info;
  EXPECT_EQ(info.size(), std::string("[Trash Info]\nPath=" + a + "\nDeletionDate=2026-12-10T01:02:03\n").size());
  EXPECT_NE(Info("report.txt.2").find("Path=" + b + "\n"), std::string::npos);
  EXPECT_NE(Info("caf\xE9 50%").find("Path=" + tree.Root() + "/caf%E9%2050%25\n"), std::string::npos);
}

TEST_F(TrashTest, AVanishedItemMakesTheMoveFailAndKeepsEveryRow) {
  const auto kept = tree.File("kept.txt", "k");
  EXPECT_FALSE(MoveToRecycleBin({tree.Path("gone.txt"), kept}));
  EXPECT_FALSE(MoveToRecycleBin({}));

  ResultList folders = ListOfGroups({1, 1}, {true, true});
  ScriptedPrompts prompts;
  prompts.answer = true;
  DeleteChecked(folders, ListKind::Folders, prompts);  // /folder0 and /folder1 do not exist
  EXPECT_EQ(prompts.shown.back(), "message:Failed to delete some directories.");
  EXPECT_EQ(folders.Rows().size(), 2u);
}

TEST(OpenLocation, MessagesAndRequests) {
  test::TempTree tree;
  const auto file = tree.File("d/f.txt", "x");
  const FileRecord present(file, 1), gone(tree.Path("d/gone.txt"), 1);
  ResultList files = MakeFileCloneList();
  files.AddRow().data = &present;
  files.AddRow().data = &gone;
  files.AddRow();  // no record
  ResultList folders = MakeFolderCloneList();
  folders.AddRow().subItems = {tree.Path("d"), "0.00 MB"};
  folders.AddRow().subItems = {tree.Path("vanished"), "0.00 MB"};
  folders.AddRow();

  using Kind = LocationRequest::Kind;
  struct Case {
    const ResultList& list;
    ListKind kind;
    int row;
    Kind expectedKind;
    std::string expectedText;
  };
  const Case cases[] = {
      {files, ListKind::Files, -1, Kind::Message, "Please select an item first."},
      {files, ListKind::Files, 0, Kind::ShowFile, file},
      {files, ListKind::Files, 1, Kind::Message, "File does not exist: " + tree.Path("d/gone.txt")},
      {files, ListKind::Files, 2, Kind::Message, "No file path available for the selected item."},
      {folders, ListKind::Folders, 0, Kind::OpenFolder, tree.Path("d")},
      {folders, ListKind::Folders, 1, Kind::Message, "Directory does not exist: " + tree.Path("vanished")},
      {folders, ListKind::Folders, 2, Kind::Message, "Directory does not exist: "},
  };
  for (const Case& c : cases) {
    const LocationRequest request = ResolveLocation(c.list, c.kind, c.row);
    EXPECT_EQ(request.kind, c.expectedKind) << c.row;
    EXPECT_EQ(request.text, c.expectedText) << c.row;
  }
}

TEST(OpenLocation, TheFileBrowserSelectsTheFileByItsQuotedPath) {
  EXPECT_EQ(ExplorerSelectParameters("C:\\My Files\\a b.txt"), "/select,\"C:\\My Files\\a b.txt\"");
}

TEST(CsvExport, ExactBytes) {
  ResultList list = MakeFileCloneList();
  list.SetColumnCaption(1, "Name, \"quoted\"");  // a header is written bare
  ListRow& row = list.AddRow();
  row.caption = "1";
  row.subItems = {"a,b \"c\".txt", "/d/\xC3\xA9t\xC3\xA9", "1.50 MB"};
  EXPECT_EQ(ListViewToCsv(list),
            "\xEF\xBB\xBFGroup,Name, \"quoted\",Directory,File size (MB)\r\n"
            "\"1\",\"a,b \"\"c\"\".txt\",\"/d/\xC3\xA9t\xC3\xA9\",\"1.50 MB\"\r\n");
  EXPECT_EQ(ListViewToCsv(MakeFolderCloneList()), "\xEF\xBB\xBFGroup,Directory,Size\r\n");
}

TEST(CsvExport, AFileThatCannotBeWrittenLeavesNothingBehind) {
  test::TempTree tree;
  const ResultList list = MakeFolderCloneList();
  const std::string target = tree.File("existing.csv", "old contents");
  ExportListViewToCsv(list, target);
  std::ifstream in(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\xEF\xBB\xBFGroup,Directory,Size\r\n");
  try {
    ExportListViewToCsv(list, tree.Path("no/such/folder/out.csv"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos) << error.what();
  }
  // Written in full, then refused at the rename: a folder has the name.
  EXPECT_THROW(ExportListViewToCsv(list, tree.Dir("taken.csv")), std::runtime_error);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(tree.Root())) ++entries;
  EXPECT_EQ(entries, 2u) << "no temporary file stays behind";
}

}  // namespace
}  // namespace orvanta
