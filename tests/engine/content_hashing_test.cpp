#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <new>

#include "core/scan_context.h"
#include "fileclones/content_hashing.h"
#include "fileclones/file_grouping.h"
#include "fileclones/hash_plan.h"
#include "platform/platform.h"
#include "scan/scan_run.h"
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

TEST(HashFileSHA1, AFailingSha1IsAnErrorNeverADigest) {
  TempTree tree;
  const auto path = tree.File("f", "abc");
  platform::Sha1::FailForTesting(true);
  EXPECT_THROW(HashFileSHA1(path), std::runtime_error);
  platform::Sha1::FailForTesting(false);
  EXPECT_EQ(HashFileSHA1(path), "a9993e364706816aba3e25717850c26c9cd0d89d");
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
    scan.changedFiles = &changed;
    ComputeAllHashes(scan, options);
    if (group) FindFileDuplicates(scan);
  }

  TempTree tree;
  std::vector<std::string> unreadable;
  std::vector<std::string> changed;
  HashingOptions options;
};

// Small files get their digest from one read, large ones in the comparison
// round: either way a failing SHA-1 leaves each file unhashed and named.
TEST_P(ComputeAllHashesTest, AFailingSha1LeavesEveryFileUnhashedAndNamedUnreadable) {
  const std::string large(300 * 1024, 'L');
  std::vector<FileRecord*> added{&Add("s1", "small"), &Add("s2", "small"), &Add("l1", large), &Add("l2", large)};
  platform::Sha1::FailForTesting(true);
  Hash(true);
  platform::Sha1::FailForTesting(false);
  std::vector<std::string> expected;
  for (const FileRecord* file : added) {
    EXPECT_EQ(file->contentHash, "") << file->FullPath();
    expected.push_back(file->FullPath());
  }
  std::sort(unreadable.begin(), unreadable.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(unreadable, expected);
  EXPECT_TRUE(changed.empty());
}

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
    EXPECT_EQ(window.LastStatus(), "1 file could not be read.");
  } else {
    EXPECT_TRUE(unreadable.empty());
  }
}

TEST_P(ComputeAllHashesTest, AFileThatFailsOnlyWhenComparedIsCountedUnreadable) {
  // Files of more than one buffer are read twice: a fast digest, then the
  // comparison of those whose digests agree. One taken away in between fails there.
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every file";
  const std::string content(300 * 1024, 'L');
  FileRecord& a = Add("a", content);
  FileRecord& b = Add("b", content);
  FileRecord& c = Add("c", content);
  std::optional<test::Unreadable> held;
  options.betweenPasses = [&] { held.emplace(b.FullPath()); };
  Hash();
  EXPECT_EQ(a.contentHash.Hex().size(), 40u);
  EXPECT_EQ(c.contentHash, a.contentHash);
  EXPECT_EQ(b.contentHash, "");
  EXPECT_EQ(unreadable, std::vector<std::string>{b.FullPath()});
  EXPECT_EQ(window.LastStatus(), "1 file could not be read.");
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

TEST_P(ComputeAllHashesTest, AStoppedStageKeepsItsOwnStatusOverTheLeftOutCount) {
  // Every file changed since it was collected (its size no longer the one
  // listed), so each one read is left out; Stop comes once reading started.
  for (int i = 0; i < 60; ++i) files.Add(tree.File("f" + std::to_string(i), "abcde"), 4);
  window.onPump = [this](int) {
    if (window.LastStatus().rfind("Computing SHA-1 hashes (size filtered)... ", 0) == 0) stop = true;
  };
  Hash();
  const std::string last = window.LastStatus();
  EXPECT_TRUE(last.starts_with("Computing SHA-1 hashes (size filtered)... ") ||
              last.starts_with("Stopping SHA-1 hashing... "))
      << last;
  EXPECT_TRUE(changed.empty()) << "a stopped scan lists nothing, so it names nothing left out";
}

TEST_P(ComputeAllHashesTest, StopBeforeTheFirstClaimHashesNothing) {
  for (int i = 0; i < 400; ++i) Add("f" + std::to_string(i), std::string(4096, 'x'));
  // Stop while the opening text shows, before any file is claimed.
  window.onPump = [this](int) {
    if (window.LastStatus() == "Computing SHA-1 hashes (size filtered)...") stop = true;
  };
  Hash();
  const auto hashed =
      std::count_if(files.begin(), files.end(), [](const FileRecord& f) { return !f.contentHash.empty(); });
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
  const auto hashing =
      std::find(window.calls.rbegin(), window.calls.rend(), "status:Computing SHA-1 hashes (size filtered)... 8 / 8");
  EXPECT_NE(hashing, window.calls.rend()) << "every target counts as completed, the unhashed ones too";
}

TEST_P(ComputeAllHashesTest, FilesSharingASha1ButNotTheirBytesNeverGroup) {
  // Every SHA-1 reads the same, as for the two files of a published collision
  // (49,320 bytes each); only equal bytes may still form a group.
  options.reads.forcedSha1 = "38762cf7f55934b34d179ae6a4c80cadccbb7f0a";
  // b differs in the middle, past the head that would tell it apart at once.
  std::string middle = Pattern(49320);
  middle[middle.size() / 2] = '#';
  FileRecord& a = Add("a", Pattern(49320));
  FileRecord& b = Add("b", middle);
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
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::string>{grew.FullPath(), shrank.FullPath()})) << size;
    EXPECT_EQ(window.LastStatus(), "2 files changed during the scan.") << size;
    EXPECT_TRUE(unreadable.empty()) << size;
    files.clear();
    changed.clear();
  }
}

