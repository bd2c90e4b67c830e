// Reference folders and exclusions: what the walks leave out, what is never
// checked or moved, and the groups that are then not worth listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "actions/check_marks.h"
#include "actions/keep_rules.h"
#include "actions/removal.h"
#include "collect/masks.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "test_support.h"

namespace orvanta {
namespace {

// The files the last scan collected, relative to the tree, sorted.
std::vector<std::string> Collected(const test::ScannedTree& scan) {
  std::vector<std::string> paths;
  for (const FileRecord& file : scan.run.Files()) paths.push_back(scan.tree.Relative(file.FullPath()));
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Each group of a list as "path[*]" per member ("*" checked, "R" reference), groups separated by "|".
std::string Marks(const test::ScannedTree& scan, const ResultList& list) {
  std::string text;
  int group = -1;
  for (const ListRow& row : list.Rows()) {
    if (row.groupId != group && group != -1) text += "| ";
    group = row.groupId;
    text += scan.tree.Relative(row.data->FullPath()) + (row.checked ? "*" : "") + (InReference(row) ? "R" : "") + " ";
  }
  return text;
}

TEST(Exclusions, FolderPatternsMasksThatLeaveOutAndTheLargestSize) {
  struct Case {
    const char* what;
    std::vector<std::string> excluded;
    std::string masks;
    std::int64_t maxSizeMB;
    std::vector<std::string> collected;
  };
  const std::vector<std::string> all = {"a/.GIT/config", "a/keep.txt",       "a/node_modules/m/x.js",
                                        "a/tmp.tmp",     "big/at-limit.bin", "big/over.bin"};
  const Case cases[] = {
      {"nothing left out", {}, "*.*", 0, all},
      {"a name, in any letter case, with everything below",
       {".git"},
       "*.*",
       0,
       {"a/keep.txt", "a/node_modules/m/x.js", "a/tmp.tmp", "big/at-limit.bin", "big/over.bin"}},
      {"a pattern", {"node_*", "b?g"}, "*.*", 0, {"a/.GIT/config", "a/keep.txt", "a/tmp.tmp"}},
      {"a mask that leaves out",
       {},
       "*.*;!*.TMP",
       0,
       {"a/.GIT/config", "a/keep.txt", "a/node_modules/m/x.js", "big/at-limit.bin", "big/over.bin"}},
      {"only masks that leave out",
       {},
       "!*.tmp !*.js",
       0,
       {"a/.GIT/config", "a/keep.txt", "big/at-limit.bin", "big/over.bin"}},
      {"the largest size, which is kept",
       {},
       "*.*",
       1,
       {"a/.GIT/config", "a/keep.txt", "a/node_modules/m/x.js", "a/tmp.tmp", "big/at-limit.bin"}},
  };
  for (const Case& c : cases) {
    test::ScannedTree scan;
    scan.tree.File("a/.GIT/config", "c");
    scan.tree.File("a/keep.txt", "k");
    scan.tree.File("a/node_modules/m/x.js", "x");
    scan.tree.File("a/tmp.tmp", "t");
    scan.tree.FileOfSize("big/at-limit.bin", 1048576);
    scan.tree.FileOfSize("big/over.bin", 1048577);
    scan.settings.excludedFolders = c.excluded;
    scan.settings.masks = c.masks;
    scan.settings.maxSizeMB = c.maxSizeMB;
    ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done) << c.what;
    EXPECT_EQ(Collected(scan), c.collected) << c.what;
  }
}

TEST(Exclusions, AMalformedPatternEndsTheScanNamingIt) {
  test::ScannedTree scan;
  scan.tree.File("a/x", "x");
  scan.settings.excludedFolders = {"ok", "cache[", "a"};
  const ScanOutcome outcome = scan.run.Run();
  EXPECT_EQ(outcome.kind, ScanOutcome::Kind::Failed);
  EXPECT_NE(outcome.error.find("'cache['"), std::string::npos) << outcome.error;
  EXPECT_THROW(FolderExclusions({"a/b"}, false), MaskError);
}

// A copy kept in the trash is gone once the trash is emptied: the home trash
// is skipped unless asked for, while folders that only bear a trash's name stay.
TEST(Exclusions, TheHomeTrashIsSkippedUnlessAsked) {
  ORVANTA_SKIP_UNLESS_POSIX("the freedesktop.org trash");
  test::ScannedTree scan;
  const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", scan.tree.Path("data"));
  scan.tree.File("photos/a.jpg", "photo");
  scan.tree.File("data/Trash/files/a.jpg", "photo");
  scan.tree.File("data/Trash/info/a.jpg.trashinfo", "[Trash Info]");
  scan.tree.File("work/Trash/a.jpg", "photo");        // only the name
  scan.tree.File("work/.Trash-1000/a.jpg", "photo");  // not at the top of a mount
  scan.tree.Symlink("trash-link", scan.tree.Path("data/Trash"));
  scan.settings.folders = {scan.tree.Folder()};
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(Collected(scan), (std::vector<std::string>{"photos/a.jpg", "work/.Trash-1000/a.jpg", "work/Trash/a.jpg"}));

  // A home trash reached through a link in its path is the same folder.
  const test::ScopedEnvironmentVariable linked("XDG_DATA_HOME", scan.tree.Path("trash-link/.."));
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(Collected(scan).size(), 3u);

  scan.settings.scanTrash = true;
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(Collected(scan), (std::vector<std::string>{"data/Trash/files/a.jpg", "data/Trash/info/a.jpg.trashinfo",
                                                       "photos/a.jpg", "work/.Trash-1000/a.jpg", "work/Trash/a.jpg"}));
}

// A folder whose excluded subfolder was never read has contents partly
// unknown: it is no clone of a folder that has the same subfolder, nor of one
// without it, and neither is the folder holding it.
TEST(Exclusions, AFolderHoldingAnExcludedFolderIsNoFolderClone) {
  test::ScannedTree scan;
  for (const char* side : {"one/project", "two/project"}) {
    scan.tree.File(std::string(side) + "/main.c", "int main;");
    scan.tree.File(std::string(side) + "/.git/HEAD", "ref");
  }
  scan.tree.File("three/project/main.c", "int main;");
  scan.settings.fileClones = false;
  scan.settings.folderClones = true;
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(Marks(scan, scan.run.FolderClones()),
            "one/project two/project | one two | one/project/.git two/project/.git ")
      << "whole trees: clones";

  scan.settings.excludedFolders = {".git"};
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  EXPECT_EQ(Marks(scan, scan.run.FolderClones()), "");
}

// A file that is only online (a cloud placeholder) is downloaded by a read, so
// unasked it is never read, in any compare mode: left out of every group,
// named and counted, and a folder holding one has contents unknown, so it is no
// clone of the folder it would match. Asked for, it is read as any file. An
// empty one would not be collected anyway, and is not named.
// A list's groups as sets, whatever the listing order: each group's members
// relative to the tree and sorted, the groups sorted, "|" between them.
std::string GroupSets(const test::ScannedTree& scan, const ResultList& list) {
  std::vector<std::vector<std::string>> groups;
  int group = -1;
  for (const ListRow& row : list.Rows()) {
    if (row.groupId != group) groups.emplace_back();
    group = row.groupId;
    groups.back().push_back(scan.tree.Relative(row.data->FullPath()));
  }
  for (auto& members : groups) std::sort(members.begin(), members.end());
  std::sort(groups.begin(), groups.end());
  std::string text;
  for (const auto& members : groups) {
    if (!text.empty()) text += "| ";
    for (const std::string& member : members) text += member + " ";
  }
  return text;
}

TEST(Exclusions, FilesOnlyOnlineAreLeftOutUnreadUnlessAsked) {
  struct Case {
    CompareMode compare;
    bool read;
    std::string files, folders;
    std::int64_t filesRead;
  };
  const std::string local = "local/a/same.dat local/b/same.dat ";
  const std::string all = "cloud/a/online.dat cloud/b/online.dat " + local;
  const Case cases[] = {
      {CompareMode::Content, false, local, "local/a local/b ", 2},
      {CompareMode::Content, true, all, "cloud/a cloud/b | local/a local/b ", 4},
      {CompareMode::Size, false, local, "local/a local/b ", 0},
      {CompareMode::Size, true, all, "cloud/a cloud/b | local/a local/b ", 0},
  };
  const test::OnlineOnly online("online.dat");
  for (const Case& c : cases) {
    const std::string what =
        std::string(c.compare == CompareMode::Content ? "content" : "size") + (c.read ? ", read" : ", left out");
    test::ScannedTree scan;
    const std::string a = scan.tree.File("cloud/a/online.dat", "bytes");
    const std::string b = scan.tree.File("cloud/b/online.dat", "bytes");
    scan.tree.File("cloud/empty/online.dat", "");
    scan.tree.File("local/a/same.dat", "bytes");
    scan.tree.File("local/b/same.dat", "bytes");
    scan.settings.compare = c.compare;
    scan.settings.readPlaceholders = c.read;
    scan.settings.folderClones = true;
    ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done) << what;
    EXPECT_EQ(GroupSets(scan, scan.run.FileClones()), c.files) << what;
    EXPECT_EQ(GroupSets(scan, scan.run.FolderClones()), c.folders) << what;
    EXPECT_EQ(scan.run.Figures().filesRead, c.filesRead) << what;
    const std::vector<std::string> statuses = scan.window.Statuses();
    const bool counted =
        std::find(statuses.begin(), statuses.end(), "2 files are only online and were not read.") != statuses.end();
    EXPECT_EQ(counted, !c.read) << what;
    const std::vector<std::string> named = c.read ? std::vector<std::string>{} : std::vector<std::string>{a, b};
    std::vector<std::string> listed = scan.run.PlaceholderFiles();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, named) << what;
    EXPECT_TRUE(scan.run.UnreadableFiles().empty()) << what;
  }
}

