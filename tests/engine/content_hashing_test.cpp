#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>

#include "core/scan_context.h"
#include "scan/scan_run.h"
#include "fileclones/content_hashing.h"
#include "fileclones/file_grouping.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::TempTree;

// Bytes 'a' to 'z' repeated; with `last` in place of the final byte when given.
std::string Pattern(std::size_t size, char last = '\0') {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('a' + i % 26));
  if (last != '\0') text.back() = last;
  return text;
}

TEST(HashFileSHA1, KnownDigests) {
  TempTree tree;
  const std::string large = Pattern(3 * 1024 * 1024 + 17);
  const std::pair<std::string, const char*> cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      // 3 MiB + 17 bytes: several buffers and a short tail
      {large, "e8d26d8d71700c50508193bfcf880a941ad39fc7"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto path = tree.File("f" + std::to_string(i), cases[i].first);
    EXPECT_EQ(HashFileSHA1(path), cases[i].second) << cases[i].first.size() << " bytes";
  }
}

TEST(HashFileSHA1, EmptyForNothingOrAFolderAndAnErrorForAnUnopenableFile) {
  TempTree tree;
  EXPECT_EQ(HashFileSHA1(tree.Path("missing")), "");
  EXPECT_EQ(HashFileSHA1(tree.Dir("folder")), "");
#ifndef _WIN32
  EXPECT_EQ(HashFileSHA1(tree.Fifo("pipe")), "") << "a FIFO is not read";
#endif
  if (test::RunningAsRoot()) return;
  const auto locked = tree.File("locked", "secret");
  const test::Unreadable held(locked);
  EXPECT_THROW(HashFileSHA1(locked), std::runtime_error);
}

class ComputeAllHashesTest : public ::testing::TestWithParam<bool>, protected test::StageHarness {
 protected:
  FileRecord& Add(const std::string& relative, const std::string& content) {
    return files.AddFromDisk(tree.File(relative, content));
  }
  void Hash(bool group = false) {
    settings.parallel = GetParam();
    ScanContext scan = Context();
    scan.unreadableFiles = &unreadable;
    ComputeAllHashes(scan);
    if (group) FindFileDuplicates(scan);
  }

  TempTree tree;
  std::vector<std::string> unreadable;
};

TEST_P(ComputeAllHashesTest, HashesOnlyFilesThatShareAPositiveSize) {
  FileRecord& a = Add("a", "same!");
  FileRecord& b = Add("b", "same!");
  FileRecord& c = Add("c", "diff!");
  FileRecord& unique = Add("unique", "only one of this size");
  files.Add(tree.Path("gone1"), -1);
  files.Add(tree.Path("gone2"), -1);
  Hash();
  EXPECT_EQ(a.contentHash.Hex().size(), 40u);
  EXPECT_EQ(a.contentHash, b.contentHash);
  EXPECT_NE(a.contentHash, c.contentHash);
  EXPECT_EQ(unique.contentHash, "");
  EXPECT_EQ(files[4].contentHash, "");
  EXPECT_EQ(files[5].contentHash, "");
  EXPECT_EQ(window.calls.back(), "pos:0");
}

TEST_P(ComputeAllHashesTest, VanishedAndUnreadableFilesStayUnhashedAndTheRestGoesOn) {
  FileRecord& vanished = Add("vanished", "12345");
  FileRecord& kept1 = Add("kept1", "12345");
  FileRecord& kept2 = Add("kept2", "12345");
  std::filesystem::remove(vanished.FullPath());
  FileRecord* locked = nullptr;
  std::optional<test::Unreadable> held;
  if (!test::RunningAsRoot()) {
    locked = &Add("locked", "12345");
    held.emplace(locked->FullPath());
  }
  Hash();
  EXPECT_EQ(vanished.contentHash, "");
  EXPECT_NE(kept1.contentHash, "");
  EXPECT_EQ(kept1.contentHash, kept2.contentHash);
  if (locked != nullptr) {
    EXPECT_EQ(locked->contentHash, "");
    EXPECT_EQ(unreadable, std::vector<std::string>{locked->FullPath()}) << "a vanished file is not unreadable";
    EXPECT_EQ(window.LastStatus(), "1 files could not be read.");
  } else {
    EXPECT_TRUE(unreadable.empty());
  }
}

