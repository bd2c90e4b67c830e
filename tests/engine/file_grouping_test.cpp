#include <gtest/gtest.h>

#include "core/scan_context.h"
#include "fileclones/file_grouping.h"
#include "test_support.h"

namespace orvanta {
namespace {

class FileGroupingTest : public ::testing::Test, protected test::StageHarness {
 protected:
  FileRecord& Add(const std::string& path, std::int64_t size, const std::string& hash = "") {
    FileRecord& file = files.Add(path, size);
    file.contentHash = hash;
    return file;
  }
  void Group(CompareMode mode) {
    settings.compare = mode;
    ScanContext scan = Context();
    FindFileDuplicates(scan);
  }
  // Each listed group as its member paths, in list order.
  std::vector<std::vector<std::string>> Listed() const {
    std::vector<std::vector<std::string>> groups;
    int current = 0;
    for (const ListRow& row : fileClones.Rows()) {
      if (row.groupId != current) {
        groups.emplace_back();
        current = row.groupId;
      }
      groups.back().push_back(row.data->FullPath());
    }
    return groups;
  }
};

using Groups = std::vector<std::vector<std::string>>;

TEST_F(FileGroupingTest, KeysOfTheThreeModesWithoutContent) {
  Add("/x/a.txt", 100);
  Add("/y/A.TXT", 200);
  Add("/z/a.txt", 100);
  Add("/z/a.txt.bak", 100);
  Add("/w/\xC3\x89t\xC3\xA9.txt", 7);  // "Été.txt"
  Add("/v/\xC3\xA9t\xC3\xA9.txt", 7);  // "été.txt": Unicode letters fold too

  const std::pair<CompareMode, Groups> cases[] = {
      {CompareMode::Name,
       {{"/x/a.txt", "/y/A.TXT", "/z/a.txt"}, {"/w/\xC3\x89t\xC3\xA9.txt", "/v/\xC3\xA9t\xC3\xA9.txt"}}},
      {CompareMode::Size,
       {{"/x/a.txt", "/z/a.txt", "/z/a.txt.bak"}, {"/w/\xC3\x89t\xC3\xA9.txt", "/v/\xC3\xA9t\xC3\xA9.txt"}}},
      {CompareMode::NameAndSize, {{"/x/a.txt", "/z/a.txt"}, {"/w/\xC3\x89t\xC3\xA9.txt", "/v/\xC3\xA9t\xC3\xA9.txt"}}},
  };
  for (const auto& [mode, expected] : cases) {
    Group(mode);
    EXPECT_EQ(Listed(), expected) << static_cast<int>(mode);
    EXPECT_EQ(window.LastStatus(), "Duplicate file groups populated.");
  }
}

TEST_F(FileGroupingTest, RowsCarryNumbersChecksFoldersAndSizes) {
  Add("/data/one.bin", 1572864);
  Add("/two.bin", 1572864);
  Add("/data/sub/three.bin", 1572864);
  Add("/u/small", 10);
  Add("/v/small", 10);
  Group(CompareMode::Size);

  ASSERT_EQ(fileClones.Groups().size(), 2u);
  EXPECT_EQ(fileClones.Groups()[0].header, "Group 1 (4.50 MB)");
  EXPECT_EQ(fileClones.Groups()[0].groupId, 1);
  EXPECT_EQ(fileClones.Groups()[1].header, "Group 2 (0.00 MB)");
  const auto& rows = fileClones.Rows();
  ASSERT_EQ(rows.size(), 5u);
  const std::vector<std::string> first = {"two.bin", "/", "1.50 MB"};
  auto cells = [this](const ListRow& row) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < fileClones.CellCount(row); ++i) texts.push_back(fileClones.CellText(row, i));
    return texts;
  };
  ASSERT_NE(rows[1].data, nullptr) << "a file row's texts come from its record";
  EXPECT_EQ(cells(rows[1]), first) << "a file in the root keeps \"/\" as its folder";
  EXPECT_EQ(cells(rows[2])[1], "/data/sub");
  const bool checks[] = {false, true, true, false, true};
  const char* captions[] = {"1", "1", "1", "2", "2"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].checked, checks[i]) << i;
    EXPECT_EQ(rows[i].caption, captions[i]) << i;
    EXPECT_EQ(rows[i].groupId, std::stoi(captions[i])) << i;
    EXPECT_EQ(rows[i].data, &files[i]) << i;
  }
}

TEST_F(FileGroupingTest, TotalsOfHugeSparseFilesDoNotOverflow) {
  // Two files of 5 EiB: their sum does not fit in 64 signed bits.
  const std::int64_t fiveEiB = std::int64_t{5} << 60;
  Add("/x/huge1", fiveEiB);
  Add("/x/huge2", fiveEiB);
  Add("/x/small1", 4);
  Add("/x/small2", 4);
  Group(CompareMode::Size);
  ASSERT_EQ(fileClones.Groups().size(), 2u);
  EXPECT_EQ(fileClones.Groups()[0].header, "Group 1 (8796093022208.00 MB)")
      << "held at the largest total, listed first";
}

