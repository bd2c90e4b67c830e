#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/scan_context.h"
#include "folderclones/folder_grouping.h"
#include "folderclones/folder_signatures.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::TempTree;
using Groups = std::vector<std::vector<std::string>>;

std::string Sha1Of(const std::string& text) {
  platform::Sha1 sha1;
  sha1.Update(text.data(), text.size());
  return Sha1Digest(sha1.Finish()).Hex();
}

class FolderClonesTest : public ::testing::Test, protected test::StageHarness {
 protected:
  void Run(std::vector<std::string> roots) {
    settings.folders = std::move(roots);
    ScanContext scan = Context();
    FindDirectoryDuplicates(scan);
  }
  // Signatures of every folder below the roots, as the analysis leaves them.
  FolderSignatures Sign(std::vector<std::string> roots) {
    settings.folders = std::move(roots);
    ScanContext scan = Context();
    FolderSignatures folders;
    EXPECT_TRUE(CollectDirectories(scan, folders));
    EXPECT_TRUE(AnalyzeDirectories(scan, folders));
    return folders;
  }
  std::string Signature(const FolderSignatures& folders, const std::string& relative) {
    return folders.signatureOf.at(tree.Path(relative)).Hex();
  }
  // Listed groups as member paths relative to the tree.
  Groups Listed() const {
    Groups groups;
    int current = 0;
    for (const ListRow& row : folderClones.Rows()) {
      if (row.groupId != current) {
        groups.emplace_back();
        current = row.groupId;
      }
      groups.back().push_back(tree.Relative(folderClones.CellText(row, 0)));
    }
    return groups;
  }
  void TwoCopies(const std::string& a, const std::string& b) {
    for (const auto& root : {a, b}) {
      tree.FileOfSize(root + "/a.txt", 10);
      tree.FileOfSize(root + "/x/b.bin", 3);
    }
  }

  TempTree tree;
};

TEST_F(FolderClonesTest, SignaturesAreTheDigestOfSortedEntryLines) {
  TwoCopies("A", "B");
  const FolderSignatures folders = Sign({tree.Folder()});
  const std::string x = Sha1Of("F|b.bin|3\r\n");
  EXPECT_EQ(Signature(folders, "A/x"), x);
  EXPECT_EQ(Signature(folders, "A"), Sha1Of("D|x|" + x + "|3\r\nF|a.txt|10\r\n"));
  EXPECT_EQ(Signature(folders, "A"), Signature(folders, "B"));
  EXPECT_EQ(folders.sizeOf.at(tree.Path("A")), 13);
  EXPECT_EQ(folders.allFolders.size(), 5u);
}

TEST_F(FolderClonesTest, TwoCopiesGiveTwoGroupsLargestFirstWithUncheckedRows) {
  TwoCopies("B", "A");
  Run({tree.Folder()});
  EXPECT_EQ(Listed(), (Groups{{"A", "B"}, {"A/x", "B/x"}}));
  ASSERT_EQ(folderClones.Groups().size(), 2u);
  EXPECT_EQ(folderClones.Groups()[0].header, "Group 1 (0.00 MB)");
  for (const ListRow& row : folderClones.Rows()) {
    EXPECT_FALSE(row.checked);
    ASSERT_NE(row.data, nullptr) << "a folder row carries the folder's record";
    EXPECT_EQ(row.data->FullPath(), folderClones.CellText(row, 0));
  }
  EXPECT_EQ(folderClones.Rows()[2].caption, "2");
  EXPECT_EQ(window.LastStatus(), "Duplicate directory groups listed.");
  const auto statuses = window.Statuses();
  EXPECT_EQ(statuses.front(), "Collecting directories: " + tree.Folder());
  EXPECT_EQ(statuses[1], "Analyzing directories (0/5)...");
  EXPECT_EQ(statuses[2], "Analyzing directories (5/5)...");
  EXPECT_EQ(statuses[3], "Grouping duplicate directories...");
  EXPECT_EQ(statuses[4], "Listing directory groups...");
}

TEST_F(FolderClonesTest, NamesCompareIgnoringCaseAndAnyChangeReachesEveryAncestor) {
  tree.FileOfSize("A/sub/deep/NOTES.TXT", 7);
  tree.FileOfSize("B/sub/deep/notes.txt", 7);
  tree.FileOfSize("C/sub/deep/notes.txt", 8);   // grown by one byte
  tree.FileOfSize("D/sub/deep/notes2.txt", 7);  // renamed
  const FolderSignatures folders = Sign({tree.Folder()});
  for (const std::string level : {"", "/sub", "/sub/deep"}) {
    EXPECT_EQ(Signature(folders, "A" + level), Signature(folders, "B" + level)) << level;
    EXPECT_NE(Signature(folders, "A" + level), Signature(folders, "C" + level)) << level;
    EXPECT_NE(Signature(folders, "A" + level), Signature(folders, "D" + level)) << level;
  }
}

