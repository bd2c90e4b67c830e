#include <gtest/gtest.h>

#include <stdexcept>

#include "scan/scan_run.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::TempTree;

class ScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.File("a/same.txt", "12345");
    tree.File("b/same.txt", "12345");
    tree.File("b/other.txt", "1234567");
    settings.folders = {tree.Folder()};
    settings.compare = CompareMode::Name;
  }
  // The calls that open and close a run, without those of the stages.
  std::vector<std::string> RunFrame() const {
    std::vector<std::string> frame;
    for (const auto& call : window.calls) {
      if (call.rfind("cursor:", 0) == 0 || call.rfind("stop:", 0) == 0 || call.rfind("message:", 0) == 0) {
        frame.push_back(call);
      }
    }
    return frame;
  }

  TempTree tree;
  test::RecordingWindow window;
  test::FakeSettings settings;
  ScanRun run{window, settings};
};

TEST_F(ScanRunTest, ACompleteRunEndsDoneAndRestoresTheWindow) {
  run.btnScanClick();
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "cursor:default", "stop:off"}));
  const std::vector<std::string> tail = {"status:  Done.", "cursor:default", "pos:0", "stop:off"};
  EXPECT_EQ(std::vector<std::string>(window.calls.end() - 4, window.calls.end()), tail);
  ASSERT_EQ(run.FileClones().Groups().size(), 1u);
  EXPECT_EQ(run.Files().size(), 3u);
  EXPECT_FALSE(run.Running());
}

TEST_F(ScanRunTest, AnEmptyFolderListOnlyShowsAMessageAndKeepsTheResults) {
  run.btnScanClick();
  window.calls.clear();
  settings.folders.clear();
  run.btnScanClick();
  EXPECT_EQ(window.calls, std::vector<std::string>{"message:Please add at least one folder."});
  EXPECT_EQ(run.FileClones().Groups().size(), 1u);
}

TEST_F(ScanRunTest, WithoutEitherCloneKindTheRunStillCollects) {
  settings.fileClones = false;
  settings.folderClones = false;
  run.btnScanClick();
  const auto statuses = window.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Found 3 files (after filters)."), statuses.end());
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_TRUE(run.FileClones().Rows().empty());
  EXPECT_TRUE(run.FolderClones().Rows().empty());
}

TEST_F(ScanRunTest, StopDuringCollectionKeepsTheCollectionText) {
  window.onPump = [this](int) {
    if (window.LastStatus() == "Scanning folders...") run.btnStopClick();
  };
  run.btnScanClick();
  EXPECT_EQ(window.LastStatus(), "Scanning cancelled. 0 files collected so far.");
  EXPECT_TRUE(run.FileClones().Rows().empty());
  const std::vector<std::string> tail = {"cursor:default", "stop:off", "pos:0"};
  EXPECT_EQ(std::vector<std::string>(window.calls.end() - 3, window.calls.end()), tail);
}

TEST_F(ScanRunTest, StopDuringGroupingEndsCancelledAndTheNextScanStartsAfresh) {
  for (int i = 0; i < 60; ++i) {
    tree.File("a/n" + std::to_string(i), "x");
    tree.File("b/n" + std::to_string(i), "x");
  }
  window.onStatus = [this](const std::string& text) {
    if (text.rfind("Listing file groups", 0) == 0) {
      run.btnStopClick();
      run.btnStopClick();
    }
  };
  run.btnScanClick();
  EXPECT_EQ(window.LastStatus(), "Cancelled");
  EXPECT_EQ(run.FileClones().Groups().size(), 50u);
  EXPECT_TRUE(run.StopFlag()) << "the flag stays set until the next scan";

  window.onStatus = nullptr;
  run.btnScanClick();
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_EQ(run.FileClones().Groups().size(), 61u);
}

TEST_F(ScanRunTest, AnErrorInAStageIsShownAndTheWindowRestored) {
  window.onStatus = [](const std::string& text) {
    if (text.rfind("Scanning: ", 0) == 0) throw std::runtime_error("disk on fire");
  };
  run.btnScanClick();
  EXPECT_EQ(window.Messages(), std::vector<std::string>{"Error: disk on fire"});
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "message:Error: disk on fire",
                                                  "cursor:default", "stop:off"}));
  EXPECT_EQ(run.Files().size(), 1u) << "the registry keeps what was collected";
  EXPECT_FALSE(run.Running());
}

TEST_F(ScanRunTest, AForeignExceptionPassesOnButTheWindowIsRestored) {
  window.onStatus = [](const std::string& text) {
    if (text.rfind("Scanning: ", 0) == 0) throw 42;
  };
  EXPECT_THROW(run.btnScanClick(), int);
  EXPECT_TRUE(window.Messages().empty()) << "not shown as an error of the scan";
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "cursor:default", "stop:off"}));
  EXPECT_FALSE(run.Running()) << "the next Scan runs";
}

TEST_F(ScanRunTest, AScanClickedDuringARunIsIgnored) {
  int nested = 0;
  window.onPump = [&](int) {
    if (nested++ == 0) run.btnScanClick();
  };
  run.btnScanClick();
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_EQ(run.Files().size(), 3u);
}

TEST(CompareModeFromIndex, AnyOtherIndexIsContent) {
  EXPECT_EQ(CompareModeFromIndex(0), CompareMode::Name);
  EXPECT_EQ(CompareModeFromIndex(1), CompareMode::Size);
  EXPECT_EQ(CompareModeFromIndex(2), CompareMode::NameAndSize);
  for (int index : {3, -1, 7}) EXPECT_EQ(CompareModeFromIndex(index), CompareMode::Content);
}

TEST(ReadIntegerSetting, TextThatIsNotAnIntegerReadsAsTheFallback) {
  EXPECT_EQ(ReadIntegerSetting("42", 0), 42);
  EXPECT_EQ(ReadIntegerSetting(" 7 ", 0), 7);
  for (const char* text : {"", "abc", "4x", "1.5", "99999999999999999999"}) {
    EXPECT_EQ(ReadIntegerSetting(text, 2), 2) << text;
  }
}

}  // namespace
}  // namespace orvanta