TEST_P(ComputeAllHashesTest, AFileThatFailsOnlyWhenComparedIsCountedUnreadable) {
  // Files of more than one buffer are read twice: a fast digest, then the
  // comparison of those whose digests agree. One taken away in between fails there.
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every file";
  if (GetParam()) GTEST_SKIP() << "only one by one does the window pump between the two reads";
  const std::string content(300 * 1024, 'L');
  FileRecord& a = Add("a", content);
  FileRecord& b = Add("b", content);
  FileRecord& c = Add("c", content);
  // Pumps: the first status, then one after each file's first read.
  std::optional<test::Unreadable> held;
  window.onPump = [&](int pump) {
    if (pump == 4) held.emplace(b.FullPath());
  };
  Hash();
  EXPECT_EQ(a.contentHash.Hex().size(), 40u);
  EXPECT_EQ(c.contentHash, a.contentHash);
  EXPECT_EQ(b.contentHash, "");
  EXPECT_EQ(unreadable, std::vector<std::string>{b.FullPath()});
  EXPECT_EQ(window.LastStatus(), "1 files could not be read.");
}

TEST_P(ComputeAllHashesTest, NothingCollectedShowsNothing) {
  Hash();
  EXPECT_TRUE(window.calls.empty());
}

TEST_P(ComputeAllHashesTest, DistinctSizesReadNothing) {
  Add("a", "1");
  Add("b", "22");
  Hash();
  EXPECT_EQ(window.ShownStatuses(), std::vector<std::string>{"Computing SHA-1 hashes (size filtered)..."});
  EXPECT_EQ(window.calls.back(), "pos:0");
  for (const FileRecord& file : files) EXPECT_EQ(file.contentHash, "");
}

TEST_P(ComputeAllHashesTest, StopBeforeTheFirstClaimHashesNothing) {
  for (int i = 0; i < 400; ++i) Add("f" + std::to_string(i), std::string(4096, 'x'));
  // Stop while the opening text shows, before any file is claimed.
  window.onPump = [this](int) {
    if (window.LastStatus() == "Computing SHA-1 hashes (size filtered)...") stop = true;
  };
  Hash();
  const auto hashed = std::count_if(files.begin(), files.end(), [](const FileRecord& f) { return !f.contentHash.empty(); });
  EXPECT_EQ(hashed, 0);
  EXPECT_EQ(window.LastStatus(), "Computing SHA-1 hashes (size filtered)...");
}

// A file larger than the 256 KiB read buffer gets its SHA-1 only when another
// large file has the same fast digest; one whose content no other file has
// stays unhashed and so joins no group.
TEST_P(ComputeAllHashesTest, LargeFilesGetTheirSha1OnlyWhenAnotherHasTheirContent) {
  const struct {
    std::size_t size;
    bool lastByteDiffers;
    const char* digest;  // of both files; "" for none
  } cases[] = {
      {256 * 1024, false, "faa507eb75053181c7b63e7a09f5ea5ffd4fbdb1"},  // exactly one buffer
      {256 * 1024 + 1, true, ""},
      {3 * 1024 * 1024 + 17, false, "e8d26d8d71700c50508193bfcf880a941ad39fc7"},
      {3 * 1024 * 1024 + 18, true, ""},
  };
  for (const auto& c : cases) {
    Add(std::to_string(c.size) + "/first", Pattern(c.size));
    Add(std::to_string(c.size) + "/second", Pattern(c.size, c.lastByteDiffers ? '#' : '\0'));
  }
  Hash(true);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(files[2 * i].contentHash, cases[i].digest) << cases[i].size;
    EXPECT_EQ(files[2 * i + 1].contentHash, cases[i].digest) << cases[i].size;
  }
  std::vector<std::string> grouped;
  for (const auto& row : fileClones.Rows()) {
    if (row.data != nullptr) grouped.push_back(row.data->FullPath());
  }
  std::sort(grouped.begin(), grouped.end());
  EXPECT_EQ(fileClones.Groups().size(), 2u);
  EXPECT_EQ(grouped, (std::vector<std::string>{files[0].FullPath(), files[1].FullPath(), files[4].FullPath(),
                                               files[5].FullPath()}));
  const auto hashing = std::find(window.calls.rbegin(), window.calls.rend(),
                                 "status:Computing SHA-1 hashes (size filtered)... 8 / 8");
  EXPECT_NE(hashing, window.calls.rend()) << "every target counts as completed, the unhashed ones too";
}

