#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <new>
#include <thread>

#include "actions/list_rows.h"
#include "collect/collect_files.h"
#include "collect/folder_walk.h"
#include "core/paths.h"
#include "core/scan_context.h"
#include "core/worker_pool.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::RecordingWindow;
using test::TempTree;

class CollectFilesTest : public ::testing::Test, protected test::StageHarness {
 protected:
  std::vector<std::string> Collect() {
    files.clear();
    window.calls.clear();
    ScanContext scan = Context();
    CollectFiles(scan);
    std::vector<std::string> paths;
    for (const FileRecord& file : files) paths.push_back(file.FullPath());
    return paths;
  }
  std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempTree tree;
};

TEST_F(CollectFilesTest, SizeFiltersDropEmptyAndSmallFiles) {
  const auto exact = tree.FileOfSize("exact.bin", 1048576);
  tree.FileOfSize("below.bin", 1048575);
  tree.File("empty.txt", "");
  const auto small = tree.File("small.txt", "abc");
  settings.folders = {tree.Folder()};

  settings.minSizeMB = 0;
  EXPECT_EQ(Sorted(Collect()), Sorted({exact, tree.Path("below.bin"), small}));
  settings.minSizeMB = 1;
  EXPECT_EQ(Collect(), std::vector<std::string>{exact});
  EXPECT_EQ(files.front().size, 1048576);
  EXPECT_EQ(files.front().Name(), "exact.bin");
}

TEST_F(CollectFilesTest, MasksSelectNamesAndAMalformedMaskContributesNothing) {
  tree.File("a.txt", "1");
  tree.File("sub/b.TXT", "2");
  tree.File("c.txt.bak", "3");
  tree.File("noext", "4");
  settings.folders = {tree.Folder()};

  settings.masks = "*.txt";
  EXPECT_EQ(Sorted(Collect()), Sorted({tree.Path("a.txt"), tree.Path("sub/b.TXT")}));
  settings.masks = "[abc, noext";
  EXPECT_EQ(Collect(), std::vector<std::string>{tree.Path("noext")});
}

TEST_F(CollectFilesTest, WalksDepthFirstAndSkipsMissingFolders) {
  tree.File("d/one", "1");
  tree.File("d/two/three", "3");
  settings.folders = {tree.Folder("gone"), tree.Folder("d")};
  const auto paths = Collect();
  EXPECT_EQ(Sorted(paths), Sorted({tree.Path("d/one"), tree.Path("d/two/three")}));
  EXPECT_EQ(window.LastStatus(), "Found 2 files (after filters).");
  for (const auto& status : window.Statuses()) EXPECT_EQ(status.find("gone"), std::string::npos);
}

TEST_F(CollectFilesTest, TheFirstEveryFiftiethAndTheLastRegisteredFileAreShown) {
  for (int i = 0; i < 120; ++i) tree.File("f" + std::to_string(i), "x");
  settings.folders = {tree.Folder()};
  Collect();
  std::vector<std::string> shown = window.ShownStatuses();
  ASSERT_EQ(shown.size(), 7u);
  for (std::size_t i = 2; i < 6; ++i) {
    EXPECT_EQ(shown[i].rfind("Scanning: " + tree.Path("f"), 0), 0u) << shown[i];
    shown[i] = shown[i].substr(shown[i].rfind('('));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "Scanning folders...", "Scanning folder list: " + tree.Folder() + "   [*.*]", "(1/120)",
                       "(51/120)", "(101/120)", "(120/120)", "Found 120 files (after filters)."}));
  const auto range = std::find(window.calls.begin(), window.calls.end(), "range:0-120");
  const auto first = std::find_if(window.calls.begin(), window.calls.end(),
                                  [](const std::string& call) { return call.rfind("status:Scanning: ", 0) == 0; });
  EXPECT_LT(range, first) << "the bar's range is set before the first file shows";
  EXPECT_EQ(window.calls[window.calls.size() - 2], "pos:0");
}

TEST_F(CollectFilesTest, StopDuringTheWalkRegistersNothingOfThatPass) {
  tree.File("a", "1");
  tree.File("b", "2");
  settings.folders = {tree.Folder()};
  window.onPump = [this](int) {
    if (window.calls.size() >= 2 && window.calls[window.calls.size() - 2] == "marquee:on") stop = true;
  };
  EXPECT_TRUE(Collect().empty());
  EXPECT_EQ(window.LastStatus(), "Scanning cancelled. 0 files collected so far.");
}

