// Saved results: what was saved opens again equal; what changed since is
// stale and no removal touches it; anything else is refused with a reason.
#include <gtest/gtest.h>

#include <sstream>

#include "actions/check_marks.h"
#include "actions/list_rows.h"
#include "actions/saved_results.h"
#include "cli_run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

using test::CliResult;
using test::RunCliWith;

// Every row as the lists hold it: group, mark, stale, and the whole record.
std::vector<std::string> Described(const ResultList& list) {
  std::vector<std::string> rows;
  for (const ListRow& row : list.Rows()) {
    const FileRecord& r = *row.data;
    rows.push_back(row.caption + (row.checked ? " x " : " - ") + (row.stale ? "stale " : "") + RowPath(row) + " " +
                   std::to_string(r.size) + " " + std::to_string(r.id.device) + ":" + std::to_string(r.id.inode) + " " +
                   std::to_string(r.modified) + " " + std::to_string(r.changed) + " " + std::to_string(r.owner) +
                   (r.inSharedFolder ? " shared" : ""));
  }
  for (const ListGroup& group : list.Groups())
    rows.push_back("group " + std::to_string(group.groupId) + " " + group.header);
  return rows;
}

class SavedResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scanned.tree.File("a/photo.jpg", "photo bytes");
    scanned.tree.File("b/photo.jpg", "photo bytes");
    scanned.tree.File("b/100% \"odd\".txt", "text");
    scanned.tree.File("c/100% \"odd\".txt", "text");
#ifndef _WIN32
    scanned.tree.File("c/new\nline\xE9.dat", "bytes");
    scanned.tree.File("d/new\nline\xE9.dat", "bytes");
#endif
    scanned.settings.folderClones = true;
    scanned.tree.File("e/photo.jpg", "photo bytes");
    scanned.tree.File("e2/photo.jpg", "photo bytes");
    scanned.run.Run();
    CheckAllButOneInGroup(scanned.run.FileClones());
  }
  std::string Saved() {
    return SavedResultsJson(scanned.run.FileClones(), scanned.run.FolderClones(), scanned.run.ResultsCompare());
  }
  std::string SaveToFile() {
    const std::string file = scanned.tree.Path("saved.json");
    SaveResults(scanned.run.FileClones(), scanned.run.FolderClones(), CompareMode::Content, file);
    return file;
  }

  test::ScannedTree scanned;
};

TEST_F(SavedResultsTest, ASavedResultLoadsBackEqual) {
  ASSERT_FALSE(scanned.run.FolderClones().Rows().empty());
  const std::string json = Saved();
  std::string error;
  const auto saved = ParseSavedResults(json, error);
  ASSERT_TRUE(saved) << error;
  EXPECT_EQ(saved->roots, scanned.settings.folders);

  test::RecordingWindow window;
  test::FakeSettings settings;
  ScanRun loaded(window, settings);
  EXPECT_EQ(loaded.LoadSaved(*saved), 0u);
  for (auto [from, to] : {std::pair{&scanned.run.FileClones(), &loaded.FileClones()},
                          std::pair{&scanned.run.FolderClones(), &loaded.FolderClones()}}) {
    EXPECT_EQ(Described(*to), Described(*from));
    EXPECT_EQ(to->GroupedByContent(), from->GroupedByContent());
    EXPECT_EQ(to->GroupsFound(), from->GroupsFound());
    EXPECT_EQ(to->Roots().Roots(), from->Roots().Roots());
  }
  EXPECT_EQ(SavedResultsJson(loaded.FileClones(), loaded.FolderClones(), loaded.ResultsCompare()), json)
      << "saved again, byte for byte the same";
}

// An edit that put size and time back, a file gone: stale, unchecked, and
// the command line's removal leaves them where they are.
TEST_F(SavedResultsTest, OneWhoseFilesChangedRefusesToActOnThem) {
  const std::string file = SaveToFile();
  const ResultList& files = scanned.run.FileClones();
  std::vector<std::string> checked;
  for (const ListRow& row : files.Rows()) {
    if (row.checked) checked.push_back(RowPath(row));
  }
  ASSERT_GE(checked.size(), 2u);
  test::EditInPlaceKeepingTime(checked[0], std::string(test::ReadFile(checked[0]).size(), '#'));
  const std::string edited = test::ReadFile(checked[0]);

  test::TestTrash trash(scanned.tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  const CliResult listed = RunCliWith({"--load", file, "--folders"}, hooks);
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.err.find("1 of the saved items changed since"), std::string::npos) << listed.err;
  const CliResult removed = RunCliWith({"--load", file, "--trash", "all", "--yes"}, hooks);
  EXPECT_EQ(test::ReadFile(checked[0]), edited) << removed.err;
  EXPECT_TRUE(platform::FileExists(checked[0]));
  EXPECT_NE(removed.err.find("Moved to the trash: "), std::string::npos) << "the others still move: " << removed.err;
  EXPECT_EQ(removed.err.find("Moved to the trash: " + checked[0] + "\n"), std::string::npos);
}

TEST_F(SavedResultsTest, MalformedOrForeignFilesAreRefusedWithTheReason) {
  const std::string json = Saved();
  std::string error;
  // Every cut short of the closing brace (the line break after it is no part of the document).
  const std::size_t whole = json.find_last_of('}') + 1;
  for (std::size_t cut = 0; cut < whole; cut += 7) {
    EXPECT_FALSE(ParseSavedResults(json.substr(0, cut), error)) << cut;
    EXPECT_FALSE(error.empty());
  }
  const std::pair<std::string, std::string> cases[] = {
      {"", "It is no JSON document (at byte 0)."},
      {"{\"files\": [], \"folders\": []}", "It holds no saved results of Orvanta."},
      {"{\"format\": \"orvanta-results\", \"version\": 2}", "It was saved by another version of Orvanta."},
      {"{\"format\": \"orvanta-results\", \"version\": 1, \"compare\": \"bytes\", \"roots\": [], \"files\": [], "
       "\"folders\": []}",
       "Its contents are damaged."},
      {"{\"format\": \"orvanta-results\", \"version\": 1, \"compare\": \"size\", \"roots\": [], \"files\": [{\"group\": "
       "1, \"header\": \"h\", \"size\": 1, \"paths\": [], \"members\": [{\"path\": \"/x\"}]}], \"folders\": []}",
       "Its contents are damaged."},
  };
  for (const auto& [text, reason] : cases) {
    EXPECT_FALSE(ParseSavedResults(text, error)) << text;
    EXPECT_EQ(error, reason) << text;
  }
  // Mangled bytes anywhere never crash the reader.
  for (std::size_t at = 0; at < json.size(); at += 5) {
    std::string mangled = json;
    mangled[at] = static_cast<char>(mangled[at] ^ 0x5A);
    ParseSavedResults(mangled, error);
  }

  const std::string garbage = scanned.tree.File("garbage.json", "{\"format\": ");
  const CliResult refused = RunCliWith({"--load", garbage});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "orvanta-cli: Cannot open the saved results: '" + garbage + "': It is no JSON document (at byte 11).\n");
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(RunCliWith({"--load", garbage, scanned.tree.Root()}).status, 2);
  EXPECT_EQ(RunCliWith({"--load", scanned.tree.Path("missing.json")}).status, 1);
}

}  // namespace
}  // namespace orvanta
