#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "actions/keep_rules.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "list_checks.h"
#include "platform/platform.h"
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

// The folder is taken as the kernel resolves it, so any path that reaches a
// scanned folder names it, and one that reaches nothing (a typo, other letter
// case) is told apart from one that is merely not scanned.
TEST(KeepRules, AFolderRuleFitsOnlyAnExistingFolderThatIsInsideOrHoldsARoot) {
  ORVANTA_SKIP_UNLESS_POSIX("links, and paths that differ only in letter case");
  test::TempTree tree;
  tree.File("scanned/photos/a.jpg", "a");
  tree.File("elsewhere/b.jpg", "b");
  tree.Symlink("linked", tree.Path("scanned"));
  tree.Symlink("to-photos", tree.Path("scanned/photos"));
  const std::string relative = std::filesystem::relative(tree.Path("scanned/photos")).string();
  struct Case {
    std::string folder;
    KeepFolderFit fit;
  };
  const Case cases[] = {
      {tree.Path("scanned"), KeepFolderFit::Fits},
      {tree.Path("scanned/photos/"), KeepFolderFit::Fits},
      {tree.Root(), KeepFolderFit::Fits},  // holds the root
      {tree.Path("to-photos"), KeepFolderFit::Fits},
      {tree.Path("linked/photos"), KeepFolderFit::Fits},
      {tree.Path("elsewhere/../scanned"), KeepFolderFit::Fits},
      {relative, KeepFolderFit::Fits},
      {tree.Path("Scanned"), KeepFolderFit::NoFolder},
      {tree.Path("scanned/fotos"), KeepFolderFit::NoFolder},
      {tree.Path("scanned/photos/a.jpg"), KeepFolderFit::NoFolder},
      {tree.Path("elsewhere"), KeepFolderFit::NotScanned},
  };
  // The root given through the link, the rule's folder by its real path, and the other way round.
  for (const std::string& root : {tree.Folder("scanned"), tree.Folder("linked")}) {
    const RootResolution roots = RootResolution::Of({root});
    for (const Case& c : cases) {
      const KeepRule rule = ParseKeepRule("in=" + c.folder).value();
      EXPECT_EQ(rule.given, c.folder);
      EXPECT_EQ(FitOfKeepFolder(rule, roots), c.fit) << root << " / " << c.folder;
    }
  }
  EXPECT_EQ(ParseKeepRule("in=" + relative)->folder, tree.Path("scanned/photos"));
  EXPECT_EQ(ParseKeepRule("in=" + tree.Path("linked/photos/"))->folder, tree.Path("scanned/photos"));
}

