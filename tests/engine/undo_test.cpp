// The record of the last removal and its undo: every item put back with its
// exact name, never over what stands at its path now, never through a link
// planted on the way, and the record kept for what could not be put back.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "actions/prompts.h"
#include "actions/removal_record.h"
#include "cli_run.h"
#include "platform/platform.h"
#include "test_support.h"
#include "text/json.h"
#include "text/translate.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

struct RecordedPrompts : Prompts {
  std::vector<std::string> shown;
  bool answer = true;
  void Message(const std::string& text) override { shown.push_back("message:" + text); }
  bool Confirm(const std::string& text, bool) override {
    shown.push_back("confirm:" + text);
    return answer;
  }
};

class UndoTest : public ::testing::Test {
 protected:
  // Moves the items to the test trash as a removal does, recording them.
  std::vector<platform::TrashOutcome> Remove(const std::vector<std::string>& relative) {
    std::vector<platform::TrashItem> items;
    for (const std::string& r : relative) {
      platform::FileAttributes attributes;
      EXPECT_TRUE(platform::QueryAttributes(tree.Path(r), attributes)) << r;
      items.push_back({tree.Path(r), attributes.id});
    }
    return RecordingRemoval(trash.Mover())(items, {});
  }
  std::vector<platform::TrashedItem> Record() {
    std::string error;
    const auto items = ReadRemovalRecord(error);
    EXPECT_TRUE(items.has_value()) << error;
    return items.value_or(std::vector<platform::TrashedItem>{});
  }
  std::vector<UndoneItem> Undo() { return UndoLastRemoval(Record()); }
  std::vector<std::string> RecordedPaths() {
    std::vector<std::string> paths;
    for (const auto& item : Record()) paths.push_back(tree.Relative(item.path));
    return paths;
  }

  test::TempTree tree;
  const test::TestTrash trash{tree};
};

TEST_F(UndoTest, PutsBackFilesAndFoldersWithTheirExactNames) {
  ORVANTA_SKIP_UNLESS_POSIX("names with newlines and bytes that are not UTF-8; the trash by its .trashinfo");
  const std::vector<std::string> names = {"x/plain.txt", "x/new\nline.txt", "x/caf\xE9.txt", "x/50% \"q\" 'a'.txt",
                                          "y/album"};
  for (std::size_t i = 0; i + 1 < names.size(); ++i) tree.File(names[i], "bytes of " + names[i]);
  tree.File("y/album/inner/photo.jpg", "photo");
  tree.File("z/plain.txt", "a second item of the same name");
  std::vector<std::string> removed = names;
  removed.push_back("z/plain.txt");
  for (const auto& outcome : Remove(removed)) ASSERT_TRUE(outcome.moved) << outcome.reason;
  EXPECT_EQ(RecordedPaths(), removed);
  EXPECT_FALSE(fs::exists(tree.Path("x/new\nline.txt")));

  const std::vector<UndoneItem> undone = Undo();
  ASSERT_EQ(undone.size(), removed.size());
  for (const UndoneItem& item : undone) EXPECT_TRUE(item.restored) << tree.Relative(item.path) << ": " << item.reason;
  for (std::size_t i = 0; i + 1 < names.size(); ++i)
    EXPECT_EQ(test::ReadFile(tree.Path(names[i])), "bytes of " + names[i]);
  EXPECT_EQ(test::ReadFile(tree.Path("y/album/inner/photo.jpg")), "photo");
  EXPECT_EQ(test::ReadFile(tree.Path("z/plain.txt")), "a second item of the same name");
  EXPECT_TRUE(fs::is_empty(tree.Path("data/Trash/files")));
  EXPECT_TRUE(fs::is_empty(tree.Path("data/Trash/info"))) << "each .trashinfo goes with its item";
  EXPECT_TRUE(Record().empty()) << "nothing is left to undo";
}