TEST_P(ComputeAllHashesTest, StopIsSeenInsideAHugeFile) {
  // Three equal sparse files of 64 MiB (256 buffers each), claimed together;
  // Stop comes once a read is under way, in the fast-digest pass or in the
  // comparison. Each read under way then ends within 16 buffers (4 MiB), not
  // at its file's end, and no other read starts.
  for (const bool inSecondPass : {false, true}) {
    SCOPED_TRACE(inSecondPass ? "in the comparison" : "in the fast digest");
    files.clear();
    stop = false;
    for (const char* name : {"huge1", "huge2", "huge3"}) {
      const std::string path = tree.File(name, "");
      if (!TempTree::Resize(path, std::uint64_t{64} << 20)) GTEST_SKIP() << "no sparse file of 64 MiB here";
      files.AddFromDisk(path);
    }
    std::atomic<bool> secondPass{false};
    std::atomic<int> buffersAfterStop{0};
    options.betweenPasses = [&] { secondPass = true; };
    options.reads.afterBuffer = [&](std::uint64_t read) {
      if (stop) {
        ++buffersAfterStop;
      } else if (read >= (std::uint64_t{1} << 20) && secondPass == inSecondPass) {
        stop = true;
      }
    };
    Hash();
    EXPECT_TRUE(stop.load()) << "Stop came while a file was read";
    EXPECT_EQ(secondPass.load(), inSecondPass);
    EXPECT_LE(buffersAfterStop.load(), 2 * 16);
    for (const FileRecord& file : files) EXPECT_EQ(file.contentHash, "") << file.FullPath();
  }
}

// Out of memory on a worker: the others stop claiming, and the exception
// reaches the caller once they have ended, instead of ending the program.
TEST_P(ComputeAllHashesTest, AnExceptionWhileReadingReachesTheCallerAndStopsTheOtherReads) {
  constexpr int kFiles = 200;
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = tree.File("f" + std::to_string(i), "");
    if (!TempTree::Resize(path, 2 * kReadBufferSize)) GTEST_SKIP() << "no sparse file here";
    files.AddFromDisk(path);
  }
  std::atomic<bool> thrown{false};
  std::atomic<int> filesBegun{0};
  options.reads.afterBuffer = [&](std::uint64_t read) {
    if (read == kReadBufferSize) ++filesBegun;  // the first call for a file
    if (!thrown.exchange(true)) throw std::bad_alloc();
  };
  EXPECT_THROW(Hash(), std::bad_alloc);
  // Each worker finishes at most the file it had claimed: at most four per processor.
  EXPECT_LT(filesBegun.load(), kFiles);
}