TEST(KeepRules, RootsResolveToTheirRealPathsAndOtherPathsStayAsGiven) {
  ORVANTA_SKIP_UNLESS_POSIX("links");
  test::TempTree tree;
  tree.Dir("real/inner");
  tree.Symlink("lnk", tree.Path("real"));
  const RootResolution roots = RootResolution::Of({tree.Folder("lnk"), tree.Folder("lnk/inner"), "/no/such/root/"});
  const std::pair<std::string, std::string> cases[] = {
      {tree.Path("lnk/a.txt"), tree.Path("real/a.txt")},
      {tree.Path("lnk"), tree.Path("real")},  // the root itself, as the folder list writes it
      {tree.Path("lnk/inner/b/c.txt"), tree.Path("real/inner/b/c.txt")},
      {tree.Path("lnkx/a.txt"), tree.Path("lnkx/a.txt")},
      {"/no/such/root/a.txt", "/no/such/root/a.txt"},
      {tree.Path("real/a.txt"), tree.Path("real/a.txt")},
  };
  for (const auto& [path, resolved] : cases) EXPECT_EQ(roots.Resolve(path), resolved) << path;
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

// Scanned through a link, named through the real path, a link of its own
// or a relative path: the rule keeps the same copies, and says where it held none.
TEST(KeepRules, AFolderRuleMatchesRowsThroughAnyPathThatReachesThem) {
  ORVANTA_SKIP_UNLESS_POSIX("links");
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  test::MakePhotoTree(tree);
  tree.Symlink("linked", tree.Root());
  tree.Symlink("to-backup", tree.Path("photos_backup"));
  for (const std::string& root : {tree.Folder(), tree.Folder("linked")}) {
    scanned.settings.folders = {root};
    scanned.run.Run();
    ResultList& files = scanned.run.FileClones();
    ASSERT_EQ(files.Groups().size(), 3u) << root;
    for (const std::string& folder :
         {tree.Path("photos_backup"), tree.Path("to-backup"), tree.Path("linked/photos_backup"),
          std::filesystem::relative(tree.Path("photos_backup")).string()}) {
      const KeepReport report = CheckAllButKept(files, Rules({"in=" + folder, "oldest"}));
      std::set<std::string> kept;
      for (const ListRow& row : files.Rows()) {
        if (!row.checked) kept.insert(RowPath(row).substr(root.size()));
      }
      EXPECT_EQ(kept, (std::set<std::string>{"photos_backup/a.jpg", "photos_backup/b.jpg", "music copy/song.mp3"}))
          << root << " / " << folder;
      EXPECT_EQ(report.groups, 3u);
      EXPECT_EQ(report.heldNone, (std::vector<std::size_t>{1, 0})) << "the song's group: oldest chose there";
      EXPECT_EQ(report.keptWhole, 0u);
    }
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

// Records whose owner is set directly: another user's copy in a shared folder
// is never the one relied on, nor checked; a group of nothing else keeps all.
TEST(KeepRules, AnotherUsersCopyInASharedFolderIsNeverTheCopyKept) {
  ORVANTA_SKIP_UNLESS_POSIX("owners are not compared on Windows");
  const std::uint32_t me = platform::CurrentUserId().value(), other = me + 1;
  struct Copy {
    const char* path;
    int year;
    std::uint32_t owner;
    bool shared;
  };
  struct Case {
    const char* what;
    std::vector<Copy> copies;
    std::vector<std::string> rules;
    std::set<std::string> kept;
    std::size_t keptWhole;
    bool note;
  };
  const Case cases[] = {
      {"planted older copy",
       {{"/tmp/shared/planted.jpg", 2019, other, true},
        {"/home/me/a.jpg", 2021, me, false},
        {"/home/me/b.jpg", 2023, me, false}},
       {"oldest"},
       {"/tmp/shared/planted.jpg", "/home/me/a.jpg"},
       0,
       true},
      {"the person's own copy in the shared folder counts",
       {{"/tmp/shared/mine.jpg", 2019, me, true}, {"/home/me/a.jpg", 2021, me, false}},
       {"oldest"},
       {"/tmp/shared/mine.jpg"},
       0,
       false},
      {"another user's copy in a folder only its owner writes",
       {{"/home/other/a.jpg", 2019, other, false}, {"/home/me/a.jpg", 2021, me, false}},
       {"oldest"},
       {"/home/other/a.jpg"},
       0,
       false},
      {"a folder rule holding only the planted copy",
       {{"/tmp/shared/planted.jpg", 2019, other, true},
        {"/home/me/a.jpg", 2021, me, false},
        {"/home/me/b.jpg", 2023, me, false}},
       {"in=/tmp/shared", "newest"},
       {"/tmp/shared/planted.jpg", "/home/me/b.jpg"},
       0,
       true},
      {"only other users' copies",
       {{"/tmp/shared/x.jpg", 2019, other, true}, {"/tmp/shared/y.jpg", 2021, other + 1, true}},
       {"newest"},
       {"/tmp/shared/x.jpg", "/tmp/shared/y.jpg"},
       1,
       false},
      {"an owner the scan could not read",
       {{"/tmp/shared/x.jpg", 2019, platform::kNoOwner, true}, {"/home/me/a.jpg", 2021, me, false}},
       {"oldest"},
       {"/tmp/shared/x.jpg"},
       0,
       false},
  };
  for (const Case& c : cases) {
    FileRegistry records;
    ResultList list = MakeFileCloneList();
    AddListGroup(list, 1, 0, ".", c.copies.size(), [&](std::size_t i, ListRow& row) {
      const Copy& copy = c.copies[i];
      FileRecord& record = records.Add(copy.path, 1, {1, i + 1}, (copy.year - 1970) * 31557600LL * 1000000000);
      record.owner = copy.owner;
      record.inSharedFolder = copy.shared;
      row.data = &record;
    });
    const KeepReport report = CheckAllButKept(list, Rules(c.rules));
    std::set<std::string> kept;
    for (const ListRow& row : list.Rows()) {
      if (!row.checked) kept.insert(RowPath(row));
    }
    EXPECT_EQ(kept, c.kept) << c.what;
    EXPECT_EQ(report.keptWhole, c.keptWhole) << c.what;
    EXPECT_EQ(!OthersCopiesNote(list).empty(), c.note) << c.what;
    EXPECT_EQ(KeptWholeNote(report).empty(), c.keptWhole == 0) << c.what;
  }
}

}  // namespace
}  // namespace orvanta
