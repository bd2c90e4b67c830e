#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>

#include "scan/scan_run.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::TempTree;
using Kind = ScanOutcome::Kind;

// Settings whose masks cannot be read when `failure` is set: the collection
// stage then fails with it.
struct Settings : test::FakeSettings {
  std::string failure;
  std::string MasksText() const override {
    if (!failure.empty()) throw std::runtime_error(failure);
    return FakeSettings::MasksText();
  }
};

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
      if (call.rfind("cursor:", 0) == 0 || call.rfind("stop:", 0) == 0) frame.push_back(call);
    }
    return frame;
  }

  TempTree tree;
  test::RecordingWindow window;
  Settings settings;
  ScanRun run{window, settings};
};

TEST_F(ScanRunTest, EachWayARunEndsIsItsOutcomeAndTheHostIsRestored) {
  const std::vector<std::string> restored = {"stop:on", "cursor:busy", "cursor:default", "stop:off"};
  const struct {
    const char* name;
    std::function<void()> arrange;
    Kind kind;
    std::string error, lastStatus;
    std::vector<std::string> frame;
  } cases[] = {
      {"done", [] {}, Kind::Done, "", "  Done.", restored},
      {"stopped", [this] { window.onPump = [this](int) { run.RequestStop(); }; }, Kind::Stopped, "",
       "Scanning cancelled. 0 files collected so far.", restored},
      {"no folders", [this] { settings.folders.clear(); }, Kind::NoFolders, "", "", {}},
      {"failed", [this] { settings.failure = "masks unreadable"; }, Kind::Failed, "masks unreadable",
       "Scanning folders...", restored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window = {};
    settings.folders = {tree.Folder()};
    settings.failure.clear();
    c.arrange();
    const ScanOutcome outcome = run.Run();
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(window.LastStatus(), c.lastStatus);
    EXPECT_EQ(RunFrame(), c.frame);
    EXPECT_FALSE(run.Running());
  }
}

TEST_F(ScanRunTest, ACompleteRunEndsDoneAndRestoresTheWindow) {
  EXPECT_EQ(run.Run().kind, Kind::Done);
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "cursor:default", "stop:off"}));
  const std::vector<std::string> tail = {"status:  Done.", "cursor:default", "pos:0", "stop:off"};
  EXPECT_EQ(std::vector<std::string>(window.calls.end() - 4, window.calls.end()), tail);
  ASSERT_EQ(run.FileClones().Groups().size(), 1u);
  EXPECT_EQ(run.Files().size(), 3u);
  EXPECT_FALSE(run.Running());
}

TEST_F(ScanRunTest, AnEmptyFolderListOnlySaysSoAndKeepsTheResults) {
  run.Run();
  window.calls.clear();
  settings.folders.clear();
  EXPECT_EQ(run.Run().kind, Kind::NoFolders);
  EXPECT_EQ(window.calls, std::vector<std::string>{}) << "the host is not touched";
  EXPECT_EQ(run.FileClones().Groups().size(), 1u);
}

TEST_F(ScanRunTest, WithoutEitherCloneKindTheRunStillCollects) {
  settings.fileClones = false;
  settings.folderClones = false;
  run.Run();
  const auto statuses = window.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Found 3 files (after filters)."), statuses.end());
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_TRUE(run.FileClones().Rows().empty());
  EXPECT_TRUE(run.FolderClones().Rows().empty());
}

TEST_F(ScanRunTest, StopDuringCollectionKeepsTheCollectionText) {
  window.onPump = [this](int) {
    if (window.LastStatus() == "Scanning folders...") run.RequestStop();
  };
  run.Run();
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
      run.RequestStop();
      run.RequestStop();
    }
  };
  run.Run();
  EXPECT_EQ(window.LastStatus(), "Cancelled");
  EXPECT_EQ(run.FileClones().Groups().size(), 50u);
  EXPECT_TRUE(run.StopFlag()) << "the flag stays set until the next scan";

  window.onStatus = nullptr;
  run.Run();
  EXPECT_EQ(window.LastStatus(), "  Done.");
  EXPECT_EQ(run.FileClones().Groups().size(), 61u);
}

TEST_F(ScanRunTest, AnErrorInAStageIsTheOutcomeAndTheWindowRestored) {
  window.onStatus = [](const std::string& text) {
    if (text.rfind("Scanning: ", 0) == 0) throw std::runtime_error("disk on fire");
  };
  const ScanOutcome outcome = run.Run();
  EXPECT_EQ(outcome.kind, Kind::Failed);
  EXPECT_EQ(outcome.error, "disk on fire");
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "cursor:default", "stop:off"}));
  EXPECT_EQ(run.Files().size(), 1u) << "the registry keeps what was collected";
  EXPECT_FALSE(run.Running());
}

TEST_F(ScanRunTest, AForeignExceptionPassesOnButTheWindowIsRestored) {
  window.onStatus = [](const std::string& text) {
    if (text.rfind("Scanning: ", 0) == 0) throw 42;
  };
  EXPECT_THROW(run.Run(), int) << "not turned into an error of the scan";
  EXPECT_EQ(RunFrame(), (std::vector<std::string>{"stop:on", "cursor:busy", "cursor:default", "stop:off"}));
  EXPECT_FALSE(run.Running()) << "the next Scan runs";
}

TEST_F(ScanRunTest, AScanClickedDuringARunIsIgnored) {
  int nested = 0;
  std::optional<ScanOutcome> nestedOutcome;
  window.onPump = [&](int) {
    if (nested++ == 0) nestedOutcome = run.Run();
  };
  EXPECT_EQ(run.Run().kind, Kind::Done);
  ASSERT_TRUE(nestedOutcome.has_value());
  EXPECT_EQ(nestedOutcome->kind, Kind::AlreadyRunning);
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