TEST(ReferenceFolders, ResolvedAsRootsAndMatchedByWholeNames) {
  ORVANTA_SKIP_UNLESS_POSIX("links and \"/\" paths");
  test::TempTree tree;
  tree.Dir("real/ref");
  tree.Symlink("link", tree.Path("real"));
  const RootResolution roots = RootResolution::Of({tree.Folder("link")}, {tree.Folder("link/ref")});
  const std::string real = tree.Path("real");
  const std::pair<std::string, std::pair<bool, bool>> cases[] = {
      {real + "/ref", {true, true}},      {real + "/ref/", {true, true}}, {real + "/ref/deep/file", {true, true}},
      {real + "/refuge", {false, false}}, {real, {false, true}},          {"/", {false, true}},
      {real + "/other", {false, false}},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(roots.InReference(path), expected.first) << path;
    EXPECT_EQ(roots.InReference(path, true), expected.second) << path << " (or holds)";
  }
  EXPECT_FALSE(RootResolution::Of({tree.Folder("link")}).InReference(real + "/ref"));
}

// Three roots in this order: backup/ and inbox/ hold copies of a file in
// photos/, the reference, listed last; photos/ also holds a pair of its own.
struct ReferenceScan : test::ScannedTree {
  ReferenceScan() {
    tree.File("backup/a.jpg", "photo a");
    tree.File("inbox/a.jpg", "photo a");
    tree.File("photos/a.jpg", "photo a");
    tree.File("backup/b.jpg", "photo b");
    tree.File("inbox/b.jpg", "photo b");
    tree.File("photos/same1.txt", "twice in the reference");
    tree.File("photos/same2.txt", "twice in the reference");
    settings.folders = {tree.Folder("backup"), tree.Folder("inbox"), tree.Folder("photos")};
    settings.referenceFolders = {tree.Folder("photos")};
  }
};