// Files that share a size but not their first 4 KiB, or (larger than a
// buffer) not their last 4 KiB, are told apart by those alone: never read
// past them, never hashed. Those alike there are
// read through, and only true copies group.
TEST_P(ComputeAllHashesTest, FilesToldApartByHeadOrTailAreReadNoFurther) {
  const std::size_t size = 3 * kReadBufferSize + 5001;
  auto variant = [&](std::size_t at) {
    std::string content = Pattern(size);
    content[at] = '#';
    return content;
  };
  Add("head/a", Pattern(size));
  Add("head/b", variant(0));
  Add("tail/a", Pattern(size + 1));
  std::string tail = Pattern(size + 1);
  tail[size - kHeadCheckBytes + 1] = '#';  // the first byte of the tail
  Add("tail/b", tail);
  std::atomic<int> buffersRead{0};
  options.reads.afterBuffer = [&](std::uint64_t) { ++buffersRead; };
  Hash(true);
  EXPECT_EQ(buffersRead.load(), 0) << "each file of a size differs in its head or tail";
  for (const FileRecord& file : files) EXPECT_EQ(file.contentHash, "") << file.FullPath();
  EXPECT_TRUE(fileClones.Groups().empty());

  // Alike at both ends: read through, and the middle decides.
  files.clear();
  fileClones = MakeFileCloneList();
  FileRecord& copy1 = Add("middle/a", Pattern(size));
  FileRecord& copy2 = Add("middle/b", Pattern(size));
  FileRecord& other = Add("middle/c", variant(size / 2));
  Hash(true);
  EXPECT_GT(buffersRead.load(), 0);
  EXPECT_FALSE(copy1.contentHash.empty());
  EXPECT_EQ(copy1.contentHash, copy2.contentHash);
  EXPECT_EQ(other.contentHash, "");
  EXPECT_EQ(fileClones.Groups().size(), 1u);
}

// Files are read a batch at a time, the batch cut where its buffers fill up:
// every digest and every file left out belongs to its own file, through
// batches of every size class, with files gone or changed among them, whether
// the system takes a batch at once or one read after another.
TEST_P(ComputeAllHashesTest, BatchedReadsGiveEachFileItsOwnDigest) {
  // Below the head check, a head candidate, one that fills much of a batch, one larger than a buffer.
  const std::vector<std::size_t> sizes{100, 5000, 20000, 200000, 300000};
  // The same content for equal k; k 3 and 4 share their head with k 0, and k 4 its tail too.
  auto content = [](std::size_t size, int k) {
    std::string bytes = Pattern(size);
    if (k == 1 || k == 2) bytes[0] = static_cast<char>('A' + k);
    if (k == 3) bytes.back() = '#';
    if (k == 4) bytes[size / 2] = '#';
    return bytes;
  };
  for (const bool oneByOne : {false, true}) {
    SCOPED_TRACE(oneByOne ? "read one after another" : "read in batches");
    files.clear();
    unreadable.clear();
    changed.clear();
    struct Expected {
      FileRecord* file;
      int k;
      enum { Intact, Gone, Changed } fate;
    };
    std::vector<Expected> expected;
    for (int i = 0; i < 150; ++i) {
      const std::size_t size = sizes[static_cast<std::size_t>(i) % sizes.size()];
      const int k = i / 5 % 6 == 5 ? 0 : i / 5 % 6;  // a content per file, and some twice as often
      const std::string relative = (oneByOne ? "one/" : "batch/") + std::to_string(i);
      FileRecord& file = Add(relative, content(size, k));
      auto fate = i % 7 == 3 ? Expected::Gone : i % 11 == 4 ? Expected::Changed : Expected::Intact;
      if (fate == Expected::Gone) std::filesystem::remove(file.FullPath());
      if (fate == Expected::Changed) tree.File(relative, content(size, k) + "!");
      expected.push_back({&file, k, fate});
    }
    platform::BatchReader::ReadOneByOneForTesting(oneByOne);
    Hash();
    platform::BatchReader::ReadOneByOneForTesting(false);
    std::vector<std::string> changedPaths;
    for (const Expected& e : expected) {
      const FileRecord& file = *e.file;
      if (e.fate != Expected::Intact) {
        EXPECT_EQ(file.contentHash, "") << file.FullPath();
        if (e.fate == Expected::Changed) changedPaths.push_back(file.FullPath());
        continue;
      }
      // Read whole when small; otherwise hashed only when another intact file has its content.
      const bool shared = std::count_if(expected.begin(), expected.end(), [&](const Expected& other) {
                            return other.fate == Expected::Intact && other.k == e.k && other.file->size == file.size;
                          }) > 1;
      if (shared || file.size <= kHeadCheckMinSize) {
        EXPECT_EQ(file.contentHash.Hex(), HashFileSHA1(file.FullPath())) << file.FullPath();
      } else {
        EXPECT_EQ(file.contentHash, "") << file.FullPath();
      }
    }
    std::sort(changed.begin(), changed.end());
    std::sort(changedPaths.begin(), changedPaths.end());
    EXPECT_EQ(changed, changedPaths);
    EXPECT_TRUE(unreadable.empty());
  }
}

