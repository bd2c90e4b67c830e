#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "core/scan_context.h"
#include "fileclones/content_hashing.h"
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
  std::array<unsigned char, Sha1Digest::kSize> digest;
  return sha1.Finish(digest) ? Sha1Digest(digest).Hex() : std::string("SHA-1 failed");
}

class FolderClonesTest : public ::testing::Test, protected test::StageHarness {
 protected:
  void Run(std::vector<std::string> roots) {
    settings.folders = std::move(roots);
    ScanContext scan = Context();
    scan.unreadableFiles = &unreadable;
    scan.changedFiles = &changed;
    // As the scan run hashes them: the files of folders that may be clones.
    FindDirectoryDuplicates(scan, [&scan](const std::vector<FileRecord*>& files) { HashEveryFile(scan, files); });
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
  std::vector<std::string> unreadable;
  std::vector<std::string> changed;
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
  // Content mode: the files of the folders that may be clones are hashed in between.
  auto next = statuses.begin() + 3;
  while (next != statuses.end() && next->rfind("Computing SHA-1 hashes (size filtered)...", 0) == 0) ++next;
  ASSERT_NE(next, statuses.end());
  EXPECT_EQ(*next, "Grouping duplicate directories...");
  ASSERT_NE(next + 1, statuses.end());
  EXPECT_EQ(next[1], "Listing directory groups...");
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
  // By name and kind in the modes that compare no contents; in Content mode
  // with the link's target text and the special file's type as well.
  settings.compare = CompareMode::NameAndSize;
  FolderSignatures folders = Sign({tree.Folder()});
  for (const auto& key : folders.allFolders) EXPECT_EQ(key.find("loop"), std::string::npos) << key;
  EXPECT_EQ(Signature(folders, "real"), Sha1Of("F|f|5\r\nL|loop\r\n"));
  EXPECT_EQ(Signature(folders, "withfifo"), Sha1Of("S|pipe\r\n"));
  EXPECT_EQ(folders.allFolders.size(), 6u);
  settings.compare = CompareMode::Content;
  folders = Sign({tree.Folder()});
  EXPECT_EQ(Signature(folders, "real"), Sha1Of("F|f|5\r\nL|loop|" + tree.Path("real") + "\r\n"));
  EXPECT_EQ(Signature(folders, "withfifo"), Sha1Of("S|pipe|fifo\r\n"));

  // A folder holding only a link, or only a FIFO, is no clone of an empty
  // folder: trashing it would take the link or the FIFO along.
  Run({tree.Folder()});
  for (const auto& group : Listed()) {
    EXPECT_EQ(std::count(group.begin(), group.end(), "empty"), 0) << group.front();
  }
}

#ifndef _WIN32
// Links, FIFOs, sockets and devices: POSIX only.

// A socket at the path; false when the system makes none there.
bool MakeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

// Two folders P and Q that agree in names, sizes and kinds of entry but not in
// what one entry holds: clones in no mode that compares contents, and in the
// other modes listed with a header that says what matched.
TEST_F(FolderClonesTest, InContentModeFoldersThatDifferInsideAreNoClones) {
  std::string photo(3 * 1024 * 1024, 'p');
  struct Case {
    const char* what;
    std::function<bool(const std::string& folder, bool other)> make;  // false: cannot be made here
  };
  const Case cases[] = {
      {"links to other targets",
       [&](const std::string& folder, bool other) {
         tree.Symlink(folder + "/current", other ? "v2" : "v1");
         return true;
       }},
      {"a FIFO and a socket of one name",
       [&](const std::string& folder, bool other) {
         if (!other) return !tree.Fifo(folder + "/node").empty();
         tree.Dir(folder);
         return MakeSocket(tree.Path(folder + "/node"));
       }},
      {"device nodes 1,3 and 1,5 (root only)",
       [&](const std::string& folder, bool other) {
         tree.Dir(folder);
         return ::mknod(tree.Path(folder + "/dev").c_str(), S_IFCHR | 0600, ::makedev(1, other ? 5 : 3)) == 0;
       }},
      {"a photo differing at byte 5,001",
       [&](const std::string& folder, bool other) {
         std::string bytes = photo;
         if (other) bytes[5000] = 'X';
         tree.File(folder + "/photo.jpg", bytes);
         tree.File(folder + "/notes.txt", "same small file");
         return true;
       }},
      {"small files of one size, other bytes",
       [&](const std::string& folder, bool other) {
         tree.File(folder + "/a.txt", other ? "bbbb" : "aaaa");
         return true;
       }},
      {"a name that holds entry delimiters",
       [&](const std::string& folder, bool other) {
         // One file whose name reads like two entries, against those two files.
         if (other) {
           tree.File(folder + "/a", "1");
           tree.File(folder + "/b", "22");
         } else {
           tree.File(folder + "/a|1\r\nF|b", "22");
         }
         return true;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(tree.Path("case"));
    if (!c.make("case/P", false) || !c.make("case/Q", true)) {
      EXPECT_TRUE(std::string(c.what).find("root only") != std::string::npos && !test::RunningAsRoot());
      continue;
    }
    for (const CompareMode mode : {CompareMode::Content, CompareMode::Size}) {
      settings.compare = mode;
      files.clear();
      Run({tree.Folder("case")});
      const bool delimiters = std::string(c.what).find("delimiters") != std::string::npos;
      if (mode == CompareMode::Content || delimiters) {
        EXPECT_EQ(Listed(), Groups{}) << (mode == CompareMode::Content ? "content" : "size");
        continue;
      }
      EXPECT_EQ(Listed(), (Groups{{"case/P", "case/Q"}}));
      ASSERT_EQ(folderClones.Groups().size(), 1u);
      EXPECT_EQ(folderClones.Groups()[0].header.substr(folderClones.Groups()[0].header.find(')')),
                "): names and sizes match, contents not compared");
    }
  }
  settings.compare = CompareMode::Content;
}
#endif

// What Content mode still finds: equal trees whatever the sizes of their
// files (most below the scan's minimum size, so never hashed by the file
// clone run), links to one target, FIFOs, empty files and a file that is a
// hard link of its twin; with the header Content mode always had.
TEST_F(FolderClonesTest, InContentModeEqualTreesStayClones) {
  ORVANTA_SKIP_UNLESS_POSIX("links and FIFOs");
  for (const char* root : {"P", "Q"}) {
    const std::string r = root;
    tree.File(r + "/photo.jpg", std::string(600 * 1024, 'p'));
    tree.File(r + "/sub/a.txt", "alpha");
    tree.File(r + "/sub/empty", "");
    tree.Symlink(r + "/current", "v1");
    tree.Fifo(r + "/pipe");
  }
  tree.File("P/shared.bin", "one inode, two names");
  tree.HardLink("Q/shared.bin", tree.Path("P/shared.bin"));
  Run({tree.Folder()});
  EXPECT_EQ(Listed(), (Groups{{"P", "Q"}, {"P/sub", "Q/sub"}}));
  ASSERT_FALSE(folderClones.Groups().empty());
  EXPECT_EQ(folderClones.Groups()[0].header, "Group 1 (1.17 MB)");
  EXPECT_TRUE(unreadable.empty());
  EXPECT_TRUE(changed.empty());
}

// The whole run, as the command line and the window make it: the file clone
// run hashes only the files of at least the minimum size whose size another
// shares, and the folder clone run takes those digests and hashes the rest
// of what it compares.
TEST(ContentFolderScan, APhotoDifferingAtOneByteSplitsTheFolders) {
  test::ScannedTree scanned;
  auto& [tree, window, settings, run] = scanned;
  settings.minSizeMB = 1;
  settings.folderClones = true;
  std::string photo(3 * 1024 * 1024, 'p');
  for (const char* root : {"Photos", "Backup/Photos (2)", "Backup/Photos (3)"}) {
    const std::string r = root;
    tree.File(r + "/2021/beach.jpg", photo);
    tree.File(r + "/2021/notes.txt", "small, never collected");
  }
  photo[5000] = 'X';
  tree.File("Backup/Photos (3)/2021/beach.jpg", photo);
  run.Run();
  std::vector<std::string> listed;
  for (const ListRow& row : run.FolderClones().Rows()) listed.push_back(tree.Relative(row.data->FullPath()));
  EXPECT_EQ(listed, (std::vector<std::string>{"Backup/Photos (2)/2021", "Photos/2021", "Backup/Photos (2)", "Photos"}));
}

// A file whose bytes cannot be read leaves its folder's contents unknown:
// no clone, and the file is named once, though both runs tried to read it.
TEST(ContentFolderScan, AFolderHoldingAnUnreadableFileIsNoClone) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every file";
  test::ScannedTree scanned;
  auto& [tree, window, settings, run] = scanned;
  settings.folderClones = true;
  const std::string locked = tree.File("P/a.txt", "same");
  tree.File("Q/a.txt", "same");
  tree.File("P/b.txt", "also");
  tree.File("Q/b.txt", "also");
  const test::Unreadable held(locked);
  run.Run();
  EXPECT_TRUE(run.FolderClones().Rows().empty());
  EXPECT_EQ(run.UnreadableFiles(), std::vector<std::string>{locked});
}

// While the system's SHA-1 fails, no digest is made up (an all-zero one would
// group unrelated files and folders): every file that needed one is named
// unreadable, no folder is a clone, and the next run, the failure over, is whole.
TEST(ContentFolderScan, AFailingSha1LeavesFilesUnhashedAndNamedAndFoldersUngrouped) {
  struct FailingSha1 {
    FailingSha1() { platform::Sha1::FailForTesting(true); }
    ~FailingSha1() { platform::Sha1::FailForTesting(false); }
  };
  for (const bool failing : {true, false}) {
    test::ScannedTree scanned;
    auto& [tree, window, settings, run] = scanned;
    settings.folderClones = true;
    const std::string a = tree.File("P/a.txt", "same"), b = tree.File("Q/a.txt", "same");
    const std::string c = tree.File("P/c.txt", "else"), d = tree.File("Q/c.txt", "else");
    {
      std::optional<FailingSha1> fault;
      if (failing) fault.emplace();
      run.Run();
    }
    std::vector<std::string> unreadable = run.UnreadableFiles();
    std::sort(unreadable.begin(), unreadable.end());
    if (failing) {
      EXPECT_TRUE(run.FileClones().Rows().empty());
      EXPECT_TRUE(run.FolderClones().Rows().empty());
      EXPECT_EQ(unreadable, (std::vector<std::string>{a, c, b, d}));
    } else {
      EXPECT_EQ(run.FileClones().Rows().size(), 4u) << "two groups of two";
      EXPECT_FALSE(run.FolderClones().Rows().empty());
      EXPECT_TRUE(unreadable.empty());
    }
  }
}

// Differential check against a plain tree comparison: random trees with
// copies that differ in one detail; every group listed in Content mode must
// hold folders whose trees are equal entry by entry, byte by byte.
TEST_F(FolderClonesTest, EveryContentGroupHoldsEqualTrees) {
  ORVANTA_SKIP_UNLESS_POSIX("links");
  std::mt19937 random(2212);
  const std::vector<std::string> names = {"a.txt", "B.txt", "c.bin", "link", "d"};
  std::function<void(const std::string&, int)> grow = [&](const std::string& folder, int depth) {
    tree.Dir(folder);
    for (const std::string& name : names) {
      const unsigned pick = random() % 5;
      if (pick == 0) continue;
      if (name == "link") {
        tree.Symlink(folder + "/" + name, pick % 2 ? "t1" : "t2");
      } else if (name == "d") {
        if (depth < 2) grow(folder + "/" + name, depth + 1);
      } else {
        tree.File(folder + "/" + name, std::string(pick * 7, static_cast<char>('a' + pick % 2)));
      }
    }
  };
  for (int i = 0; i < 6; ++i) grow("seed" + std::to_string(i), 0);
  // Copies, some with one byte changed in one file.
  std::vector<std::string> folders;
  for (int i = 0; i < 6; ++i) {
    for (int copy = 0; copy < 3; ++copy) {
      const std::string target = "copy" + std::to_string(i) + "_" + std::to_string(copy);
      std::filesystem::copy(tree.Path("seed" + std::to_string(i)), tree.Path(target),
                            std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
      if (copy == 2) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Path(target))) {
          if (entry.is_symlink() || !entry.is_regular_file()) continue;
          std::fstream file(entry.path(), std::ios::in | std::ios::out | std::ios::binary);
          file.put('Z');
          break;
        }
      }
    }
  }
  // The oracle: entries by lower-cased name, each the same kind with the same bytes or target.
  std::function<bool(const std::filesystem::path&, const std::filesystem::path&)> same =
      [&](const std::filesystem::path& a, const std::filesystem::path& b) {
        auto entries = [](const std::filesystem::path& folder) {
          std::map<std::string, std::filesystem::path> byName;
          for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            byName[platform::LowerCase(entry.path().filename().string())] = entry.path();
          }
          return byName;
        };
        const auto left = entries(a), right = entries(b);
        if (left.size() != right.size()) return false;
        for (const auto& [name, path] : left) {
          const auto other = right.find(name);
          if (other == right.end()) return false;
          const auto type = std::filesystem::symlink_status(path).type();
          if (type != std::filesystem::symlink_status(other->second).type()) return false;
          if (type == std::filesystem::file_type::symlink) {
            if (std::filesystem::read_symlink(path) != std::filesystem::read_symlink(other->second)) return false;
          } else if (type == std::filesystem::file_type::directory) {
            if (!same(path, other->second)) return false;
          } else if (test::ReadFile(path.string()) != test::ReadFile(other->second.string())) {
            return false;
          }
        }
        return true;
      };
  Run({tree.Folder()});
  const Groups groups = Listed();
  EXPECT_FALSE(groups.empty());
  for (const auto& group : groups) {
    for (const std::string& member : group) {
      EXPECT_TRUE(same(tree.Path(group.front()), tree.Path(member))) << group.front() << " vs " << member;
    }
  }
  // And the other way: a seed and its untouched copies are listed together.
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    const bool together = std::any_of(groups.begin(), groups.end(), [&](const auto& group) {
      return std::all_of(group.begin(), group.end(), [&](const std::string&) { return true; }) &&
             std::count(group.begin(), group.end(), "seed" + n) +
                     std::count(group.begin(), group.end(), "copy" + n + "_0") +
                     std::count(group.begin(), group.end(), "copy" + n + "_1") ==
                 3;
    });
    EXPECT_TRUE(together) << "seed" << n;
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