TEST(ReferenceFolders, TheirCopiesAreNeverCheckedAndAreTheOnesKept) {
  ReferenceScan scan;
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  ResultList& files = scan.run.FileClones();
  // The group of reference copies alone is not listed; the reference copy,
  // not the first, is the one kept by default.
  const std::string keptReference = "backup/a.jpg* inbox/a.jpg* photos/a.jpgR | backup/b.jpg inbox/b.jpg* ";
  EXPECT_EQ(Marks(scan, files), keptReference);
  CheckAll(files);
  EXPECT_EQ(Marks(scan, files), "backup/a.jpg* inbox/a.jpg* photos/a.jpgR | backup/b.jpg* inbox/b.jpg* ");
  UncheckAll(files);
  CheckAllButOneInGroup(files);
  EXPECT_EQ(Marks(scan, files), keptReference);
  // Keep rules choose only where no reference copy is.
  CheckAllButKept(files, {KeepInFolder(scan.tree.Path("inbox")), {KeepRule::Kind::Newest, {}, {}}});
  EXPECT_EQ(Marks(scan, files), "backup/a.jpg* inbox/a.jpg* photos/a.jpgR | backup/b.jpg* inbox/b.jpg ");
  // Checked by hand: refused.
  for (std::size_t i = 0; i < files.Rows().size(); ++i) files.SetChecked(i, true);
  EXPECT_EQ(Marks(scan, files), "backup/a.jpg* inbox/a.jpg* photos/a.jpgR | backup/b.jpg* inbox/b.jpg* ");
}