TEST_F(FolderClonesTest, NamesDifferingOnlyInCaseInOneFolderAreTwoFiles) {
  ORVANTA_SKIP_UNLESS_POSIX("Windows names ignore case");
  tree.FileOfSize("two/Data.bin", 4);
  tree.FileOfSize("two/data.bin", 4);
  tree.FileOfSize("one/data.bin", 4);
  const FolderSignatures folders = Sign({tree.Folder()});
  EXPECT_NE(Signature(folders, "two"), Signature(folders, "one"));
}

TEST_F(FolderClonesTest, EmptyFoldersShareOneSignatureAndSortLast) {
  tree.Dir("e1");
  tree.Dir("e2");
  tree.Dir("e3");
  TwoCopies("A", "B");
  Run({tree.Folder()});
  const Groups listed = Listed();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed.back(), (std::vector<std::string>{"e1", "e2", "e3"}));
  EXPECT_EQ(folderClones.Groups().back().header, "Group 3 (0.00 MB)");
  EXPECT_EQ(folderClones.CellText(folderClones.Rows().back(), 1), "0.00 MB");
  EXPECT_EQ(Signature(Sign({tree.Folder()}), "e1"), Sha1Of(""));
}

TEST_F(FolderClonesTest, MinimumGroupSizeAndMaxGroups) {
  for (int i = 1; i <= 12; ++i) {
    tree.FileOfSize("p" + std::to_string(i) + "/f", static_cast<std::size_t>(i * 100));
    tree.FileOfSize("q" + std::to_string(i) + "/f", static_cast<std::size_t>(i * 100));
  }
  tree.FileOfSize("r12/f", 1200);
  settings.maxGroups = 5;
  Run({tree.Folder()});
  const Groups listed = Listed();
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[0], (std::vector<std::string>{"p12", "q12", "r12"}));
  EXPECT_EQ(listed[4], (std::vector<std::string>{"p8", "q8"}));
  EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), "range:0-5"), window.calls.end());

  settings.maxGroups = 0;
  settings.minGroupSize = 3;
  Run({tree.Folder()});
  EXPECT_EQ(Listed(), (Groups{{"p12", "q12", "r12"}}));
}

TEST_F(FolderClonesTest, RowsFollowPathOrderIgnoringAsciiCase) {
  for (const char* name : {"b", "C", "a", "D"}) tree.FileOfSize(std::string(name) + "/f", 5);
  Run({tree.Folder()});
  EXPECT_EQ(Listed(), (Groups{{"a", "b", "C", "D"}}));
}

TEST_F(FolderClonesTest, StopDuringAnalysisLeavesTheListEmpty) {
  for (int i = 0; i < 30; ++i) tree.FileOfSize("d" + std::to_string(i) + "/f", 5);
  window.onStatus = [this](const std::string& text) {
    if (text == "Analyzing directories (20/31)...") stop = true;
  };
  Run({tree.Folder()});
  EXPECT_TRUE(folderClones.Rows().empty());
  EXPECT_EQ(window.LastStatus(), "Analyzing directories (20/31)...");
  EXPECT_FALSE(folderClones.Updating());
}

TEST(HasKeptAncestor, LooksAtProperAncestorsOnly) {
  ORVANTA_SKIP_UNLESS_POSIX("\"/\" path text (the Windows rules have their own tests)");
  const std::unordered_set<std::string> kept = {"/a/b", "/"};
  EXPECT_TRUE(HasKeptAncestor("/a/b/c", kept));
  EXPECT_TRUE(HasKeptAncestor("/a/b/c/d", kept));
  EXPECT_FALSE(HasKeptAncestor("/a/b", {"/a/b"})) << "a key equal to a kept key is not its own ancestor";
  EXPECT_FALSE(HasKeptAncestor("/a/bc", {"/a/b"}));
  EXPECT_TRUE(HasKeptAncestor("/x", {"/"}));
  EXPECT_FALSE(HasKeptAncestor("/", {"/"}));
}

TEST_F(FolderClonesTest, NestedMembersOfOneGroupAreDropped) {
  FolderSignatures folders;
  folders.signatureGroups.push_back({Sha1Digest(std::string(40, 'a')), {"/m/b/inner", "/m/B", "/m/b", "/m/c"}});
  folders.sizeOf = {{"/m/b", 5}, {"/m/B", 5}, {"/m/c", 5}, {"/m/b/inner", 5}};
  ScanContext scan = Context();
  const auto groups = GroupDirectories(scan, folders);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].members, (std::vector<std::string>{"/m/B", "/m/b", "/m/c"})) << "ties keep analysis order";
  EXPECT_EQ(groups[0].totalSize, 15);
}

