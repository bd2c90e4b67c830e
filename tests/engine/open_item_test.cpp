#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "actions/list_rows.h"
#include "actions/open_location.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "platform/platform.h"
#include "test_support.h"

namespace orvanta {
namespace {

TEST(OpenRowItem, OpensTheRowsFileOrFolderAndSaysWhenNothingCould) {
  test::TempTree tree;
  const std::string file = tree.File("d/f.txt", "x");
  FileRegistry records;
  const FileRecord& present = records.Add(file, 1);
  const FileRecord& gone = records.Add(tree.Path("d/gone.txt"), 1);
  ResultList files = MakeFileCloneList();
  files.AddRow().data = &present;
  files.AddRow().data = &gone;
  ResultList folders = MakeFolderCloneList();
  folders.AddRow().data = &records.Add(tree.Path("d"), 0);

  struct Case {
    const ResultList& list;
    int row;
    bool opens;
    std::vector<std::string> opened;
    std::optional<std::string> message;
  };
  const Case cases[] = {
      {files, 0, true, {file}, std::nullopt},
      {files, 0, false, {file}, "No program could open " + file + "\nno handler"},
      {files, 1, true, {}, "File does not exist: " + tree.Path("d/gone.txt")},
      {folders, 0, true, {tree.Path("d")}, std::nullopt},
      {folders, -1, true, {}, "Please select an item first."},
  };
  for (const Case& c : cases) {
    std::vector<std::string> opened;
    const auto message = OpenRowItem(c.list, c.row, [&](const std::string& path, std::string& error) {
      opened.push_back(path);
      error = "no handler";
      return c.opens;
    });
    EXPECT_EQ(opened, c.opened) << c.row;
    EXPECT_EQ(message, c.message) << c.row;
  }
}

// POSIX hands every name to the desktop as it is: names Windows' shell would
// rewrite are ordinary here (Windows: WindowsOpen.ANameTheShellWouldRewriteIsNamedNeverOpened).
TEST(OpenRowItem, NamesWindowsWouldRewriteOpenAsTheyAre) {
  ORVANTA_SKIP_UNLESS_POSIX("names Win32 trims or takes for devices are made by the Windows tests");
  test::TempTree tree;
  std::string deep;
  while (tree.Root().size() + deep.size() < 270) deep += "long-folder-name/";
  FileRegistry records;
  ResultList files = MakeFileCloneList();
  for (const char* name : {"x/trail.", "x/trail ", "x/CON", "x/nul.txt"}) {
    files.AddRow().data = &records.Add(tree.File(name, "same"), 4);
  }
  files.AddRow().data = &records.Add(tree.File(deep + "far.txt", "same"), 4);
  for (int row = 0; row < static_cast<int>(files.Rows().size()); ++row) {
    const std::string path = RowPath(files.Rows()[static_cast<std::size_t>(row)]);
    std::vector<std::string> opened;
    const auto message = OpenRowItem(files, row, [&](const std::string& item, std::string&) {
      opened.push_back(item);
      return true;
    });
    EXPECT_EQ(opened, std::vector<std::string>{path});
    EXPECT_EQ(message, std::nullopt) << path;
  }
}

TEST(DroppedItems, AFolderStandsForItselfAFileForItsFolder) {
  test::TempTree tree;
  const std::string folder = tree.Dir("photos");
  const std::string file = tree.File("photos/a.jpg", "x");
  EXPECT_EQ(FolderOfDroppedItem(folder), folder);
  EXPECT_EQ(FolderOfDroppedItem(file), folder);
  EXPECT_EQ(FolderOfDroppedItem(tree.Path("missing")), "");
}

#ifndef _WIN32
// A stand-in xdg-open on PATH that records its argument and ends as told.
class DesktopOpenerTest : public ::testing::Test {
 protected:
  void Opener(const std::string& body) {
    const std::string script =
        tree.File("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + tree.Path("arg") + "'\n" + body + "\n");
    chmod(script.c_str(), 0755);
  }
  std::string Argument() const { return test::ReadFile(tree.Path("arg")); }

  test::TempTree tree;
  test::ScopedEnvironmentVariable path{"PATH", tree.Dir("bin")};
};

TEST_F(DesktopOpenerTest, ExitStatusDecidesAndARunningHandlerCountsAsOpened) {
  struct Case {
    const char* body;
    bool opened;
    const char* reason;
  };
  const Case cases[] = {
      {"exit 0", true, ""},
      {"exit 3", false, "no program is set up to open it"},
      {"exit 4", false, "no program is set up to open it"},
      {"exit 1", false, "xdg-open ended with status 1"},
      {"exec /bin/sleep 4", true, ""},  // a viewer in xdg-open's foreground
  };
  const std::string item = tree.File("name with 'quotes' $x.txt", "x");
  for (const Case& c : cases) {
    Opener(c.body);
    std::string error;
    EXPECT_EQ(platform::OpenWithDefaultProgram(item, error), c.opened) << c.body;
    EXPECT_EQ(error, c.reason) << c.body;
    EXPECT_EQ(Argument(), item) << c.body;
  }
}

TEST_F(DesktopOpenerTest, WithoutXdgOpenTheReasonSaysSo) {
  std::string error;
  EXPECT_FALSE(platform::OpenWithDefaultProgram(tree.Root(), error));
  EXPECT_EQ(error, "xdg-open is not installed");
}
#endif

}  // namespace
}  // namespace orvanta