TEST(ReferenceFolders, AFolderHoldingOneIsNeverCheckedOnTheFolderPage) {
  test::ScannedTree scan;
  for (const char* side : {"x", "y"}) {
    scan.tree.File(std::string(side) + "/sub/f.txt", "same");
    scan.tree.File(std::string(side) + "/g.txt", "same too");
  }
  scan.settings.fileClones = false;
  scan.settings.folderClones = true;
  scan.settings.referenceFolders = {scan.tree.Folder("y/sub")};
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  ResultList& folders = scan.run.FolderClones();
  CheckAll(folders);
  EXPECT_EQ(Marks(scan, folders), "x* yR | x/sub* y/subR ");
  UncheckAll(folders);
  CheckAllButOneInGroup(folders);
  EXPECT_EQ(Marks(scan, folders), "x* yR | x/sub* y/subR ");
}

// A mark that reached a reference copy anyway (a list built by other code)
// moves nothing: the removal names the reason, and the other copies still go.
TEST(ReferenceFolders, RemovalRefusesThemWithTheReason) {
  ReferenceScan scan;
  const test::TestTrash trash(scan.tree);
  ASSERT_EQ(scan.run.Run().kind, ScanOutcome::Kind::Done);
  ResultList& files = scan.run.FileClones();
  ResultList forced(ListKind::Files, {});
  forced.SetRoots(files.Roots());
  for (const ListGroup& group : files.Groups()) {
    std::vector<const FileRecord*> members;
    for (const ListRow& row : files.Rows()) {
      if (row.groupId == group.groupId) members.push_back(row.data);
    }
    AddListGroup(forced, group.groupId, 0, ".", members.size(),
                 [&](std::size_t i, ListRow& row) { row.data = members[i]; });
  }
  // Past SetChecked, which refuses a reference row, as faulty code could:
  // every copy of photo a checked, photo b keeps backup/b.jpg.
  for (const ListRow& row : forced.Rows()) {
    const_cast<ListRow&>(row).checked = scan.tree.Relative(row.data->FullPath()) != "backup/b.jpg";
  }
  const RemovalPlan plan = PlanRemoval(forced);
  const RemovalResult result = CarryOutRemoval(forced, plan, trash.Mover());
  ASSERT_EQ(result.stayed.size(), 1u);
  EXPECT_EQ(scan.tree.Relative(result.stayed[0].path), "photos/a.jpg");
  EXPECT_EQ(result.stayed[0].reason, "It is in a reference folder, or holds one.");
  EXPECT_TRUE(test::ReadFile(scan.tree.Path("photos/a.jpg")) == "photo a");
  EXPECT_EQ(result.moved.size(), 3u) << "backup/a.jpg, inbox/a.jpg, inbox/b.jpg";
}

}  // namespace
}  // namespace orvanta
