#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#else
#include <windows.h>

#include "platform/windows/windows_text.h"
#endif

#include <filesystem>
#include <functional>

#include "actions/check_marks.h"
#include "actions/csv_export.h"
#include "actions/open_location.h"
#include "core/file_record.h"
#include "core/result_list.h"
#include "test_support.h"

namespace orvanta {
namespace {

namespace fs = std::filesystem;

ResultList ListOfGroups(FileRegistry& folders, const std::vector<int>& groupIds, const std::vector<bool>& checks) {
  ResultList list = MakeFolderCloneList();
  for (std::size_t i = 0; i < groupIds.size(); ++i) {
    ListRow& row = list.AddRow();
    row.groupId = groupIds[i];
    row.checked = checks[i];
    row.caption = std::to_string(groupIds[i]);
    row.data = &folders.Add("/folder" + std::to_string(i), 0);
  }
  return list;
}

std::vector<bool> Checks(const ResultList& list) {
  std::vector<bool> checks;
  for (const ListRow& row : list.Rows()) checks.push_back(row.checked);
  return checks;
}

TEST(CheckMarks, AllButOneInGroupAllAndNone) {
  struct Case {
    const char* what;
    std::vector<int> groups;
    std::vector<bool> before, allButOne;
  };
  const Case cases[] = {
      {"all unchecked", {1, 1, 1}, {false, false, false}, {false, true, true}},
      {"first checked, rest not", {1, 1, 1}, {true, false, false}, {false, true, true}},
      {"a single row", {4}, {true}, {false}},
      {"interleaved groups", {1, 2, 1, 2, 2}, {true, true, false, false, false}, {false, false, true, true, true}},
      {"rows of no group keep their mark", {-1, 1, -1, 1}, {true, true, false, false}, {true, false, false, true}},
      {"an empty list", {}, {}, {}},
  };
  for (const Case& c : cases) {
    FileRegistry folders;
    ResultList list = ListOfGroups(folders, c.groups, c.before);
    CheckAllButOneInGroup(list);
    EXPECT_EQ(Checks(list), c.allButOne) << c.what;
    CheckAllButOneInGroup(list);
    EXPECT_EQ(Checks(list), c.allButOne) << c.what << ", twice";
    CheckAll(list);
    EXPECT_EQ(Checks(list), std::vector<bool>(c.groups.size(), true)) << c.what;
    UncheckAll(list);
    EXPECT_EQ(Checks(list), std::vector<bool>(c.groups.size(), false)) << c.what;
  }
}

TEST(OpenLocation, MessagesAndRequests) {
  test::TempTree tree;
  const auto file = tree.File("d/f.txt", "x");
  FileRegistry records;
  const FileRecord& present = records.Add(file, 1);
  const FileRecord& gone = records.Add(tree.Path("d/gone.txt"), 1);
  ResultList files = MakeFileCloneList();
  files.AddRow().data = &present;
  files.AddRow().data = &gone;
  files.AddRow();  // no record
  ResultList folders = MakeFolderCloneList();
  folders.AddRow().data = &records.Add(tree.Path("d"), 0);
  folders.AddRow().data = &records.Add(tree.Path("vanished"), 0);
  folders.AddRow();  // no record

  using Kind = LocationRequest::Kind;
  struct Case {
    const ResultList& list;
    int row;
    Kind expectedKind;
    std::string expectedText;
  };
  const Case cases[] = {
      {files, -1, Kind::Message, "Please select an item first."},
      {files, 0, Kind::ShowFile, file},
      {files, 1, Kind::Message, "File does not exist: " + tree.Path("d/gone.txt")},
      {files, 2, Kind::Message, "No file path available for the selected item."},
      {folders, 0, Kind::OpenFolder, tree.Path("d")},
      {folders, 1, Kind::Message, "Directory does not exist: " + tree.Path("vanished")},
      {folders, 2, Kind::Message, "Directory does not exist: "},
  };
  for (const Case& c : cases) {
    const LocationRequest request = ResolveLocation(c.list, c.row);
    EXPECT_EQ(request.kind, c.expectedKind) << c.row;
    EXPECT_EQ(request.text, c.expectedText) << c.row;
  }
}

TEST(OpenLocation, TheFileBrowserSelectsTheFileByItsQuotedPath) {
  EXPECT_EQ(ExplorerSelectParameters("C:\\My Files\\a b.txt"), "/select,\"C:\\My Files\\a b.txt\"");
}

TEST(CsvExport, ExactBytes) {
  ResultList list = MakeFileCloneList();
  list.SetColumnCaption(1, "Name, \"quoted\"");  // a header is written bare
  FileRegistry records;
  ListRow& row = list.AddRow();
  row.caption = "1";
  row.data = &records.Add("/d/\xC3\xA9t\xC3\xA9/a,b \"c\".txt", 3 << 19);
  EXPECT_EQ(ListViewToCsv(list),
            "\xEF\xBB\xBFGroup,Name, \"quoted\",Directory,File size (MB)\r\n"
            "\"1\",\"a,b \"\"c\"\".txt\",\"/d/\xC3\xA9t\xC3\xA9\",\"1.50 MB\"\r\n");
  EXPECT_EQ(ListViewToCsv(MakeFolderCloneList()), "\xEF\xBB\xBFGroup,Directory,Size\r\n");

  // Asked for, the exact size and the check mark follow the listed columns;
  // a size the scan did not get is an empty field.
  row.checked = true;
  ListRow& unknown = list.AddRow();
  unknown.caption = "1";
  unknown.data = &records.Add("/d/u", -1);
  EXPECT_EQ(ListViewToCsv(list, CsvColumns::WithBytesAndChecked),
            "\xEF\xBB\xBFGroup,Name, \"quoted\",Directory,File size (MB),Size (bytes),Checked\r\n"
            "\"1\",\"a,b \"\"c\"\".txt\",\"/d/\xC3\xA9t\xC3\xA9\",\"1.50 MB\",\"1572864\",\"1\"\r\n"
            "\"1\",\"u\",\"/d\",\"0\",\"\",\"0\"\r\n");
  EXPECT_EQ(ListViewToCsv(list), ListViewToCsv(list, CsvColumns::Listed));
  EXPECT_EQ(ListViewToCsv(list).find("Checked"), std::string::npos);
}

TEST(CsvExport, AFileThatCannotBeWrittenLeavesNothingBehind) {
  test::TempTree tree;
  const ResultList list = MakeFolderCloneList();
  const std::string target = tree.File("existing.csv", "old contents");
  ExportListViewToCsv(list, target);
  EXPECT_EQ(test::ReadFile(target), "\xEF\xBB\xBFGroup,Directory,Size\r\n");
  try {
    ExportListViewToCsv(list, tree.Path("no/such/folder/out.csv"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
#ifdef _WIN32
    const std::string reason = platform::windows::ErrorText(ERROR_PATH_NOT_FOUND);
#else
    const std::string reason = "No such file or directory";
#endif
    EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
  }
  // A folder has the name.
  EXPECT_THROW(ExportListViewToCsv(list, tree.Dir("taken.csv")), std::runtime_error);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(tree.Root())) ++entries;
  EXPECT_EQ(entries, 2u) << "no temporary file stays behind";
}

#ifndef _WIN32
// Only a regular file is ever replaced; whatever else has the name stays as it
// was. FIFOs, sockets, devices, links and modes: POSIX only.
TEST(CsvExport, NeverReplacesWhatIsNotARegularFile) {
  test::TempTree tree;
  const ResultList list = MakeFolderCloneList();
  const std::string csv = ListViewToCsv(list);
  struct Case {
    const char* what;
    std::function<std::string()> make;
    fs::file_type typeAfter;
  };
  const Case cases[] = {
      {"a folder", [&] { return tree.Dir("folder.csv"); }, fs::file_type::directory},
      {"a FIFO", [&] { return tree.Fifo("fifo.csv"); }, fs::file_type::fifo},
      {"a link to nothing", [&] { return tree.Symlink("dangling.csv", tree.Path("nowhere/x.csv")); },
       fs::file_type::symlink},
      {"a socket",
       [&] {
         const std::string path = tree.Path("socket.csv");
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         path.copy(address.sun_path, sizeof address.sun_path - 1);
         ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
         ::close(fd);
         return path;
       },
       fs::file_type::socket},
      {"a device (root only)",
       [&] {
         const std::string path = tree.Path("null.csv");
         ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3));
         return path;
       },
       fs::file_type::character},
  };
  for (const Case& c : cases) {
    const std::string path = c.make();
    if (fs::symlink_status(path).type() != c.typeAfter) continue;  // a device needs root
    EXPECT_THROW(ExportListViewToCsv(list, path), std::runtime_error) << c.what;
    EXPECT_EQ(fs::symlink_status(path).type(), c.typeAfter) << c.what;
  }