TEST(NormalizeDir, KeysHaveNoTrailingDelimiterButTheRoot) {
  ORVANTA_SKIP_UNLESS_POSIX("\"/\" path text (the Windows rules have their own tests)");
  EXPECT_EQ(NormalizeDir("/usr/share/"), "/usr/share");
  EXPECT_EQ(NormalizeDir("/usr/../usr/"), "/usr");
  EXPECT_EQ(NormalizeDir("/"), "/");
  EXPECT_EQ(DirEntryName("/usr/Share"), "share");
  EXPECT_EQ(DirEntryName("/"), "/");
}

// --- Decisions that protect data ---

TEST_F(FolderClonesTest, LinksAndSpecialFilesCountByNameAndKindAndAreNeverWalked) {
  ORVANTA_SKIP_UNLESS_POSIX("links and FIFOs (Wine makes no links)");
  tree.FileOfSize("real/f", 5);
  tree.Symlink("real/loop", tree.Path("real"));
  tree.Symlink("withlink/elsewhere", tree.Path("real"));
  tree.FileOfSize("withlink/f", 5);
  tree.Fifo("withfifo/pipe");
  tree.Dir("empty");
  tree.Symlink("onlylink/f", tree.Path("real/f"));
  const FolderSignatures folders = Sign({tree.Folder()});
  for (const auto& key : folders.allFolders) EXPECT_EQ(key.find("loop"), std::string::npos) << key;
  EXPECT_EQ(Signature(folders, "real"), Sha1Of("F|f|5\r\nL|loop\r\n"));
  EXPECT_EQ(Signature(folders, "withfifo"), Sha1Of("S|pipe\r\n"));
  EXPECT_EQ(folders.allFolders.size(), 6u);

  // A folder holding only a link, or only a FIFO, is no clone of an empty
  // folder: trashing it would take the link or the FIFO along.
  Run({tree.Folder()});
  for (const auto& group : Listed()) {
    EXPECT_EQ(std::count(group.begin(), group.end(), "empty"), 0) << group.front();
  }
}

TEST_F(FolderClonesTest, ARootThatIsALinkToAFolderIsScannedUnderItsOwnName) {
  ORVANTA_SKIP_UNLESS_POSIX("links (Wine makes none)");
  TwoCopies("data/A", "data/B");
  tree.Symlink("linked", tree.Path("data"));
  Run({tree.Folder("linked")});
  EXPECT_EQ(Listed(), (Groups{{"linked/A", "linked/B"}, {"linked/A/x", "linked/B/x"}}));
}

TEST_F(FolderClonesTest, TotalsOfHugeFoldersDoNotOverflow) {
  FolderSignatures folders;
  const Sha1Digest same(std::string(40, 'a'));
  folders.signatureGroups = {{same, {"/m/a", "/m/b"}}};
  folders.sizeOf = {{"/m/a", INT64_MAX / 4 * 3}, {"/m/b", INT64_MAX / 4 * 3}};
  ScanContext scan = Context();
  const auto groups = GroupDirectories(scan, folders);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].totalSize, INT64_MAX);
}

TEST_F(FolderClonesTest, OverlappingRootsCollectEachFolderOnce) {
  TwoCopies("A", "B");
  Run({tree.Folder("A"), tree.Folder(), tree.Folder("A/x")});
  EXPECT_EQ(Listed(), (Groups{{"A", "B"}, {"A/x", "B/x"}}));
  const FolderSignatures folders = Sign({tree.Folder("A"), tree.Folder(), tree.Folder("A/x")});
  EXPECT_EQ(folders.allFolders.size(), 5u);
}

TEST_F(FolderClonesTest, UnreadableFoldersAreNeverClones) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every folder; see the removed-folder test";
  tree.Dir("empty1");
  tree.Dir("empty2");
  tree.FileOfSize("p/locked/secret", 9);
  tree.FileOfSize("q/locked/secret", 9);
  const test::Unreadable p(tree.Path("p/locked")), q(tree.Path("q/locked"));
  Run({tree.Folder()});
  EXPECT_EQ(Listed(), (Groups{{"empty1", "empty2"}}));
}

TEST_F(FolderClonesTest, FoldersThatVanishBeforeTheirAnalysisAreNeverClones) {
  TwoCopies("A", "B");
  tree.FileOfSize("A/x/y/z", 4);
  tree.FileOfSize("B/x/y/z", 4);
  window.onStatus = [this](const std::string& text) {
    if (text.rfind("Analyzing directories (0/", 0) == 0) {
      std::filesystem::remove_all(tree.Path("A/x/y"));
      std::filesystem::remove_all(tree.Path("B/x/y"));
    }
  };
  Run({tree.Folder()});
  // A/x and B/x now hold only b.bin: equal as they are; the vanished y folders are in no group.
  EXPECT_EQ(Listed(), (Groups{{"A", "B"}, {"A/x", "B/x"}}));
}

}  // namespace
}  // namespace orvanta