// The person put something new at a path: it stays, the item stays in the
// trash and in the record, and a later undo puts it back once the path is free.
TEST_F(UndoTest, NeverPutsAnItemOverWhatStandsAtItsPathAndKeepsItForAnotherTry) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  tree.File("a.txt", "old a");
  tree.File("b.txt", "old b");
  tree.File("d/inside.txt", "old d");
  tree.File("gone/c.txt", "old c");
  tree.File("emptied.txt", "old e");
  Remove({"a.txt", "b.txt", "d", "gone/c.txt", "emptied.txt"});
  tree.File("a.txt", "new a");
  tree.Dir("d");  // an empty folder takes the place of the folder too
  fs::remove(tree.Path("gone"));
  fs::remove(tree.Path("data/Trash/files/emptied.txt"));

  const std::vector<UndoneItem> undone = Undo();
  ASSERT_EQ(undone.size(), 5u);
  EXPECT_FALSE(undone[0].restored);
  EXPECT_EQ(undone[0].reason, "Something now stands at its original path.");
  EXPECT_TRUE(undone[1].restored);
  EXPECT_FALSE(undone[2].restored);
  EXPECT_EQ(undone[2].reason, "Something now stands at its original path.");
  EXPECT_EQ(undone[3].reason, "The folder it was in is gone.");
  EXPECT_EQ(undone[4].reason, "The trash no longer holds it.");
  EXPECT_EQ(test::ReadFile(tree.Path("a.txt")), "new a");
  EXPECT_EQ(test::ReadFile(tree.Path("b.txt")), "old b");
  EXPECT_TRUE(fs::is_empty(tree.Path("d")));
  EXPECT_FALSE(fs::exists(tree.Path("gone"))) << "no folder is made";
  EXPECT_EQ(RecordedPaths(), (std::vector<std::string>{"a.txt", "d", "gone/c.txt"}));
  EXPECT_EQ(UndoOutcomeText(undone).rfind("Put back: 1. Stayed: 4.", 0), 0u);

  fs::remove(tree.Path("a.txt"));
  fs::remove(tree.Path("d"));
  tree.Dir("gone");
  for (const UndoneItem& item : Undo()) EXPECT_TRUE(item.restored) << tree.Relative(item.path) << ": " << item.reason;
  EXPECT_EQ(test::ReadFile(tree.Path("a.txt")), "old a");
  EXPECT_EQ(test::ReadFile(tree.Path("d/inside.txt")), "old d");
  EXPECT_EQ(test::ReadFile(tree.Path("gone/c.txt")), "old c");
  EXPECT_TRUE(Record().empty());
}

// A folder on the way swapped for a link: nothing lands where the link points.
// An item of the same name that took the trash's slot is not the one moved.
TEST_F(UndoTest, NeitherAPlantedLinkNorAnotherItemInTheTrashIsFollowed) {
  ORVANTA_SKIP_UNLESS_POSIX("symbolic links and inode identity");
  tree.File("p/item.txt", "moved");
  tree.File("q/other.txt", "second");
  Remove({"p/item.txt", "q/other.txt"});
  fs::rename(tree.Path("p"), tree.Path("p-aside"));
  tree.Dir("elsewhere");
  tree.Symlink("p", tree.Path("elsewhere"));
  // The trash emptied and another other.txt trashed since, under the same name
  // (made while the first still held its inode, so it has another).
  tree.File("stranger.txt", "a stranger");
  fs::remove(tree.Path("data/Trash/files/other.txt"));
  fs::rename(tree.Path("stranger.txt"), tree.Path("data/Trash/files/other.txt"));

  const std::vector<UndoneItem> undone = Undo();
  EXPECT_FALSE(undone[0].restored);
  EXPECT_EQ(undone[0].reason, "a folder on its path is now a link or no folder");
  EXPECT_TRUE(fs::is_empty(tree.Path("elsewhere")));
  EXPECT_FALSE(undone[1].restored);
  EXPECT_EQ(undone[1].reason, "The trash no longer holds it.");
  EXPECT_FALSE(fs::exists(tree.Path("q/other.txt")));
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/other.txt")), "a stranger");
  EXPECT_EQ(RecordedPaths(), std::vector<std::string>{"p/item.txt"});
}

