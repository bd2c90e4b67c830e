#include <gtest/gtest.h>

#include "actions/check_marks.h"
#include "actions/list_rows.h"
#include "actions/list_totals.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "scan/scan_run.h"
#include "test_support.h"

namespace orvanta {
namespace {

constexpr std::int64_t kMB = 1 << 20;

TEST(CheckedTotals, CountsRowsAndFreesNestedFoldersOnce) {
  struct Row {
    const char* path;
    std::int64_t size;
    bool checked;
  };
  struct Case {
    const char* what;
    std::vector<Row> rows;
    std::size_t count;
    std::int64_t bytes;
  };
  const Case cases[] = {
      {"nothing checked", {{"/a", 10, false}, {"/b", 10, false}}, 0, 0},
      {"siblings add up", {{"/a", 10, true}, {"/b", 20, true}, {"/c", 40, false}}, 2, 30},
      {"a folder inside a checked one travels with it", {{"/p", 100, true}, {"/p/q", 30, true}}, 2, 100},
      {"only the outer one checked", {{"/p", 100, false}, {"/p/q", 30, true}}, 1, 30},
      {"a name that only starts like the folder", {{"/p", 100, true}, {"/pq", 30, true}}, 2, 130},
      {"below the root", {{"/", 500, true}, {"/x/y", 30, true}}, 2, 500},
      {"an unknown size counts nothing", {{"/a", -1, true}, {"/b", 7, true}}, 2, 7},
  };
  for (const Case& c : cases) {
    FileRegistry folders;
    ResultList list = MakeFolderCloneList();
    for (const Row& r : c.rows) {
      ListRow& row = list.AddRow();
      row.groupId = 1;
      row.data = &folders.Add(r.path, r.size);
      row.checked = r.checked;
    }
    const CheckedTotals totals = CountChecked(list);
    EXPECT_EQ(totals.count, c.count) << c.what;
    EXPECT_EQ(totals.bytes, c.bytes) << c.what;
  }
}

class ScanSummaryTest : public ::testing::Test, protected test::ScannedTree {
 protected:
  void SetUp() override {
    // Three groups of equal files: 3 x 2 MB, 2 x 1 MB, 2 x 0.5 MB.
    for (const char* folder : {"a", "b", "c"}) tree.FileOfSize(std::string(folder) + "/big.bin", 2 * kMB, 'b');
    for (const char* folder : {"a", "b"}) tree.FileOfSize(std::string(folder) + "/mid.bin", kMB, 'm');
    for (const char* folder : {"a", "c"}) tree.FileOfSize(std::string(folder) + "/small.bin", kMB / 2, 's');
    tree.FileOfSize("d/alone.bin", 3 * kMB, 'z');
  }
};

TEST_F(ScanSummaryTest, FoundListedAndExtraSpaceFollowMaxGroupsAndTheMarks) {
  struct Case {
    int maxGroups;
    int listed;
    std::int64_t extra;
    std::string line;
  };
  const Case cases[] = {
      {0, 3, 4 * kMB + kMB + kMB / 2, "Groups: 3, extra copies: 5.50 MB  \xC2\xB7  4 checked, 5.50 MB"},
      {2, 2, 4 * kMB + kMB, "Groups: first 2 of 3 listed, extra copies: 5.00 MB  \xC2\xB7  3 checked, 5.00 MB"},
  };
  for (const Case& c : cases) {
    settings.maxGroups = c.maxGroups;
    run.Run();
    ASSERT_EQ(window.LastStatus(), "  Done.");
    const std::optional<ListSummary> summary = SummarizeList(run.FileClones());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->groupsFound, 3);
    EXPECT_EQ(summary->groupsListed, c.listed);
    EXPECT_EQ(summary->extraBytes, c.extra);
    EXPECT_EQ(TotalsLine(run.FileClones(), "."), c.line);
  }
  // The checked part follows the marks; the folder list was not searched.
  run.FileClones().SetChecked(1, false);
  EXPECT_EQ(CountChecked(run.FileClones()).count, 2u);
  EXPECT_EQ(CountChecked(run.FileClones()).bytes, 2 * kMB + kMB);
  EXPECT_EQ(TotalsLine(run.FolderClones(), "."), "");
}

TEST_F(ScanSummaryTest, RowsThatLeaveOrGoStaleNoLongerCount) {
  run.Run();
  ResultList& list = run.FileClones();
  UncheckAll(list);
  auto rowOf = [&list](const std::string& path) {
    for (std::size_t i = 0; i < list.Rows().size(); ++i) {
      if (RowPath(list.Rows()[i]) == path) return i;
    }
    ADD_FAILURE() << path;
    return std::size_t{0};
  };
  // One of three copies gone: still a group, one extra copy less.
  const std::string gone = tree.Path("c/big.bin");
  list.RemoveRowsWhere([&gone](const ListRow& row) { return RowPath(row) == gone; });
  EXPECT_EQ(TotalsLine(list, "."), "Groups: 3, extra copies: 3.50 MB  \xC2\xB7  0 checked, 0.00 MB");

  // A copy a removal changed: unchecked, never checked again, and its group of
  // two is no group any more.
  const std::size_t changed = rowOf(tree.Path("b/mid.bin"));
  list.SetChecked(changed, true);
  list.MarkStale(changed);
  EXPECT_FALSE(list.Rows()[changed].checked);
  list.SetChecked(changed, true);
  EXPECT_FALSE(list.Rows()[changed].checked);
  EXPECT_EQ(TotalsLine(list, "."), "Groups: 2, extra copies: 2.50 MB  \xC2\xB7  0 checked, 0.00 MB");
  CheckAllButOneInGroup(list);
  EXPECT_FALSE(list.Rows()[changed].checked);
  EXPECT_FALSE(list.Rows()[rowOf(tree.Path("a/mid.bin"))].checked) << "the last live copy of a group stays";
}

TEST_F(ScanSummaryTest, FolderGroupsAndEmptyResults) {
  settings.folderClones = true;
  tree.FileOfSize("e/big.bin", 2 * kMB, 'b');
  tree.FileOfSize("e/small.bin", kMB / 2, 's');  // e equals c
  run.Run();
  const std::optional<ListSummary> folders = SummarizeList(run.FolderClones());
  ASSERT_TRUE(folders);
  EXPECT_EQ(folders->groupsFound, 1);
  EXPECT_EQ(folders->extraBytes, 2 * kMB + kMB / 2);
  EXPECT_EQ(TotalsLine(run.FolderClones(), ","), "Groups: 1, extra copies: 2,50 MB  \xC2\xB7  0 checked, 0,00 MB");

  settings.folders = {tree.Folder("d")};
  run.Run();
  EXPECT_EQ(TotalsLine(run.FileClones(), "."), "No clone groups found");
  run.ClearResults();
  EXPECT_FALSE(SummarizeList(run.FileClones()));
}

TEST(ScanSummary, GroupsOfUnequalSizesCountBeyondTheLargestMember) {
  test::StageHarness harness;
  test::TempTree tree;
  tree.FileOfSize("a/x.dat", 300);
  tree.FileOfSize("b/x.dat", 100);
  tree.FileOfSize("c/x.dat", 200);
  harness.settings.folders = {tree.Folder()};
  harness.settings.compare = CompareMode::Name;
  ScanRun run(harness.window, harness.settings);
  run.Run();
  ASSERT_TRUE(SummarizeList(run.FileClones()));
  EXPECT_EQ(SummarizeList(run.FileClones())->extraBytes, 300);
}

}  // namespace
}  // namespace orvanta