// A stopped scan names what its walk found, though nothing of it is listed.
TEST_F(CollectFilesTest, TheStoppedStatusNamesWhatTheWalkFound) {
  tree.File("a", "1");
  tree.File("b/c", "2");
  const struct {
    std::string masks;
    const char* status;
  } cases[] = {
      {"*.*", "Scanning cancelled. 2 files collected so far."},
      {"a", "Scanning cancelled. 1 file collected so far."},
  };
  for (const auto& c : cases) {
    settings.folders = {tree.Folder()};
    settings.masks = c.masks;
    stop = false;
    // Stop once the walk is over, as its files are registered.
    window.onPump = [this](int) {
      if (window.LastStatus().rfind("Scanning: ", 0) == 0) stop = true;
    };
    Collect();
    EXPECT_EQ(window.LastStatus(), c.status) << c.masks;
  }
  settings.masks = "*.*";
  window.onPump = nullptr;
  stop = false;
  Collect();
  EXPECT_EQ(window.LastStatus(), "Found 2 files (after filters).");
  settings.masks = "a";
  Collect();
  EXPECT_EQ(window.LastStatus(), "Found 1 file (after filters).");
}

// --- Decisions that protect data ---

TEST_F(CollectFilesTest, LinksAreNeitherRegisteredNorEnteredAndLoopsEnd) {
  ORVANTA_SKIP_UNLESS_POSIX("links (Wine makes none)");
  const auto real = tree.File("data/real.txt", "content");
  tree.Symlink("data/link-to-file.txt", real);
  tree.Symlink("data/link-to-folder", tree.Path("data"));
  tree.Symlink("data/loop", "loop");
  tree.Symlink("data/dangling", tree.Path("nowhere"));
  settings.folders = {tree.Folder("data")};
  EXPECT_EQ(Collect(), std::vector<std::string>{real});
}

TEST_F(CollectFilesTest, SpecialFilesAreSkippedWithoutBlocking) {
  ORVANTA_SKIP_UNLESS_POSIX("FIFOs");
  tree.Fifo("pipe");
  const auto file = tree.File("file", "x");
  settings.folders = {tree.Folder()};
  auto result = std::async(std::launch::async, [this] { return Collect(); });
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "a FIFO blocked the scan";
  EXPECT_EQ(result.get(), std::vector<std::string>{file});
}

TEST_F(CollectFilesTest, AFileReachedTwiceIsRegisteredOnce) {
  const auto inner = tree.File("outer/inner/photo.jpg", "same bytes");
  tree.HardLink("outer/hardlink.jpg", inner);
  platform::FileAttributes attributes;
  if (!platform::QueryAttributes(inner, attributes) || !attributes.id.Known()) {
    // Wine on an overlay mount whose layers sit on other file systems gives
    // files no volume serial; the walk then tells files apart by path alone.
    GTEST_SKIP() << "this file system gives no file identity";
  }
  settings.folders = {tree.Folder("outer"), tree.Folder("outer/inner")};
  settings.masks = "*.jpg *.JPG *.*";
  const auto paths = Collect();
  ASSERT_EQ(paths.size(), 1u) << "overlapping folders, three masks and a hard link are one file";
}

// Registered files' identities live in their records only: the set must
// still find every one after it grows, beside identities it keeps itself,
// and forget those of records a stopped pass dropped.
TEST(ReachedFiles, FindsIdentitiesKeptInRecordsAndForgetsDroppedRecords) {
  FileRegistry files;
  ReachedFiles reached(files);
  auto id = [](std::uint64_t i) { return platform::FileId{7, i}; };
  auto reach = [&](std::uint64_t i) {
    // One file in three is not registered (empty, or outside the size limits).
    if (i % 3 == 0) return reached.FirstReach(id(i));
    const bool first = reached.FirstReach(id(i), files.size());
    if (first) files.Add("/f/" + std::to_string(i), 1, id(i));
    return first;
  };
  constexpr std::uint64_t kCount = 5000;  // several times the set's first size
  for (std::uint64_t i = 0; i < kCount; ++i) ASSERT_TRUE(reach(i)) << i;
  for (std::uint64_t i = 0; i < kCount; ++i) ASSERT_FALSE(reach(i)) << i;

  // A stopped pass drops its records; others take their places as the set grows.
  const std::size_t kept = files.size() / 2;
  std::vector<platform::FileId> dropped;
  for (std::size_t i = kept; i < files.size(); ++i) dropped.push_back(files[i].id);
  files.Truncate(kept);
  for (std::uint64_t i = kCount; i < 3 * kCount; ++i) ASSERT_TRUE(reach(i)) << i;
  for (const platform::FileId& gone : dropped) {
    ASSERT_TRUE(reached.FirstReach(gone, files.size())) << gone.inode << ": its record is gone";
    files.Add("/again/" + std::to_string(gone.inode), 1, gone);
  }
  for (std::uint64_t i = 0; i < 3 * kCount; ++i) ASSERT_FALSE(reach(i)) << i;
}

