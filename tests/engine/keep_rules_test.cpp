#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "actions/keep_rules.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "list_checks.h"
#include "scan/scan_run.h"
#include "test_support.h"

namespace orvanta {
namespace {

std::vector<KeepRule> Rules(const std::vector<std::string>& texts) {
  std::vector<KeepRule> rules;
  for (const std::string& text : texts) rules.push_back(ParseKeepRule(text).value());
  return rules;
}

TEST(KeepRules, ParsesTheCommandLineForms) {
  EXPECT_EQ(ParseKeepRule("newest")->kind, KeepRule::Kind::Newest);
  EXPECT_EQ(ParseKeepRule("oldest")->kind, KeepRule::Kind::Oldest);
  EXPECT_EQ(ParseKeepRule("shortest")->kind, KeepRule::Kind::ShortestPath);
  const std::pair<const char*, const char*> folders[] = {
#ifdef _WIN32
      {"in=C:\\photos\\", "C:\\photos"},
      {"in=C:/photos//2023/..", "C:\\photos"},
      {"in=C:\\", "C:\\"},
#else
      {"in=/photos/", "/photos"},
      {"in=/photos//2023/..", "/photos"},
      {"in=/", "/"},
#endif
  };
  for (const auto& [text, folder] : folders) EXPECT_EQ(ParseKeepRule(text)->folder, folder) << text;
  for (const char* wrong : {"", "Newest", "in=", "in=  ", "largest", "in"}) EXPECT_FALSE(ParseKeepRule(wrong)) << wrong;
}

class KeepRulesOnAPhotoTree : public ::testing::Test, protected test::ScannedTree {
 protected:
  void SetUp() override {
    test::MakePhotoTree(tree);
    run.Run();
    ASSERT_EQ(run.FileClones().Groups().size(), 3u);
  }
};

TEST_F(KeepRulesOnAPhotoTree, EachRuleKeepsItsCopiesAndChecksTheRest) {
  struct Case {
    std::vector<std::string> rules;
    std::set<std::string> kept;
  };
  const std::string photos = "in=" + tree.Path("photos"), backup = "in=" + tree.Path("photos_backup/");
  const Case cases[] = {
      {{"newest"}, {"photos_backup/a.jpg", "photos_backup/b.jpg", "music/song.mp3"}},
      {{"oldest", "shortest"}, {"photos/a.jpg", "photos/b.jpg", "music copy/song.mp3"}},
      {{"shortest"}, {"photos/a.jpg", "photos/b.jpg", "music/song.mp3"}},
      {{photos, "shortest"}, {"photos/a.jpg", "photos/b.jpg", "music/song.mp3"}},
      {{backup, photos, "oldest", "shortest"}, {"photos_backup/a.jpg", "photos_backup/b.jpg", "music copy/song.mp3"}},
      // A folder rule keeps every copy it holds.
      {{"in=" + tree.Path("music copy"), "oldest"},
       {"photos/a.jpg", "photos/b.jpg", "music copy/song.mp3", "music copy/old/deeper/song.mp3"}},
  };
  for (const Case& c : cases) {
    CheckAllButKept(run.FileClones(), Rules(c.rules));
    EXPECT_EQ(test::UncheckedPaths(run.FileClones(), tree), c.kept) << c.rules.front();
    EXPECT_EQ(test::GroupsLosingEveryCopy(run.FileClones()), std::vector<int>{}) << c.rules.front();
  }
  CheckAllButKept(run.FileClones(), Rules({"in=" + tree.Root()}));
  EXPECT_EQ(test::UncheckedPaths(run.FileClones(), tree).size(), 7u);  // nothing left to check
}

TEST_F(KeepRulesOnAPhotoTree, WithoutARuleOrWithTiesTheFirstRowStays) {
  for (const std::vector<std::string>& rules :
       {std::vector<std::string>{}, std::vector<std::string>{"in=/elsewhere"}}) {
    CheckAllButKept(run.FileClones(), Rules(rules));
    std::set<int> seen;
    for (const ListRow& row : run.FileClones().Rows()) EXPECT_EQ(row.checked, !seen.insert(row.groupId).second);
  }
}

class KeepRulesOnNestedFolders : public ::testing::Test, protected test::ScannedTree {
 protected:
  void SetUp() override {
    test::MakeNestedTripTree(tree);
    settings.fileClones = false;
    settings.folderClones = true;
    run.Run();
    ASSERT_GE(run.FolderClones().Groups().size(), 2u);
  }
};

TEST_F(KeepRulesOnNestedFolders, NoGroupLosesEveryCopyWhateverTheRule) {
  struct Case {
    std::vector<std::string> rules;
    std::vector<std::string> mustKeep;
  };
  const Case cases[] = {
      {{}, {}},
      // The trip kept keeps its days too, beside the rule's own choice.
      {{"newest"}, {"backup/trip", "backup/trip/day1", "backup/trip/day2", "loose/day1"}},
      {{"oldest"}, {"photos/trip", "photos/trip/day1", "photos/trip/day2"}},
      {{"shortest"}, {"backup/trip", "backup/trip/day1", "loose/day1"}},
      {{"in=" + tree.Path("backup")}, {"backup/trip", "backup/trip/day1"}},
      // A folder deep inside one copy keeps the copy that holds it.
      {{"in=" + tree.Path("photos/trip/day1")}, {"photos/trip", "photos/trip/day1"}},
      {{"in=" + tree.Path("loose"), "newest"}, {"loose/day1", "backup/trip"}},
  };
  for (const Case& c : cases) {
    const std::string what = c.rules.empty() ? "no rule" : c.rules.front();
    CheckAllButKept(run.FolderClones(), Rules(c.rules));
    EXPECT_EQ(test::GroupsLosingEveryCopy(run.FolderClones()), std::vector<int>{}) << what;
    const std::set<std::string> kept = test::UncheckedPaths(run.FolderClones(), tree);
    for (const std::string& folder : c.mustKeep) EXPECT_EQ(kept.count(folder), 1u) << what << ": " << folder;
  }
}

}  // namespace
}  // namespace orvanta