// A link or a FIFO put in a collected file's place after the walk, among
// files opened together, is no file of the scan: never read, no digest, and
// named neither unreadable nor changed; the files beside it are read.
TEST_P(ComputeAllHashesTest, ALinkOrAFifoPutInAFilesPlaceIsNotRead) {
  ORVANTA_SKIP_UNLESS_POSIX("links and FIFOs in a file's place");
  for (const bool oneByOne : {false, true}) {
    SCOPED_TRACE(oneByOne ? "opened one after another" : "opened together");
    files.clear();
    const std::string folder = oneByOne ? "one/" : "batch/";
    FileRecord& kept1 = Add(folder + "kept1", "12345");
    FileRecord& link = Add(folder + "link", "12345");
    FileRecord& fifo = Add(folder + "fifo", "12345");
    FileRecord& kept2 = Add(folder + "kept2", "12345");
    std::filesystem::remove(link.FullPath());
    tree.Symlink(folder + "link", kept1.FullPath());
    std::filesystem::remove(fifo.FullPath());
    tree.Fifo(folder + "fifo");
    platform::BatchReader::ReadOneByOneForTesting(oneByOne);
    Hash();
    platform::BatchReader::ReadOneByOneForTesting(false);
    EXPECT_NE(kept1.contentHash, "");
    EXPECT_EQ(kept1.contentHash, kept2.contentHash);
    EXPECT_EQ(link.contentHash, "");
    EXPECT_EQ(fifo.contentHash, "");
    EXPECT_TRUE(unreadable.empty());
    EXPECT_TRUE(changed.empty());
  }
}

// A large file that changes between the fast digest and the SHA-1 pass is
// compared byte by byte with its look-alikes: it gets the digest of its own
// bytes, never theirs. Unless the walk saw it as it now is, it is no longer
// the file collected and joins nothing.
TEST_P(ComputeAllHashesTest, ALargeFileChangedBetweenThePassesGetsItsOwnDigest) {
  for (const bool seenAsItIsNow : {true, false}) {
    SCOPED_TRACE(seenAsItIsNow ? "collected after the edit" : "collected before the edit");
    files.clear();
    changed.clear();
    const std::string large = Pattern(3 * 1024 * 1024 + 17);
    for (const char* name : {"a", "b", "c"}) Add(name, large);
    options.betweenPasses = [&] {
      tree.File("b", Pattern(large.size(), '#'));
      if (!seenAsItIsNow) return;
      platform::FileAttributes now;
      ASSERT_TRUE(platform::QueryAttributes(files[1].FullPath(), now));
      files[1].id = now.id;
      files[1].modified = now.modified;
      files[1].changed = now.changed;
    };
    Hash();
    EXPECT_EQ(files[0].contentHash, "e8d26d8d71700c50508193bfcf880a941ad39fc7");
    EXPECT_EQ(files[1].contentHash, seenAsItIsNow ? "e81879a553df8ea6f8cacd5d1bdb6df93d0bf76c" : "");
    EXPECT_EQ(files[2].contentHash, "e8d26d8d71700c50508193bfcf880a941ad39fc7");
    EXPECT_EQ(changed, seenAsItIsNow ? std::vector<std::string>{} : std::vector<std::string>{files[1].FullPath()});
  }
}