TEST_F(UndoTest, ARemovalThatMovedNothingLeavesTheLastRecord) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  tree.File("kept.txt", "k");
  Remove({"kept.txt"});
  const auto outcomes = RecordingRemoval(trash.Mover())({{tree.Path("missing.txt"), {}}}, {});
  EXPECT_FALSE(outcomes[0].moved);
  EXPECT_EQ(RecordedPaths(), std::vector<std::string>{"kept.txt"});
}

// The window's command: nothing to undo, the question, No, then Yes.
TEST_F(UndoTest, TheCommandAsksFirstAndSaysWhatHappened) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  RecordedPrompts prompts;
  UndoRemoval(prompts);
  EXPECT_EQ(prompts.shown, std::vector<std::string>{"message:There is no removal to undo."});
  tree.File("a.txt", "a");
  tree.File("b.txt", "b");
  Remove({"a.txt", "b.txt"});
  prompts.shown.clear();
  prompts.answer = false;
  UndoRemoval(prompts);
  EXPECT_EQ(prompts.shown,
            std::vector<std::string>{"confirm:Put back the 2 items the last removal moved to the trash?"});
  EXPECT_FALSE(fs::exists(tree.Path("a.txt")));
  prompts.shown.clear();
  prompts.answer = true;
  UndoRemoval(prompts);
  ASSERT_EQ(prompts.shown.size(), 2u);
  EXPECT_EQ(prompts.shown[1], "message:Put back: 2. Stayed: 0.");
  EXPECT_EQ(test::ReadFile(tree.Path("a.txt")), "a");
}

// A record damaged or cut short is named and never acted on.
TEST_F(UndoTest, ADamagedRecordIsNamedAndNothingMoves) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  tree.File("a.txt", "a");
  Remove({"a.txt"});
  const std::string record = test::ReadFile(RemovalRecordFile());
  ASSERT_NE(record.find("\"items\""), std::string::npos);
  const std::vector<std::string> damaged = {
      record.substr(0, record.size() / 2),
      record.substr(0, record.size() - 3),
      "{}",
      "[]",
      "\xFF\xFE",
      "{\"format\": \"orvanta-removal-record\", \"version\": 2, \"items\": []}",
      "{\"format\": \"orvanta-removal-record\", \"version\": 1, \"items\": [{\"path\": \"/x\"}]}",
      "{\"format\": \"orvanta-removal-record\", \"version\": 1, \"items\": [{\"path\": \"/x\", \"trash\": \"\", "
      "\"name\": \"x\", \"id\": \"1:2:3:4\"}]}"};
  for (const std::string& bytes : damaged) {
    platform::ReplaceFileContents(RemovalRecordFile(), bytes);
    std::string error;
    EXPECT_FALSE(ReadRemovalRecord(error).has_value()) << bytes;
    RecordedPrompts prompts;
    UndoRemoval(prompts);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].rfind("message:The record of the last removal cannot be read: ", 0), 0u);
  }
  EXPECT_FALSE(fs::exists(tree.Path("a.txt")));
}

