#include <gtest/gtest.h>

#include "core/result_list.h"

namespace orvanta {
namespace {

TEST(FormatSizeMB, FormatsMegabytesWithTwoDecimals) {
  struct Case {
    std::int64_t bytes;
    const char* separator;
    const char* text;
  };
  const Case cases[] = {
      {-1, ".", "0"},
      {0, ".", "0.00 MB"},
      {1048576, ".", "1.00 MB"},
      {1572864, ".", "1.50 MB"},
      {5000, ".", "0.00 MB"},
      {5243, ".", "0.01 MB"},    // 0.005000... rounds up
      {131072, ".", "0.13 MB"},  // exactly 0.125: half rounds away from zero
      {1099511627776, ".", "1048576.00 MB"},
      {INT64_MAX, ".", "8796093022208.00 MB"},
      {1572864, ",", "1,50 MB"},
      {-5, ",", "0"},
      {1572864, "\xD9\xAB",
       "1\xD9\xAB"
       "50 MB"},  // Arabic decimal separator
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatSizeMB(c.bytes, c.separator), c.text) << c.bytes;
  }
}

struct CountingObserver : ResultListObserver {
  int resets = 0, checks = 0;
  void ListReset() override { ++resets; }
  void RowCheckChanged(std::size_t) override { ++checks; }
};

TEST(ResultList, BatchUpdateRestoresGroupViewAndResetsObserversOnce) {
  ResultList list = MakeFileCloneList();
  CountingObserver observer;
  list.SetObserver(&observer);

  for (const bool before : {true, false}) {
    list.SetGroupView(before);
    observer.resets = 0;
    const bool saved = BeginListUpdate(list);
    EXPECT_EQ(saved, before);
    EXPECT_FALSE(list.GroupView());
    for (int g = 1; g <= 3; ++g) {
      list.AddGroup(g, "Group");
      list.AddRow().groupId = g;
      list.SetChecked(list.Rows().size() - 1, true);
    }
    EndListUpdate(list, saved);
    EXPECT_EQ(list.GroupView(), before);
    EXPECT_EQ(observer.resets, 1) << "rows added in a batch are not announced one by one";
    EXPECT_EQ(observer.checks, 0);
  }

  observer.resets = 0;
  list.SetChecked(0, false);
  list.RemoveRowsWhere([](const ListRow& row) { return row.groupId == 2; });
  EXPECT_EQ(observer.checks, 1);
  EXPECT_EQ(observer.resets, 1);
}

TEST(ResultList, ClearListGroupsLeavesRowsAndAcceptsAnEmptyList) {
  ResultList list = MakeFolderCloneList();
  ClearListGroups(list);
  EXPECT_TRUE(list.Groups().empty());
  list.AddGroup(1, "Group 1 (0.00 MB)");
  list.AddRow().groupId = 1;
  ClearListGroups(list);
  EXPECT_TRUE(list.Groups().empty());
  EXPECT_EQ(list.Rows().size(), 1u);
}

TEST(ResultList, ColumnsOfBothLists) {
  const ResultList files = MakeFileCloneList();
  ASSERT_EQ(files.Columns().size(), 4u);
  EXPECT_EQ(files.Columns()[1].caption, "File name");
  EXPECT_EQ(files.Columns()[2].width, 520);
  const ResultList dirs = MakeFolderCloneList();
  ASSERT_EQ(dirs.Columns().size(), 3u);
  EXPECT_EQ(dirs.Columns()[1].width, 740);
  EXPECT_EQ(dirs.Columns()[2].caption, "Size");
}

}  // namespace
}  // namespace orvanta