TEST_P(ComputeAllHashesTest, FilesSharingASha1ButNotTheirBytesNeverGroup) {
  // Every SHA-1 reads the same, as for the two files of a published collision
  // (49,320 bytes each); only equal bytes may still form a group.
  struct ForcedCollision {
    ForcedCollision() { ForceSha1ForTesting("38762cf7f55934b34d179ae6a4c80cadccbb7f0a"); }
    ~ForcedCollision() { ForceSha1ForTesting(nullptr); }
  } forced;
  FileRecord& a = Add("a", Pattern(49320));
  FileRecord& b = Add("b", Pattern(49320, '#'));
  FileRecord& copyOfA = Add("c", Pattern(49320));
  FileRecord& large = Add("d", Pattern(300000));
  FileRecord& copyOfLarge = Add("e", Pattern(300000));
  Add("f", Pattern(300000, '#'));
  Hash(true);
  EXPECT_EQ(a.contentHash, b.contentHash) << "the collision is in place";
  EXPECT_NE(a.contentCheck, b.contentCheck);
  std::vector<std::vector<const FileRecord*>> groups;
  for (const auto& row : fileClones.Rows()) {
    if (row.data == nullptr) continue;
    if (groups.size() < static_cast<std::size_t>(row.groupId)) groups.resize(static_cast<std::size_t>(row.groupId));
    groups[static_cast<std::size_t>(row.groupId - 1)].push_back(row.data);
  }
  EXPECT_EQ(groups, (std::vector<std::vector<const FileRecord*>>{{&large, &copyOfLarge}, {&a, &copyOfA}}));
}

TEST_P(ComputeAllHashesTest, AFileChangedSinceCollectedIsNotReadPastItsSizeAndStaysUnhashed) {
  for (const std::size_t size : {std::size_t{40}, std::size_t{600000}}) {
    const std::string folder = std::to_string(size) + "/";
    FileRecord& kept = Add(folder + "kept", Pattern(size));
    FileRecord& copy = Add(folder + "copy", Pattern(size));
    FileRecord& grew = Add(folder + "grew", Pattern(size));
    FileRecord& shrank = Add(folder + "shrank", Pattern(size));
    tree.File(folder + "grew", Pattern(size) + "more");
    tree.File(folder + "shrank", Pattern(size - 1));
    Hash();
    EXPECT_FALSE(kept.contentHash.empty()) << size;
    EXPECT_EQ(kept.contentHash, copy.contentHash) << size;
    EXPECT_EQ(grew.contentHash, "") << size;
    EXPECT_EQ(shrank.contentHash, "") << size;
    files.clear();
  }
}

TEST_P(ComputeAllHashesTest, StopIsSeenInsideAHugeFile) {
  // Two sparse files of 1 TiB: reading either to its end would take minutes.
  for (const char* name : {"huge1", "huge2"}) {
    const std::string path = tree.File(name, "");
    if (!TempTree::Resize(path, std::uint64_t{1} << 40)) GTEST_SKIP() << "no sparse file of 1 TiB here";
    files.AddFromDisk(path);
  }
  window.onPump = [&](int) { stop = true; };
  Hash();
  EXPECT_EQ(files[0].contentHash, "");
  EXPECT_EQ(files[1].contentHash, "");
}