TEST_F(UndoTest, TheCommandLinePutsBackWithYesAndNamesWhatStayed) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  auto run = [](std::vector<std::string> args, int stdinIsTerminal = 0) {
    CliHooks hooks;
    hooks.stdinIsTerminal = stdinIsTerminal;
    std::istringstream no("n\n");
    hooks.input = &no;
    const test::CliResult r = test::RunCliWith(std::move(args), hooks);
    return std::pair{r.status, r.err};
  };
  EXPECT_EQ(run({"--undo-last", "--yes"}), (std::pair{1, std::string("orvanta-cli: There is no removal to undo.\n")}));
  EXPECT_EQ(run({"--undo-last", tree.Root()}).first, 2);
  EXPECT_EQ(run({"--undo-last", "--trash", "all"}).first, 2);
  EXPECT_EQ(run({"--undo-last"}).first, 2) << "no terminal to answer on";

  tree.File("d/x\ny.txt", "x");
  tree.File("taken.txt", "t");
  Remove({"d/x\ny.txt", "taken.txt"});
  tree.File("taken.txt", "new");
  EXPECT_EQ(run({"--undo-last"}, 1).first, 1) << "answered No";
  EXPECT_FALSE(fs::exists(tree.Path("d/x\ny.txt")));
  const auto [status, err] = run({"--undo-last", "--yes"});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Put back: '" + tree.Path("d/x") + "'$'\\n''y.txt'\n"), std::string::npos) << err;
  EXPECT_NE(err.find("Stayed: " + tree.Path("taken.txt") + " (Something now stands at its original path.)\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(test::ReadFile(tree.Path("d/x\ny.txt")), "x");
  EXPECT_EQ(test::ReadFile(tree.Path("taken.txt")), "new");
}

// The command line's removal writes the record; its dry run does not.
TEST_F(UndoTest, TheCommandLinesRemovalIsRecordedAndItsDryRunIsNot) {
  ORVANTA_SKIP_UNLESS_POSIX("the trash by its .trashinfo");
  tree.File("scan/a/dup.txt", "same");
  tree.File("scan/b/dup.txt", "same");
  auto run = [&](std::vector<std::string> args) {
    args.push_back(tree.Path("scan"));
    CliHooks hooks;
    hooks.moveToTrash = trash.Mover();
    return test::RunCliWith(std::move(args), hooks).status;
  };
  EXPECT_EQ(run({"--min-size-mb=0", "--trash", "all-but-one", "--dry-run"}), 0);
  EXPECT_TRUE(Record().empty());
  EXPECT_EQ(run({"--min-size-mb=0", "--trash", "all-but-one", "--yes"}), 0);
  const std::vector<std::string> recorded = RecordedPaths();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_FALSE(fs::exists(tree.Path(recorded[0])));
  for (const UndoneItem& item : Undo()) EXPECT_TRUE(item.restored) << item.reason;
  EXPECT_EQ(test::ReadFile(tree.Path(recorded[0])), "same");
}

// The reader takes back every byte the writer wrote, and nothing malformed.
TEST(Json, RoundTripsEveryByteAndRefusesWhatIsMalformed) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::vector<std::string> texts = {
      "", "plain", all, "caf\xC3\xA9 \xF0\x9F\x98\x80", "\xC2\x85 C1", "a\"b\\c\n", "\xED\xA0\x80 encoded surrogate"};
  std::string document = "{\"list\": [";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) document += ", ";
    AppendJsonString(document, texts[i]);
  }
  document += "], \"n\": -9223372036854775807, \"big\": 18446744073709551616, \"f\": 1.5e3, \"t\": true}";
  std::size_t offset = 0;
  const auto parsed = ParseJson(document, offset);
  ASSERT_TRUE(parsed) << "at " << offset << ": " << document.substr(offset, 20);
  const JsonValue* list = parsed->Find("list");
  ASSERT_TRUE(list != nullptr && list->IsArray());
  ASSERT_EQ(list->items.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(list->items[i].text, texts[i]) << i;
  EXPECT_EQ(parsed->Find("n")->integer, -9223372036854775807);
  EXPECT_FALSE(parsed->Find("big")->isInteger) << "too large to be exact";
  EXPECT_EQ(parsed->Find("f")->number, 1500.0);
  EXPECT_TRUE(parsed->Find("t")->boolean);

  for (std::size_t cut = 0; cut < document.size(); ++cut) {
    EXPECT_FALSE(ParseJson(document.substr(0, cut), offset)) << cut;
  }
  for (const std::string bad : {"{\"a\" 1}", "[1,]", "[01]", "\"\\ud800\"", "\"\\udc10\"", "\"tab\there\"", "nul",
                                "[1] 2", "{\"a\":1,}", "\"\\x41\""}) {
    EXPECT_FALSE(ParseJson(bad, offset)) << bad;
  }
  EXPECT_FALSE(ParseJson(std::string(100000, '['), offset)) << "too deep";
}

}  // namespace
}  // namespace orvanta