// A file edited while it is hashed, its size and write time put back: its
// change time moved, so it is left out of its group and named, in whichever
// pass the edit comes; its twins that stayed as they were still group.
TEST_P(ComputeAllHashesTest, AFileEditedWhileHashedWithItsTimePutBackIsLeftOutAndNamed) {
  for (const bool inSecondPass : {false, true}) {
    SCOPED_TRACE(inSecondPass ? "edited in the comparison" : "edited in the fast digest");
    files.clear();
    changed.clear();
    const std::string content = Pattern(3 * kReadBufferSize + 5001);
    FileRecord& edited = Add(std::to_string(inSecondPass) + "/photo.jpg", content);
    FileRecord& twin = Add(std::to_string(inSecondPass) + "/backup/photo.jpg", content);
    FileRecord& other = Add(std::to_string(inSecondPass) + "/other/photo.jpg", content);
    if (edited.changed == 0) GTEST_SKIP() << "this system gives no change time";
    std::atomic<bool> secondPass{false}, done{false};
    options.betweenPasses = [&] { secondPass = true; };
    options.reads.afterBuffer = [&](std::uint64_t) {
      if (secondPass == inSecondPass && !done.exchange(true)) test::EditInPlaceKeepingTime(edited.FullPath(), "EDITED");
    };
    Hash(true);
    ASSERT_TRUE(done.load()) << "the edit came while a file was read";
    platform::FileAttributes now;
    ASSERT_TRUE(platform::QueryAttributes(edited.FullPath(), now));
    ASSERT_EQ(now.size, edited.size) << "size put back";
    ASSERT_EQ(now.modified, edited.modified) << "write time put back";

    EXPECT_EQ(edited.contentHash, "");
    EXPECT_EQ(twin.contentHash, other.contentHash);
    ASSERT_EQ(fileClones.Groups().size(), 1u);
    for (const auto& row : fileClones.Rows()) EXPECT_NE(row.data, &edited) << "listed with copies it no longer equals";
    EXPECT_EQ(changed, std::vector<std::string>{edited.FullPath()});
    EXPECT_TRUE(unreadable.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, ComputeAllHashesTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Parallel" : "Sequential"; });

TEST(ComputeAllHashes, ParallelStopMidwayLetsWorkersFinishOnlyWhatTheyClaimed) {
  TempTree tree;
  test::StageHarness stage;
  FileRegistry& files = stage.files;
  test::RecordingWindow& window = stage.window;
  for (int i = 0; i < 3000; ++i) files.AddFromDisk(tree.File("f" + std::to_string(i), "abcd"));
  // Stop as the first count shows; workers have claimed at most a few batches by then.
  window.onPump = [&](int) {
    if (window.LastStatus().rfind("Computing SHA-1 hashes (size filtered)... ", 0) == 0) stage.stop = true;
  };
  ScanContext scan = stage.Context();
  ComputeAllHashes(scan);
  const auto hashed =
      std::count_if(files.begin(), files.end(), [](const FileRecord& f) { return !f.contentHash.empty(); });
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
    EXPECT_EQ(
        stage.window.ShownStatuses(),
        (std::vector<std::string>{
            "Computing SHA-1 hashes (size filtered)...", "Computing SHA-1 hashes (size filtered)... 1 / 25",
            "Computing SHA-1 hashes (size filtered)... 11 / 25", "Computing SHA-1 hashes (size filtered)... 21 / 25",
            "Computing SHA-1 hashes (size filtered)... 25 / 25"}))
        << (mixed ? "small and large files" : "small files");
  }
}

// Which files are read, and how, is decided from sizes and digests alone.
TEST(HashPlan, TargetsAreTheFilesOfASharedPositiveSizeInCollectionOrder) {
  FileRegistry files;
  for (const std::int64_t size : {5, 0, 7, 5, 0, -1, -1, 3, 3, 3, 600000}) files.Add("/x/f", size);
  std::atomic<bool> stop{false};
  std::vector<std::size_t> indexes;
  for (const FileRecord* target : HashTargets(files, stop)) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (target == &files[i]) indexes.push_back(i);
    }
  }
  EXPECT_EQ(indexes, (std::vector<std::size_t>{0, 3, 7, 8, 9}));
  stop = true;
  EXPECT_TRUE(HashTargets(files, stop).empty());
}