TEST_F(CollectFilesTest, NamesThatAreNotUtf8AreFoundWithTheirExactPath) {
  ORVANTA_SKIP_UNLESS_POSIX("Windows names are UTF-16, never bytes that are not UTF-8");
  const std::string name = "caf\xE9-\xFF.txt";
  const auto path = tree.File(name, "latin-1 name");
  settings.folders = {tree.Folder()};
  ASSERT_EQ(Collect(), std::vector<std::string>{path});
  EXPECT_EQ(files.front().Name(), name);
}

TEST_F(CollectFilesTest, AnUnreadableFolderContributesNothing) {
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every folder";
  tree.File("open/a", "1");
  tree.File("locked/b", "2");
  const test::Unreadable locked(tree.Path("locked"));
  settings.folders = {tree.Folder()};
  EXPECT_EQ(Collect(), std::vector<std::string>{tree.Path("open/a")});
}

// Keep rules need to know whose copy a record is and whether other users may
// put files beside it: the walk and the folder list record both.
TEST(CollectFiles, RecordsTheOwnerAndWhetherOtherUsersMayWriteTheFolder) {
  ORVANTA_SKIP_UNLESS_POSIX("owners and folder modes");
  test::ScannedTree scanned;
  test::TempTree& tree = scanned.tree;
  const std::pair<const char*, unsigned> folders[] = {
      {"own", 0755}, {"group", 0775}, {"open", 0757}, {"sticky", 01755}};
  for (const auto& [folder, mode] : folders) {
    tree.File(std::string(folder) + "/copy/a.txt", "a");
    ASSERT_EQ(::chmod(tree.Path(folder).c_str(), mode), 0);
  }
  scanned.settings.folderClones = true;
  scanned.run.Run();
  const std::uint32_t me = platform::CurrentUserId().value();
  std::map<std::string, bool> sharedOf;
  for (const FileRecord& file : scanned.run.Files()) {
    EXPECT_EQ(file.owner, me) << file.FullPath();
    sharedOf[tree.Relative(file.FullPath())] = file.inSharedFolder;
  }
  EXPECT_EQ(sharedOf, (std::map<std::string, bool>{{"own/copy/a.txt", false},
                                                   {"group/copy/a.txt", false},
                                                   {"open/copy/a.txt", false},
                                                   {"sticky/copy/a.txt", false}}));
  for (const ListRow& row : scanned.run.FolderClones().Rows()) {
    EXPECT_EQ(row.data->owner, me);
    sharedOf[tree.Relative(RowPath(row))] = row.data->inSharedFolder;
  }
  EXPECT_EQ(sharedOf["own/copy"], false);
  for (const char* shared : {"group/copy", "open/copy", "sticky/copy"}) EXPECT_EQ(sharedOf[shared], true) << shared;

  // Files directly in the shared folders.
  for (const auto& [folder, mode] : folders) tree.File(std::string(folder) + "/b.txt", "b");
  scanned.run.Run();
  for (const FileRecord& file : scanned.run.Files()) {
    const std::string relative = tree.Relative(file.FullPath());
    if (relative.find("/b.txt") != std::string::npos) {
      EXPECT_EQ(file.inSharedFolder, relative != "own/b.txt") << relative;
    }
  }
  for (const auto& [folder, mode] : folders) ::chmod(tree.Path(folder).c_str(), 0755);
}

