// The digest cache: rescans that read only what changed and list exactly what
// a scan without it lists, a cache file that cannot be trusted, and two runs
// at once. POSIX only: the Windows build has no cache.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "fileclones/digest_cache.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLarge = 300 * 1024;  // past one read buffer: the two-pass path

// Each group as its members' paths below the tree, in listing order.
std::vector<std::vector<std::string>> Groups(ScanRun& run, const test::TempTree& tree) {
  std::vector<std::vector<std::string>> groups;
  const ResultList& list = run.FileClones();
  int group = -1;
  for (const ListRow& row : list.Rows()) {
    if (row.groupId != group) {
      groups.emplace_back();
      group = row.groupId;
    }
    groups.back().push_back(tree.Relative(row.data->FullPath()));
  }
  return groups;
}

class DigestCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Small copies, a small file of a shared size alone, large copies, large
    // files of one size that differ at the end, and a large one alone in its content.
    tree.File("a/small.txt", "same bytes");
    tree.File("b/small.txt", "same bytes");
    tree.File("b/other.txt", "diff bytes");
    tree.FileOfSize("a/large.bin", kLarge, 'L');
    tree.FileOfSize("b/large.bin", kLarge, 'L');
    tree.FileOfSize("c/large.bin", kLarge, 'L');
    tree.FileOfSize("a/tail.bin", kLarge, 'T');
    std::string tail(kLarge, 'T');
    tail.back() = 'U';
    tree.File("b/tail.bin", tail);
  }

  // A whole scan with or without the cache; its groups.
  std::vector<std::vector<std::string>> Scan(bool cached, std::vector<std::string>* notices = nullptr) {
    test::RecordingWindow window;
    test::FakeSettings settings;
    settings.folders = {tree.Folder()};
    settings.digestCache = cached ? cacheFile : std::string();
    ScanRun run(window, settings);
    run.Hashing().cacheSettleTime = 0;  // the files were written a moment ago
    EXPECT_EQ(run.Run().kind, ScanOutcome::Kind::Done);
    figures = run.Figures();
    if (notices != nullptr) *notices = run.CacheNotices();
    EXPECT_TRUE(notices != nullptr || run.CacheNotices().empty()) << run.CacheNotices().front();
    return Groups(run, tree);
  }

  test::TempTree tree;
  test::TempTree cacheFolder;
  std::string cacheFile = cacheFolder.Path("digests.db");
  ScanFigures figures;
};

TEST_F(DigestCacheTest, ARescanReadsNothingUnchangedAndListsWhatAFreshScanLists) {
  const auto fresh = Scan(false);
  ASSERT_EQ(fresh.size(), 2u);  // the small copies and the three large ones
  const std::int64_t targets = figures.filesRead;
  EXPECT_EQ(figures.filesFromCache, 0);

  EXPECT_EQ(Scan(true), fresh) << "the scan that fills the cache";
  EXPECT_EQ(figures.filesRead, targets);
  EXPECT_EQ(Scan(true), fresh) << "the scan from the cache";
  EXPECT_EQ(figures.filesRead, 0);
  EXPECT_EQ(figures.filesFromCache, targets);

  // A large file whose content was alone gets a twin: its SHA-1 was never
  // computed, so it is read now; the twins are grouped as a fresh scan does.
  tree.File("d/tail.bin", test::ReadFile(tree.Path("b/tail.bin")));
  // And two of the three large copies go: the one left had a SHA-1 in the
  // cache, but is alone now, as a fresh scan shows it.
  fs::remove(tree.Path("b/large.bin"));
  fs::remove(tree.Path("c/large.bin"));
  const auto freshAfter = Scan(false);
  EXPECT_EQ(Scan(true), freshAfter);
  EXPECT_EQ(figures.filesRead, 2) << "b/tail.bin for its SHA-1, and the new d/tail.bin";
}

TEST_F(DigestCacheTest, AFileEditedInPlaceWithItsSizeAndTimePutBackIsReadAgain) {
  Scan(true);
  // Same size and write time; only the change time tells.
  test::EditInPlaceKeepingTime(tree.Path("b/small.txt"), "DIFF");
  const auto fresh = Scan(false);
  EXPECT_EQ(Scan(true), fresh);
  EXPECT_EQ(figures.filesRead, 1) << "the edited file";
  for (const auto& group : fresh) {
    EXPECT_EQ(std::count(group.begin(), group.end(), "b/small.txt"), 0) << "its bytes differ now";
  }
}

TEST_F(DigestCacheTest, AFileWrittenJustBeforeItWasReadIsNotKept) {
  // A write right after the read may keep size and times as they were, so a
  // file that recent is read again next time.
  for (int scan = 0; scan < 2; ++scan) {
    test::RecordingWindow window;
    test::FakeSettings settings;
    settings.folders = {tree.Folder()};
    settings.digestCache = cacheFile;
    ScanRun run(window, settings);
    ASSERT_EQ(run.Run().kind, ScanOutcome::Kind::Done);
    EXPECT_EQ(run.Figures().filesFromCache, 0) << scan;
  }
}