  // A link to a file: the file gets the CSV, the link stays a link.
  const std::string file = tree.File("real.csv", "old");
  const std::string link = tree.Symlink("link.csv", file);
  ExportListViewToCsv(list, link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(test::ReadFile(file), csv);

  // An existing file keeps its mode, and its owner where the process may keep it.
  const std::string own = tree.File("private.csv", "old");
  ::chmod(own.c_str(), 0600);
  if (test::RunningAsRoot()) {
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
  }
  ExportListViewToCsv(list, own);
  struct stat st;
  ASSERT_EQ(::stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (test::RunningAsRoot()) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  std::size_t temporaries = 0;
  for (const auto& entry : fs::directory_iterator(tree.Root())) {
    temporaries += entry.path().filename().string().rfind(".orvanta-", 0) == 0;
  }
  EXPECT_EQ(temporaries, 0u);
}

// Hard links of the file keep sharing it, and a folder that takes no new entry
// does not stop a file that can be written; both are written in place.
TEST(CsvExport, ReplacesInPlaceWhereARenameWouldLoseLinksOrIsRefused) {
  test::TempTree tree;
  const ResultList list = MakeFolderCloneList();
  const std::string csv = ListViewToCsv(list);
  const std::string file = tree.File("shared/list.csv", "old");
  const std::string link = tree.HardLink("elsewhere/list.csv", file);
  ::chmod(file.c_str(), 0640);
  struct stat before;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  ExportListViewToCsv(list, link);
  EXPECT_EQ(test::ReadFile(file), csv);
  EXPECT_EQ(test::ReadFile(link), csv);
  struct stat after;
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 2u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);

  if (test::RunningAsRoot()) GTEST_SKIP() << "root writes in every folder; the ordinary-user pass runs the rest";
  const std::string folder = tree.Dir("read-only");
  const std::string own = tree.File("read-only/list.csv", "old");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  EXPECT_NO_THROW(ExportListViewToCsv(list, own));
  EXPECT_EQ(test::ReadFile(own), csv);
  // Neither the file nor its folder writable: refused with the system's reason.
  const std::string locked = tree.File("locked/list.csv", "old");
  ::chmod(locked.c_str(), 0444);
  ::chmod(tree.Path("locked").c_str(), 0555);
  try {
    ExportListViewToCsv(list, locked);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("Permission denied"), std::string::npos) << error.what();
  }
  EXPECT_EQ(test::ReadFile(locked), "old");
  ::chmod(folder.c_str(), 0755);
  ::chmod(tree.Path("locked").c_str(), 0755);
}

// A write in place that fails part way (here: the file size limit) puts the
// old contents back and says why.
TEST(CsvExport, AFailedWriteInPlaceLeavesTheOldContents) {
  test::TempTree tree;
  const std::string old(3000, 'o');
  const std::string file = tree.File("list.csv", old);
  const std::string link = tree.HardLink("link.csv", file);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{4096, limit.rlim_max};
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  try {
    platform::ReplaceFileContents(file, std::string(10000, 'n'));
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previous);
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
  EXPECT_EQ(test::ReadFile(file), old);
  EXPECT_EQ(test::ReadFile(link), old);
}
#endif

}  // namespace
}  // namespace orvanta