TEST(WalkFiles, ADeepTreeIsWalkedInFullAndTheWalkResumesAfterIt) {
  // Two chains of 200 nested folders, a file at every fiftieth level: the walk
  // keeps one level per folder on its own stack and comes back up to the second
  // chain after the first. (Deeper chains take minutes under Wine.)
  TempTree tree;
  std::vector<std::string> expected;
  for (const std::string chain : {"p", "q"}) {
    std::string relative = chain;
    for (int depth = 1; depth <= 200; ++depth) {
      if (depth % 50 == 0) expected.push_back(tree.File(relative + "/f" + std::to_string(depth), "x"));
      relative += "/d";
    }
  }
  std::vector<std::string> found;
  WalkFiles(tree.Folder(), "*.*", [&found](const EnumeratedFile& file) { found.push_back(file.FullPath()); });
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

// The order a one-thread walk gives: depth first, each folder in the order
// the file system lists it.
void ListDepthFirst(const std::string& folder, std::vector<std::string>& out) {
  platform::FolderReader reader(folder);
  std::string_view name;
  platform::EntryKind kind;
  while (reader.Next(name, kind)) {
    const std::string path = JoinPath(folder, name);
    platform::FileAttributes attributes;
    ASSERT_TRUE(platform::QueryAttributes(path, attributes));
    if (attributes.kind == platform::EntryKind::Folder) {
      ListDepthFirst(path, out);
    } else {
      out.push_back(path);
    }
  }
}

TEST(WalkFiles, ThreadsListingFoldersGiveTheOrderOfAOneThreadWalk) {
  // Wide and deep enough that several threads list folders at once and finish
  // out of order; the files still come out in one-thread order.
  TempTree tree;
  for (int a = 0; a < 12; ++a) {
    for (int b = 0; b < 6; ++b) {
      const std::string folder = "t" + std::to_string(a) + "/u" + std::to_string(b);
      tree.File(folder + "/f", "x");
      if (b % 2 == 0) tree.File(folder + "/v/w/g" + std::to_string(b), "y");
    }
    tree.File("t" + std::to_string(a) + "/top", "z");
  }
  std::vector<std::string> expected;
  ListDepthFirst(tree.Folder(), expected);
  for (int run = 0; run < 5; ++run) {
    std::vector<std::string> found;
    WalkFiles(tree.Folder(), "*.*", [&found](const EnumeratedFile& file) { found.push_back(file.FullPath()); });
    ASSERT_EQ(found, expected) << "run " << run;
  }
}

TEST(WalkFiles, FailsForAMissingFolderOrMalformedMask) {
  TempTree tree;
  const auto nothing = [](const EnumeratedFile&) {};
  EXPECT_THROW(WalkFiles(tree.Folder("missing"), "*.*", nothing), std::exception);
  EXPECT_THROW(WalkFiles(tree.Folder(), "[x", nothing), std::exception);
}

// The pool under the walk and the hashing: a job that throws (out of memory)
// must not end the program, and must not leave its siblings running.
TEST(WorkerPool, AJobThatThrowsStopsTheOthersAndJoinRethrowsOnTheOwnersThread) {
  WorkerPool pool;
  std::atomic<int> started{0};
  std::atomic<int> stoppedEarly{0};
  pool.Add(4, [&] {
    if (started++ == 0) throw std::bad_alloc();
    // The others would run for a minute unless told to stop.
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!pool.Stopping() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (pool.Stopping()) ++stoppedEarly;
  });
  const auto before = std::chrono::steady_clock::now();
  EXPECT_THROW(pool.Join(), std::bad_alloc);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
  EXPECT_EQ(stoppedEarly, 3);

  // Joined, the pool is empty and runs new jobs.
  EXPECT_EQ(pool.Count(), 0);
  EXPECT_FALSE(pool.Stopping());
  std::atomic<int> ran{0};
  pool.Add(3, [&] { ++ran; });
  while (!pool.AllFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_NO_THROW(pool.Join());
  EXPECT_EQ(ran, 3);
}

TEST(Paths, NamesFoldersAndJoins) {
  ORVANTA_SKIP_UNLESS_POSIX("\"/\" path text (the Windows rules have their own tests)");
  EXPECT_EQ(ExtractFileName("/a/b:c.txt"), "b:c.txt");
  EXPECT_EQ(ExtractFileDir("/a/b.txt"), "/a");
  EXPECT_EQ(ExtractFileDir("/b.txt"), "/");
  EXPECT_EQ(JoinPath("/", "x"), "/x");
  EXPECT_EQ(JoinPath("/a/", "x"), "/a/x");
  EXPECT_EQ(JoinPath("/a", "x"), "/a/x");
  EXPECT_EQ(NormalizeFolderPath("  /usr/../usr/share  "), "/usr/share/");
  EXPECT_EQ(NormalizeFolderPath("/"), "/");
  EXPECT_EQ(NormalizeFolderPath(" \t"), "");
}

}  // namespace
}  // namespace orvanta