TEST_F(FileGroupingTest, MinimumGroupSizeAndMaxGroupsKeepTheLargestTotals) {
  for (int size = 1; size <= 12; ++size) {
    Add("/a/" + std::to_string(size), size);
    Add("/b/" + std::to_string(size), size);
  }
  Add("/c/12", 12);

  settings.maxGroups = 5;
  Group(CompareMode::Size);
  ASSERT_EQ(fileClones.Groups().size(), 5u);
  EXPECT_EQ(Listed().front(), (std::vector<std::string>{"/a/12", "/b/12", "/c/12"}));
  EXPECT_EQ(Listed().back(), (std::vector<std::string>{"/a/8", "/b/8"}));
  EXPECT_EQ(fileClones.Groups()[4].groupId, 5);

  settings.maxGroups = 0;
  settings.minGroupSize = 3;
  Group(CompareMode::Size);
  EXPECT_EQ(Listed(), (Groups{{"/a/12", "/b/12", "/c/12"}}));

  settings.minGroupSize = 0;  // below 2 counts as 2
  Group(CompareMode::Size);
  EXPECT_EQ(fileClones.Groups().size(), 12u);
}

TEST_F(FileGroupingTest, NoGroupsLeavesAnEmptyListAndProgressMaximumOne) {
  Add("/a", 1);
  Add("/b", 2);
  Group(CompareMode::Size);
  EXPECT_TRUE(fileClones.Rows().empty());
  EXPECT_TRUE(fileClones.Groups().empty());
  const std::vector<std::string> tail = {"pos:0", "range:0-1", "pos:0", "status:Duplicate file groups populated."};
  EXPECT_EQ(std::vector<std::string>(window.calls.end() - 4, window.calls.end()), tail);
}

TEST_F(FileGroupingTest, ContentModeSkipsUnhashedFilesAndFailedSizesGroupLast) {
  const std::string digest(40, 'a');
  Add("/a", 5, digest);
  Add("/b", 5, digest);
  Add("/c", 5, "");
  Add("/d", 5, "");
  Group(CompareMode::Content);
  EXPECT_EQ(Listed(), (Groups{{"/a", "/b"}}));

  files.clear();
  Add("/x", -1);
  Add("/y", -1);
  Add("/p", 3);
  Add("/q", 3);
  Group(CompareMode::NameAndSize);
  EXPECT_TRUE(fileClones.Rows().empty());
  Group(CompareMode::Size);
  EXPECT_EQ(Listed(), (Groups{{"/p", "/q"}, {"/x", "/y"}}));
  EXPECT_EQ(fileClones.CellText(fileClones.Rows()[2], 2), "0");
}

TEST_F(FileGroupingTest, ContentGroupsNeedTheWholeCheckAndTheSha1ToAgree) {
  const std::string one(40, 'a'), other(40, 'b');
  const struct {
    const char* path;
    std::string sha1;
    std::array<std::uint64_t, 2> check;
  } files[] = {
      {"/a", one, {1, 1}},   {"/b", one, {1, 2}},  // the same first half of the check
      {"/c", other, {1, 1}},                       // a's check, another SHA-1
      {"/d", one, {1, 1}},   {"/e", one, {1, 2}},  // the twins of a and b
      {"/f", one, {2, 1}},                         // a's halves the other way round
  };
  for (const auto& file : files) Add(file.path, 5, file.sha1).contentCheck = file.check;
  Group(CompareMode::Content);
  EXPECT_EQ(Listed(), (Groups{{"/a", "/d"}, {"/b", "/e"}}));
}

TEST_F(FileGroupingTest, ListingPumpsEveryFiftyGroupsAndStopKeepsWhatIsListed) {
  for (int i = 1; i <= 120; ++i) {
    Add("/a/" + std::to_string(i), i);
    Add("/b/" + std::to_string(i), i);
  }
  window.onPump = [this](int) {
    if (window.LastStatus() == "Listing file groups (100/120)...") stop = true;
  };
  Group(CompareMode::Size);
  EXPECT_EQ(window.Statuses(),
            (std::vector<std::string>{"Listing file groups (50/120)...", "Listing file groups (100/120)..."}));
  EXPECT_EQ(fileClones.Groups().size(), 100u);
  EXPECT_EQ(fileClones.Rows().size(), 200u);
  EXPECT_FALSE(fileClones.Updating()) << "the batch update ends also after a stop";
}

TEST(Sha1Digest, HoldsTwentyBytesReadAndWrittenAsHex) {
  const std::string hex = "a9993e364706816aba3e25717850c26c9cd0d89d";
  const Sha1Digest digest(hex);
  EXPECT_EQ(digest.Hex(), hex);
  EXPECT_EQ(digest.Bytes().size(), 20u);
  EXPECT_EQ(Sha1Digest("A9993E364706816ABA3E25717850C26C9CD0D89D"), digest) << "upper case reads the same";
  EXPECT_TRUE(Sha1Digest("").empty());
  EXPECT_EQ(Sha1Digest("").Hex(), "");
  EXPECT_FALSE(Sha1Digest(std::string(40, '0')).empty()) << "all zero is a digest, not none";
  for (const std::string& bad : {std::string(39, 'a'), std::string(41, 'a'), std::string(40, 'g')}) {
    EXPECT_THROW(Sha1Digest{bad}, std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace orvanta