TEST(HashPlan, TheSecondPassHashesLargeFilesWhoseFastDigestAnotherShares) {
  const FastDigest x{300000, 1, 2}, y{300000, 1, 3}, z{400000, 1, 2};
  const struct {
    const char* what;
    std::vector<std::uint8_t> stage;                                 // per target
    std::vector<FastDigest> digests;                                 // per large candidate: targets 1, 2, 3, 4 and 5
    std::vector<std::pair<std::vector<std::uint32_t>, bool>> items;  // targets of each, hashed
  } cases[] = {
      {"shared and alone",
       {kFinished, kLarge, kLarge, kLarge, kLarge, kLarge},
       {y, x, z, x, y},
       {{{1, 5}, true}, {{2, 4}, true}, {{3}, false}}},
      {"the most bytes to read first",
       {kFinished, kLarge, kLarge, kLarge, kLarge, kLarge},
       {x, x, z, z, y},
       {{{3, 4}, true}, {{1, 2}, true}, {{5}, false}}},
      {"a target hashed before: every large one is hashed",
       {kHashedBefore, kLarge, kUnreadable, kLarge, kNotReached, kFinished},
       {x, x, y, x, x},
       {{{1}, true}, {{3}, true}}},
  };
  const std::vector<std::uint32_t> candidates{1, 2, 3, 4, 5};
  for (const auto& c : cases) {
    const SecondPassPlan plan = PlanSecondPass(c.stage, candidates, c.digests);
    std::vector<std::pair<std::vector<std::uint32_t>, bool>> items;
    for (const SecondPassItem& item : plan.items) {
      items.push_back({{plan.targets.begin() + item.begin, plan.targets.begin() + item.end}, item.hash});
    }
    EXPECT_EQ(items, c.items) << c.what;
  }
}

TEST(HashPlan, AHeadCandidateIsSettledWhenNoOtherOfItsSizeCanShareItsContent) {
  // Targets 0-5 are candidates; sizes and head digests per slot.
  FileRegistry files;
  for (const std::int64_t size : {9000, 9000, 9000, 20000, 20000, 30000}) files.Add("/x/f", size);
  std::vector<FileRecord*> targets;
  for (std::size_t i = 0; i < files.size(); ++i) targets.push_back(&files[i]);
  const std::vector<std::uint32_t> candidates{0, 1, 2, 3, 4, 5};
  const std::vector<std::uint64_t> digests{7, 7, 8, 7, 8, 7};
  const struct {
    const char* what;
    std::vector<std::uint8_t> stage;
    std::vector<std::uint8_t> known;
    std::vector<std::uint32_t> unique;
  } cases[] = {
      {"alone by its digest or its size",
       {kHeadRead, kHeadRead, kHeadRead, kHeadRead, kHeadRead, kHeadRead},
       {1, 1, 1, 1, 1, 1},
       {2, 3, 4, 5}},
      {"one of the size without a digest decides nothing there",
       {kHeadRead, kHeadRead, kHeadRead, kNotReached, kHeadRead, kHeadRead},
       {1, 1, 1, 0, 1, 1},
       {2, 5}},
      {"unreadable, changed or gone ones do not hold it back",
       {kHeadRead, kUnreadable, kHeadRead, kChanged, kHeadRead, kHeadRead},
       {1, 0, 1, 0, 1, 1},
       {0, 2, 4, 5}},
      {"a digest from the cache compares, and its file is settled already",
       {kHeadRead, kFromCache, kHeadRead, kLarge, kHeadRead, kFromCache},
       {1, 1, 1, 1, 1, 1},
       {2, 4}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> unique = UniqueHeads(targets, c.stage, candidates, digests, c.known);
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(unique, c.unique) << c.what;
  }
}

// Same tree, both schemes: identical groups.
TEST(ContentScan, ParallelAndSequentialHashingGiveTheSameGroups) {
  test::ScannedTree scanned;
  auto& [tree, window, settings, run] = scanned;
  for (int i = 0; i < 200; ++i) {
    const std::string content(100 + i % 7, static_cast<char>('a' + i % 5));
    tree.File("d" + std::to_string(i % 9) + "/f" + std::to_string(i), content);
  }
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
  test::ScannedTree scanned;
  auto& [tree, window, settings, run] = scanned;
  tree.FileOfSize("a/copy", 1572864, 'q');
  tree.FileOfSize("b/copy", 1572864, 'q');
  tree.FileOfSize("c/other", 1572864, 'r');
  settings.folderClones = true;
  settings.fileClones = false;
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