INSTANTIATE_TEST_SUITE_P(Schemes, ComputeAllHashesTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Parallel" : "Sequential"; });

TEST(ComputeAllHashes, ParallelStopMidwayLetsWorkersFinishTheirFileOnly) {
  TempTree tree;
  test::StageHarness stage;
  FileRegistry& files = stage.files;
  test::RecordingWindow& window = stage.window;
  for (int i = 0; i < 3000; ++i) files.AddFromDisk(tree.File("f" + std::to_string(i), "abcd"));
  // Stop as the first count shows; workers have claimed at most a few files by then.
  window.onPump = [&](int) {
    if (window.LastStatus().rfind("Computing SHA-1 hashes (size filtered)... ", 0) == 0) stage.stop = true;
  };
  ScanContext scan = stage.Context();
  ComputeAllHashes(scan);
  const auto hashed = std::count_if(files.begin(), files.end(), [](const FileRecord& f) { return !f.contentHash.empty(); });
  EXPECT_LT(hashed, 3000);
  const std::string last = window.LastStatus();
  ASSERT_EQ(last.rfind("Stopping SHA-1 hashing... ", 0), 0u) << last;
  EXPECT_LE(std::stoi(last.substr(26)), hashed);
  EXPECT_EQ(window.calls[window.calls.size() - 2], "pos:" + std::to_string(hashed)) << "final position: all completed";
}

TEST(ComputeAllHashes, SequentialCadenceEveryTenthFileAndTheLast) {
  // Large files complete after the small ones, in a second pass; the cadence
  // counts targets all the same.
  for (const bool mixed : {false, true}) {
    std::vector<std::string> contents(25, "same");
    if (mixed) {
      contents[2] = contents[10] = Pattern(300000);
      contents[6] = Pattern(400000, '#');
      contents[13] = Pattern(400000);
    }
    TempTree tree;
    test::StageHarness stage;
    for (std::size_t i = 0; i < contents.size(); ++i) {
      stage.files.AddFromDisk(tree.File("f" + std::to_string(i), contents[i]));
    }
    stage.settings.parallel = false;
    ScanContext scan = stage.Context();
    ComputeAllHashes(scan);
    EXPECT_EQ(stage.window.ShownStatuses(), (std::vector<std::string>{"Computing SHA-1 hashes (size filtered)...",
                                                           "Computing SHA-1 hashes (size filtered)... 1 / 25",
                                                           "Computing SHA-1 hashes (size filtered)... 11 / 25",
                                                           "Computing SHA-1 hashes (size filtered)... 21 / 25",
                                                           "Computing SHA-1 hashes (size filtered)... 25 / 25"}))
        << (mixed ? "small and large files" : "small files");
  }
}

// A large file that changes between the fast digest and the SHA-1 pass is
// compared byte by byte with its look-alikes: it gets the digest of its own
// bytes, never theirs.
TEST(ComputeAllHashes, ALargeFileChangedBetweenThePassesGetsItsOwnDigest) {
  TempTree tree;
  test::StageHarness stage;
  auto& files = stage.files;
  const std::string large = Pattern(3 * 1024 * 1024 + 17);
  for (const char* name : {"a", "b", "c"}) files.AddFromDisk(tree.File(name, large));
  stage.settings.parallel = false;
  // The change must fall between the passes, a moment no text marks: one pump
  // opens hashing, one follows the first read of each large file, so the
  // fourth comes after the last first read.
  stage.window.onPump = [&](int pump) {
    if (pump == 4) tree.File("b", Pattern(large.size(), '#'));
  };
  ScanContext scan = stage.Context();
  ComputeAllHashes(scan);
  EXPECT_EQ(files[0].contentHash, "e8d26d8d71700c50508193bfcf880a941ad39fc7");
  EXPECT_EQ(files[1].contentHash, "e81879a553df8ea6f8cacd5d1bdb6df93d0bf76c");
  EXPECT_EQ(files[2].contentHash, "e8d26d8d71700c50508193bfcf880a941ad39fc7");
}

// Same tree, both schemes: identical groups.
TEST(ContentScan, ParallelAndSequentialHashingGiveTheSameGroups) {
  TempTree tree;
  for (int i = 0; i < 200; ++i) {
    const std::string content(100 + i % 7, static_cast<char>('a' + i % 5));
    tree.File("d" + std::to_string(i % 9) + "/f" + std::to_string(i), content);
  }
  test::RecordingWindow window;
  test::FakeSettings settings;
  settings.folders = {tree.Folder()};
  ScanRun run(window, settings);
  auto groups = [&](bool parallel) {
    settings.parallel = parallel;
    run.Run();
    std::vector<std::pair<int, std::string>> rows;
    for (const auto& row : run.FileClones().Rows()) rows.emplace_back(row.groupId, row.data->FullPath());
    return rows;
  };
  const auto parallel = groups(true);
  EXPECT_EQ(parallel.size(), 200u);
  EXPECT_EQ(run.FileClones().Groups().size(), 35u);
  EXPECT_EQ(parallel, groups(false));
  EXPECT_EQ(window.LastStatus(), "  Done.");
}

TEST(ContentScan, AGroupOfEqualFilesShowsTwiceTheFileSize) {
  TempTree tree;
  tree.FileOfSize("a/copy", 1572864, 'q');
  tree.FileOfSize("b/copy", 1572864, 'q');
  tree.FileOfSize("c/other", 1572864, 'r');
  test::RecordingWindow window;
  test::FakeSettings settings;
  settings.folders = {tree.Folder()};
  settings.folderClones = true;
  settings.fileClones = false;
  ScanRun run(window, settings);
  run.Run();
  EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), "status:Computing SHA-1 hashes (size filtered)..."),
            window.calls.end())
      << "folder clones alone also hash in content mode";
  settings.fileClones = true;
  settings.folderClones = false;
  run.Run();
  ASSERT_EQ(run.FileClones().Groups().size(), 1u);
  EXPECT_EQ(run.FileClones().Groups()[0].header, "Group 1 (3.00 MB)");
}

}  // namespace
}  // namespace orvanta