// Whatever is wrong with the file, it is set aside with one message, the scan
// lists what a fresh scan lists, and a new cache takes the old one's place.
TEST_F(DigestCacheTest, ACacheFileThatCannotBeTrustedIsSetAsideAndMadeAnew) {
  const auto fresh = Scan(false);
  auto overwrite = [this](std::size_t offset, std::size_t length) {
    std::fstream file(cacheFile, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file << std::string(length, '\x5a');
  };
  auto sql = [this](const char* statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(cacheFile.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  };
  const struct {
    const char* what;
    std::function<void()> spoil;
  } cases[] = {
      {"its header overwritten", [&] { overwrite(0, 100); }},
      {"its pages past the first overwritten", [&] { overwrite(4096, fs::file_size(cacheFile) - 4096); }},
      {"an entry's digest changed",
       [&] { sql("UPDATE digests SET check_low = check_low + 1 WHERE sha1 IS NOT NULL"); }},
      {"an entry's head digest changed", [&] { sql("UPDATE digests SET head = head + 1 WHERE head IS NOT NULL"); }},
      {"a text file", [&] { std::ofstream(cacheFile) << "not a database\n"; }},
      {"another program's database",
       [&] {
         fs::remove(cacheFile);
         sql("CREATE TABLE digests (device, inode); INSERT INTO digests VALUES (1, 2)");
       }},
  };
  for (const auto& [what, spoil] : cases) {
    SCOPED_TRACE(what);
    Scan(true);
    Scan(true);
    ASSERT_GT(figures.filesFromCache, 0) << "a cache to spoil";
    spoil();
    std::vector<std::string> notices;
    EXPECT_EQ(Scan(true, &notices), fresh);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("set aside as " + cacheFile + ".set-aside"), std::string::npos) << notices[0];
    EXPECT_TRUE(fs::exists(cacheFile + ".set-aside"));
    // At most one more scan to fill the new cache, then nothing is read.
    Scan(true);
    EXPECT_EQ(Scan(true), fresh);
    EXPECT_EQ(figures.filesRead, 0);
    fs::remove(cacheFile + ".set-aside");
  }
}

// A cache written before head digests were kept is taken up as it is: its
// entries answer, and it holds head digests from then on.
TEST_F(DigestCacheTest, ACacheOfTheFormatWithoutHeadDigestsIsUpgradedInPlace) {
  const auto fresh = Scan(false);
  Scan(true);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(cacheFile.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DELETE FROM digests WHERE head IS NOT NULL; ALTER TABLE digests DROP COLUMN head; "
                         "PRAGMA user_version = 1",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  std::vector<std::string> notices;
  EXPECT_EQ(Scan(true, &notices), fresh);
  EXPECT_TRUE(notices.empty()) << notices.front();
  EXPECT_GT(figures.filesFromCache, 0);
  EXPECT_EQ(Scan(true), fresh);
  EXPECT_EQ(figures.filesRead, 0);
}

TEST_F(DigestCacheTest, TwoRunsAtOnceShareOneCache) {
  test::TempTree second;
  second.File("x/copy1", "twin");
  second.File("y/copy2", "twin");
  second.FileOfSize("x/big1", kLarge, 'B');
  second.FileOfSize("y/big2", kLarge, 'B');
  const auto fresh = Scan(false);
  auto scanBoth = [&](std::vector<std::vector<std::string>>& first, std::vector<std::vector<std::string>>& other,
                      ScanFigures& otherFigures) {
    std::thread runner([&] {
      test::RecordingWindow window;
      test::FakeSettings settings;
      settings.folders = {second.Folder()};
      settings.digestCache = cacheFile;
      ScanRun run(window, settings);
      run.Hashing().cacheSettleTime = 0;
      EXPECT_EQ(run.Run().kind, ScanOutcome::Kind::Done);
      EXPECT_TRUE(run.CacheNotices().empty());
      other = Groups(run, second);
      otherFigures = run.Figures();
    });
    first = Scan(true);
    runner.join();
  };
  for (int round = 0; round < 3; ++round) {
    std::vector<std::vector<std::string>> first, other;
    ScanFigures otherFigures;
    scanBoth(first, other, otherFigures);
    EXPECT_EQ(first, fresh) << round;
    EXPECT_EQ(other, (std::vector<std::vector<std::string>>{{"x/big1", "y/big2"}, {"x/copy1", "y/copy2"}})) << round;
    if (round == 2) {
      EXPECT_EQ(figures.filesRead, 0) << "both kept what they read";
      EXPECT_EQ(otherFigures.filesRead, 0);
    }
  }
}

TEST_F(DigestCacheTest, ClearingRemovesTheFileAndTheNextScanReadsEverything) {
  Scan(true);
  Scan(true);
  ASSERT_GT(figures.filesFromCache, 0);
  std::string reason;
  EXPECT_TRUE(ClearDigestCache(cacheFile, reason)) << reason;
  EXPECT_FALSE(fs::exists(cacheFile));
  Scan(true);
  EXPECT_EQ(figures.filesFromCache, 0);
}

}  // namespace
}  // namespace orvanta
