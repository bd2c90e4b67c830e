#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/file_record.h"
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

// Four groups of files as a scan lists them (largest total first); each
// member is {path, size, modified}.
struct Member {
  const char* path;
  std::int64_t size;
  std::int64_t modified;
};

ResultList ListOf(FileRegistry& records, const std::vector<std::vector<Member>>& groups) {
  ResultList list = MakeFileCloneList();
  int id = 0;
  for (const auto& members : groups) {
    AddListGroup(list, ++id, 0, ".", members.size(), [&](std::size_t i, ListRow& row) {
      row.data = &records.Add(members[i].path, members[i].size, {}, members[i].modified);
      row.checked = i > 0;
    });
  }
  return list;
}

std::vector<int> ShownIds(const ResultList& list) {
  std::vector<int> ids;
  for (const std::size_t g : list.ShownGroups()) ids.push_back(list.Groups()[g].groupId);
  return ids;
}

TEST(ResultList, GroupOrderSortsGroupsAndLeavesRowsAsListed) {
  FileRegistry records;
  ResultList list =
      ListOf(records, {
                          {{"/m/b/Zeta.bin", 900, 10}, {"/m/c/zeta.bin", 900, 50}},
                          {{"/m/a/beta.bin", 300, 70}, {"/m/d/Beta.bin", 300, 20}, {"/m/e/x.bin", 300, 5}},
                          {{"/m/f/alpha.bin", 400, 30}, {"/m/g/alpha.bin", 400, 30}},
                          {{"/m/H/Gamma.bin", 100, 90}, {"/m/b/gamma.bin", 100, 1}},
                      });
  const auto rowsOf = [](const ResultList& l) {
    std::vector<std::tuple<const FileRecord*, bool, int>> rows;
    for (const ListRow& row : l.Rows()) rows.emplace_back(row.data, row.checked, row.groupId);
    return rows;
  };
  const auto rowsBefore = rowsOf(list);
  CountingObserver observer;
  list.SetObserver(&observer);
  struct Case {
    GroupOrder order;
    bool descending;
    std::vector<int> groups;
  };
  const Case cases[] = {
      {GroupOrder::Found, false, {1, 2, 3, 4}},
      {GroupOrder::Found, true, {4, 3, 2, 1}},
      {GroupOrder::Count, true, {2, 1, 3, 4}},  // ties keep the scan's order
      {GroupOrder::Count, false, {1, 3, 4, 2}},
      {GroupOrder::Name, false, {3, 2, 4, 1}},  // alpha, beta, gamma, zeta: letter case aside
      {GroupOrder::Name, true, {1, 4, 2, 3}},
      {GroupOrder::Path, false, {2, 1, 4, 3}},  // /m/a, /m/b (twice: found order), /m/f
      {GroupOrder::Size, true, {1, 2, 3, 4}},   // 1800, 900, 800, 200
      {GroupOrder::Size, false, {4, 3, 2, 1}},
      {GroupOrder::Modified, true, {4, 2, 1, 3}},  // the newest member: 90, 70, 50, 30
  };
  for (const Case& c : cases) {
    observer.resets = 0;
    list.SetGroupOrder(c.order, c.descending);
    EXPECT_EQ(ShownIds(list), c.groups) << static_cast<int>(c.order) << " " << c.descending;
    EXPECT_EQ(list.Order(), c.order);
    EXPECT_LE(observer.resets, 1);
    // The rows, their order, marks and groups are the scan's whatever the order.
    EXPECT_EQ(rowsOf(list), rowsBefore);
  }
  list.SetObserver(nullptr);
}

TEST(ResultList, SearchShowsWholeGroupsWhoseMemberPathHoldsTheText) {
  FileRegistry records;
  ResultList list =
      ListOf(records, {
                          {{"/m/Holiday/a.jpg", 1, 1}, {"/m/backup/a.jpg", 1, 1}},
                          {{"/m/work/\xC3\x89t\xC3\xA9.txt", 1, 1}, {"/m/old/\xC3\xA9t\xC3\xA9.txt", 1, 1}},
                          {{"/m/x/b", 1, 1}, {"/m/y/b", 1, 1}},
                      });
  ListRow& loose = list.AddRow();  // a row of no group is shown by its own path
  loose.data = &records.Add("/m/holiday-loose", 1);
  struct Case {
    const char* text;
    std::vector<int> groups;
    std::vector<bool> rows;
  };
  const Case cases[] = {
      {"", {1, 2, 3}, {true, true, true, true, true, true, true}},
      {"HOLIDAY", {1}, {true, true, false, false, false, false, true}},             // one member matches: both shown
      {"\xC3\x89T\xC3\x89", {2}, {false, false, true, true, false, false, false}},  // Unicode lower case
      {"/m/", {1, 2, 3}, {true, true, true, true, true, true, true}},
      {"nowhere", {}, {false, false, false, false, false, false, false}},
  };
  for (const Case& c : cases) {
    list.SetSearch(c.text);
    EXPECT_EQ(ShownIds(list), c.groups) << c.text;
    EXPECT_EQ(list.RowsShown(), c.rows) << c.text;
  }
  // Searched and sorted at once: the order applies to the groups shown.
  list.SetSearch("a.jpg");
  list.SetGroupOrder(GroupOrder::Found, true);
  EXPECT_EQ(ShownIds(list), std::vector<int>{1});
  list.SetSearch("");
  EXPECT_EQ(ShownIds(list), (std::vector<int>{3, 2, 1}));
}

}  // namespace
}  // namespace orvanta
