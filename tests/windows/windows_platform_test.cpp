// What only the Windows build has: drive and share roots, "\\?\" long paths,
// names ending at ":", case-insensitive paths, the registry, the language
// identifier, and the Recycle Bin request. Runs under Wine in CI.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "actions/list_rows.h"
#include "actions/open_location.h"
#include "actions/removal_record.h"
#include "cli/cli.h"
#include "collect/masks.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "core/result_list.h"
#include "folderclones/folder_grouping.h"
#include "folderclones/folder_signatures.h"
#include "platform/platform.h"
#include "platform/windows/windows_text.h"
#include "text/catalogue.h"

namespace orvanta {
namespace {

// The digest as hex, or a text no digest has when Finish fails.
std::string FinishedHex(platform::Sha1& sha1) {
  std::array<unsigned char, Sha1Digest::kSize> digest;
  return sha1.Finish(digest) ? Sha1Digest(digest).Hex() : std::string("SHA-1 failed");
}

namespace win = platform::windows;

// A fresh folder under GetTempPathW, removed with its contents (long paths too).
class WinTree {
 public:
  WinTree() {
    // Wine reuses process ids, and a run that died leaves its folders behind:
    // take the first name that is free.
    for (;;) {
      root_ = platform::JoinedPath(platform::TempFolder(), "orvanta-wintest-" + std::to_string(GetCurrentProcessId()) +
                                                               "-" + std::to_string(counter_++));
      if (CreateDirectoryW(win::SystemPath(root_).c_str(), nullptr) != 0) break;
      if (GetLastError() != ERROR_ALREADY_EXISTS) {
        ADD_FAILURE() << "cannot create " << root_;
        break;
      }
    }
  }
  ~WinTree() { Remove(root_); }
  const std::string& Root() const { return root_; }
  std::string Dir(const std::string& relative) {
    std::string path = root_;
    std::size_t start = 0;
    while (start <= relative.size()) {
      const std::size_t end = std::min(relative.find('\\', start), relative.size());
      path += "\\" + relative.substr(start, end - start);
      CreateDirectoryW(win::SystemPath(path).c_str(), nullptr);
      start = end + 1;
    }
    return path;
  }
  std::string File(const std::string& relative, const std::string& content) {
    const std::size_t slash = relative.rfind('\\');
    if (slash != std::string::npos) Dir(relative.substr(0, slash));
    const std::string path = root_ + "\\" + relative;
    const HANDLE h = CreateFileW(win::SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    return path;
  }

 private:
  static void Remove(const std::string& path) {
    platform::FolderReader reader(path);
    std::vector<std::pair<std::string, bool>> entries;
    std::string_view name;
    platform::EntryKind kind;
    while (reader.Next(name, kind))
      entries.emplace_back(path + "\\" + std::string(name), kind == platform::EntryKind::Folder);
    for (const auto& [entry, folder] : entries) {
      if (folder) {
        Remove(entry);
      } else {
        DeleteFileW(win::SystemPath(entry).c_str());
      }
    }
    RemoveDirectoryW(win::SystemPath(path).c_str());
  }
  static inline int counter_ = 0;
  std::string root_;
};

std::string RunCliText(std::vector<std::string> args, int* status = nullptr) {
  args.insert(args.begin(), "orvanta-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  CliHooks hooks;
  hooks.stderrIsTerminal = 0;
  const int result = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
  if (status != nullptr) *status = result;
  return out.str();
}

TEST(WindowsPaths, NameEndsAtLastBackslashOrColon) {
  const struct {
    const char* path;
    const char* name;
    const char* dir;
  } cases[] = {
      {"C:\\dir\\name.txt", "name.txt", "C:\\dir"},
      {"C:\\name.txt", "name.txt", "C:\\"},
      {"C:name.txt", "name.txt", "C:"},
      {"\\\\server\\share\\name.txt", "name.txt", "\\\\server\\share"},
      {"C:\\dir\\stream:alt", "alt", "C:\\dir\\stream:"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileDir(c.path), c.dir) << c.path;
  }
}

TEST(WindowsPaths, NormalizeDirKeepsDriveAndShareRoots) {
  const struct {
    const char* path;
    const char* key;
  } cases[] = {
      {"C:\\", "C:\\"},
      {"c:\\", "c:\\"},
      {"C:\\Data\\", "C:\\Data"},
      {"C:/Data/Sub/", "C:\\Data\\Sub"},  // a typed "/" is a delimiter
      {"C:\\Data\\.\\Sub\\..", "C:\\Data"},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"\\\\server\\share\\dir\\", "\\\\server\\share\\dir"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeDir(c.path), c.key) << c.path;
}

TEST(WindowsPaths, HasKeptAncestorStopsAtRoots) {
  const struct {
    const char* key;
    std::unordered_set<std::string> kept;
    bool expected;
  } cases[] = {
      {"C:\\a\\b", {"C:\\"}, true},
      {"C:\\a", {"C:\\"}, true},
      {"C:\\", {"C:\\"}, false},  // only proper ancestors
      {"C:\\a", {"C:\\a\\b"}, false},
      {"C:\\a\\b\\c", {"C:\\a"}, true},
      {"C:\\a\\b", {"c:\\a"}, false},  // kept keys match exactly
      {"D:\\a", {"C:\\"}, false},
      {"\\\\srv\\sh\\x\\y", {"\\\\srv\\sh\\"}, true},
      {"\\\\srv\\sh\\x", {"\\\\srv\\sh\\x"}, false},
      {"\\\\srv\\sh\\", {"\\\\srv\\"}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(HasKeptAncestor(c.key, c.kept), c.expected) << c.key;
}

TEST(WindowsPaths, FolderListAndPathsCompareWithoutLetterCase) {
  EXPECT_TRUE(platform::SamePath("C:\\Data\\Ärger\\", "c:\\data\\ärger\\"));
  EXPECT_FALSE(platform::SamePath("C:\\Data\\", "C:\\Data2\\"));
  WinTree tree;
  tree.File("Sub\\one.txt", "same");
  tree.File("Sub\\two.txt", "same");
  std::string upper = tree.Root(), lower = tree.Root();
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  // One folder typed twice in different case is listed once: no file groups with itself.
  const std::string once = RunCliText({"-q", "--min-size-mb", "0", tree.Root()});
  EXPECT_EQ(RunCliText({"-q", "--min-size-mb", "0", upper, lower + "\\"}).size(), once.size());
  EXPECT_NE(once.find("one.txt"), std::string::npos);
}

TEST(WindowsPaths, LongPathSizedAndHashedThroughExtendedPrefix) {
  WinTree tree;
  std::string deep;
  while (tree.Root().size() + deep.size() < 300)
    deep += "folder-with-a-long-name-" + std::to_string(deep.size()) + "\\";
  const std::string a = tree.File(deep + "a.bin", "abc");
  const std::string b = tree.File(deep + "b.bin", "abc");
  ASSERT_GE(a.size(), 260u);
  FileRegistry records;
  EXPECT_EQ(records.AddFromDisk(a).size, 3);
  platform::InputFile file;
  std::string error;
  ASSERT_EQ(file.Open(a, error), platform::InputFile::OpenResult::Opened) << error;
  char buffer[16];
  platform::Sha1 sha1;
  sha1.Update(buffer, static_cast<std::size_t>(file.Read(buffer, sizeof buffer, error)));
  EXPECT_EQ(FinishedHex(sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // The whole scan reaches, sizes and hashes them.
  const std::string out = RunCliText({"-q", "--min-size-mb", "0", tree.Root()});
  EXPECT_NE(out.find(a + "\n" + b + "\n"), std::string::npos) << out;
}

TEST(WindowsPaths, SystemPathPrefixesEveryFullPathAndKeepsNames) {
  const struct {
    const char* path;
    const wchar_t* system;
  } cases[] = {
      {"C:\\dir\\trail.", L"\\\\?\\C:\\dir\\trail."},
      {"C:\\dir\\trail ", L"\\\\?\\C:\\dir\\trail "},
      {"C:\\dir.\\CON", L"\\\\?\\C:\\dir.\\CON"},
      {"C:/a//b/./c/../nul.txt", L"\\\\?\\C:\\a\\b\\nul.txt"},
      {"C:\\a\\..\\..\\com1", L"\\\\?\\C:\\com1"},  // ".." stops at the root
      {"C:\\", L"\\\\?\\C:\\"},
      {"C:\\a\\", L"\\\\?\\C:\\a\\"},
      {"\\\\server\\share\\dir\\aux.log", L"\\\\?\\UNC\\server\\share\\dir\\aux.log"},
      {"\\\\server\\share\\..\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {"\\\\server\\share", L"\\\\?\\UNC\\server\\share\\"},
      {"\\\\?\\C:\\as\\given.", L"\\\\?\\C:\\as\\given."},
      {"\\\\.\\pipe\\name", L"\\\\.\\pipe\\name"},
      {"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(win::SystemPath(c.path), c.system) << c.path;
  // Relative paths are completed from the current folder, names kept as typed.
  const std::string current = platform::AbsolutePath(".");
  EXPECT_EQ(platform::AbsolutePath("sub\\dots..."), platform::JoinedPath(current, "sub\\dots..."));
  EXPECT_EQ(win::SystemPath("dir.\\x"), L"\\\\?\\" + win::Wide(platform::JoinedPath(current, "dir.\\x")));
  EXPECT_EQ(platform::AbsolutePath("C:\\data\\dir.\\..\\trail "), "C:\\data\\trail ");
}

TEST(WindowsPaths, KindFromAttributesAndReparseTag) {
  const struct {
    DWORD attributes;
    DWORD tag;
    platform::EntryKind kind;
  } cases[] = {
      {FILE_ATTRIBUTE_NORMAL, 0, platform::EntryKind::File},
      {FILE_ATTRIBUTE_DIRECTORY, 0, platform::EntryKind::Folder},
      {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, platform::EntryKind::Link},
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK, platform::EntryKind::Link},
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT, platform::EntryKind::Link},
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, 0, platform::EntryKind::Link},  // tag not given
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, platform::EntryKind::File},                    // cloud placeholder
      {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, 0x9000601A, platform::EntryKind::Folder},
      {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DEDUP, platform::EntryKind::File},
      {FILE_ATTRIBUTE_DEVICE, 0, platform::EntryKind::Other},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(win::KindOf(c.attributes, c.tag), c.kind) << std::hex << c.attributes << " " << c.tag;
  }
}

// Whether a file's contents are on the disk is told by its attribute bits
// alone, as the listing gives them: a cloud placeholder that is only online,
// one opened only to be filled, an offline file. A placeholder whose contents
// are here (hydrated, pinned) and every other kind of file are read.
TEST(WindowsPaths, ContentsElsewhereFromTheAttributeBits) {
  constexpr DWORD kRecallOnDataAccess = 0x00400000, kRecallOnOpen = 0x00040000;
  constexpr DWORD kPinned = 0x00080000, kUnpinned = 0x00100000;
  const struct {
    DWORD attributes;
    bool elsewhere;
  } cases[] = {
      {FILE_ATTRIBUTE_NORMAL, false},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, false},  // hydrated placeholder, deduplicated file
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT | kPinned, false},  // "always keep on this device"
      {FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_ENCRYPTED, false},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY, false},
      {kRecallOnDataAccess, true},  // OneDrive "online-only"
      {kRecallOnDataAccess | kUnpinned | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_SPARSE_FILE, true},
      {kRecallOnOpen, true},
      {kRecallOnOpen | FILE_ATTRIBUTE_DIRECTORY, true},
      {FILE_ATTRIBUTE_OFFLINE, true},
      {FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_ARCHIVE, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(win::ContentsElsewhere(c.attributes), c.elsewhere) << std::hex << c.attributes;
  }
}

TEST(WindowsPaths, ZeroSerialOrIndexIsNoIdentity) {
  const struct {
    std::uint64_t serial, low, high;
    bool known;
  } cases[] = {
      {0x5A000000, 2, 0, true},
      {0x5A000000, 0, 7, true},  // a 128-bit id with a zero lower half
      {0, 2, 0, false},
      {0x5A000000, 0, 0, false},
  };
  for (const auto& c : cases) {
    const platform::FileId id = win::IdentityOf(c.serial, c.low, c.high);
    EXPECT_EQ(id.Known(), c.known) << c.serial << " " << c.low;
    if (c.known) {
      EXPECT_EQ(id, (platform::FileId{c.serial, c.low, c.high}));
    }
  }
}

// A cloned disk has its original's serial and file ids: the volume's GUID
// path keeps the two apart, and where no GUID is given the serial alone counts.
TEST(WindowsIdentity, VolumesWithEqualSerialsStayApartByTheirGuidPaths) {
  const std::wstring p = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000050}";
  const std::wstring q = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000051}";
  EXPECT_NE(win::VolumeDevice(0x1234ABCD, p), win::VolumeDevice(0x1234ABCD, q));
  EXPECT_EQ(win::VolumeDevice(0x1234ABCD, p), win::VolumeDevice(0x1234ABCD, p));
  EXPECT_NE(win::VolumeDevice(0x1234ABCD, p), win::VolumeDevice(0x1234ABCE, p));
  EXPECT_EQ(win::VolumeDevice(0x1234ABCD, L""), 0x1234ABCDu);
  // Every way of asking gives one file the same identity: the listing (which
  // asks the folder's volume once for all its files), the path, the open file;
  // also for a name Wine gives no GUID path of its own.
  WinTree tree;
  for (const std::string leaf : {"f.txt", "CON"}) {
    const std::string file = tree.File("d-" + leaf + "\\" + leaf, "abc");
    platform::FileAttributes byPath, byListing, byOpenFile, folder;
    ASSERT_TRUE(platform::QueryAttributes(file, byPath));
    if (!byPath.id.Known()) GTEST_SKIP() << "this file system gives no file identity";
    platform::FolderReader reader(tree.Root() + "\\d-" + leaf);
    ASSERT_TRUE(reader.QueryFolderAttributes(folder));
    std::string_view name;
    platform::EntryKind kind;
    ASSERT_TRUE(reader.Next(name, kind));
    ASSERT_TRUE(reader.QueryAttributes(name, byListing));
    platform::InputFile input;
    std::string error;
    ASSERT_EQ(input.Open(file, error), platform::InputFile::OpenResult::Opened) << error;
    ASSERT_TRUE(input.QueryAttributes(byOpenFile));
    EXPECT_EQ(byListing.id, byPath.id) << leaf;
    EXPECT_EQ(byOpenFile.id, byPath.id) << leaf;
    EXPECT_EQ(byListing.id.device, folder.id.device) << leaf << ": a file lies on its folder's volume";
  }
}

// NTFS updates the listing only for the name a file was written through: a
// file with several hard links takes its size and write time from the file.
TEST(WindowsScan, AHardLinkedFileIsSizedByItsHandle) {
  WinTree tree;
  const std::string a = tree.File("a\\f.txt", "short");
  const std::string b = tree.Dir("b") + "\\f.txt";
  if (CreateHardLinkW(win::SystemPath(b).c_str(), win::SystemPath(a).c_str(), nullptr) == 0) {
    GTEST_SKIP() << "no hard links here";
  }
  tree.File("a\\f.txt", "much longer now");
  platform::FileAttributes byPath;
  ASSERT_TRUE(platform::QueryAttributes(b, byPath));
  platform::FolderReader reader(tree.Root() + "\\b");
  std::string_view name;
  platform::EntryKind kind;
  ASSERT_TRUE(reader.Next(name, kind));
  platform::FileAttributes listed;
  ASSERT_TRUE(reader.QueryAttributes(name, listed));
  EXPECT_EQ(listed.size, 15);
  EXPECT_EQ(listed.modified, byPath.modified);
}

TEST(WindowsScan, NamesWin32WouldRewriteAreScannedAsOnDisk) {
  // Without the "\\?\" prefix Win32 drops a trailing dot or blank and opens a
  // device for CON, nul.txt, com1 and aux.log, so these went missing.
  const char* const names[] = {"trail.", "trail ", "dots...", "CON", "nul.txt", "com1", "aux.log"};
  WinTree tree;
  std::vector<std::string> copies;
  for (const char* folder : {"x", "dir."}) {
    for (const char* name : names) copies.push_back(tree.File(std::string(folder) + "\\" + name, "same content\n"));
  }
  // Size mode: sizes come from the listing, so files of different sizes never meet.
  tree.File("sizes\\trail.", "four");
  tree.File("sizes\\CON", std::string(50000, 'c'));
  tree.File("sizes\\nul.txt", "abcd");
  const std::string out =
      RunCliText({"-q", "--min-size-mb", "0", "--folders", tree.Root() + "\\x", tree.Root() + "\\dir."});
  std::sort(copies.begin(), copies.end());
  const std::string files = out.substr(0, out.find("\n\n"));
  std::vector<std::string> listed;
  std::istringstream lines(files.substr(files.find('\n') + 1));
  for (std::string line; std::getline(lines, line);) listed.push_back(line);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, copies) << out;
  EXPECT_NE(out.find("Group 1 (0.00 MB)\n" + tree.Root() + "\\dir.\n" + tree.Root() + "\\x\n"), std::string::npos)
      << out;
  const std::string sizes = RunCliText({"-q", "--min-size-mb", "0", "--compare", "size", tree.Root() + "\\sizes"});
  EXPECT_EQ(sizes, "Group 1 (0.00 MB)\n" + tree.Root() + "\\sizes\\nul.txt\n" + tree.Root() + "\\sizes\\trail.\n")
      << sizes;
}

TEST(WindowsScan, FileHeldWithoutSharingFailsWithTheSystemsReason) {
  WinTree tree;
  const std::string file = tree.File("held.pst", "mail");
  const HANDLE held = CreateFileW(win::SystemPath(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  platform::InputFile input;
  std::string error;
  EXPECT_EQ(input.Open(file, error), platform::InputFile::OpenResult::Failed);
  EXPECT_EQ(error, "Cannot open file \"" + file + "\": " + win::ErrorText(ERROR_SHARING_VIOLATION));
  CloseHandle(held);
  EXPECT_EQ(input.Open(file, error), platform::InputFile::OpenResult::Opened);
}

// A program that holds the file with delete access (to rename or delete it
// later) and shares it: the file is read as any other, and the holder may
// still rename it while it is read.
TEST(WindowsScan, FileHeldWithDeleteSharingIsRead) {
  WinTree tree;
  const std::string file = tree.File("held.docx", "draft");
  const HANDLE held = CreateFileW(win::SystemPath(file).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  platform::InputFile input;
  std::string error;
  EXPECT_EQ(input.Open(file, error), platform::InputFile::OpenResult::Opened) << error;
  EXPECT_NE(MoveFileExW(win::SystemPath(file).c_str(), win::SystemPath(file + ".saved").c_str(), 0), 0)
      << "another program renames the file Orvanta reads";
  CloseHandle(held);
}

TEST(WindowsSha1, ReusedObjectGivesEachDigest) {
  const struct {
    std::string text;
    const char* hex;
  } cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  platform::Sha1 sha1;
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      sha1.Reset();
      sha1.Update(c.text.data(), c.text.size());
      EXPECT_EQ(FinishedHex(sha1), c.hex);
    }
  }
}

TEST(WindowsText, LowerCaseAndWideRoundTrip) {
  const struct {
    const char* text;
    const char* lower;
  } cases[] = {
      {"ABC.TXT", "abc.txt"},
      {"ÄÖÜ Ärger", "äöü ärger"},
      {"ΣΟΦΙΑ", "σοφια"},
      {"bad \xFF byte", "bad \xFF byte"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::LowerCase(c.text), c.lower) << c.text;
  // A lone surrogate (possible in a Windows name) survives UTF-16 -> UTF-8 -> UTF-16.
  const std::wstring lone = L"a\xD800z";
  EXPECT_EQ(win::Wide(win::Narrow(lone)), lone);
  EXPECT_EQ(win::Narrow(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST(WindowsSettings, LanguageRoundTripsThroughTheRegistry) {
  const std::optional<std::string> before = platform::ReadSetting("CurrentLanguage");
  ASSERT_TRUE(platform::WriteSetting("CurrentLanguage", "de"));
  EXPECT_EQ(platform::ReadSetting("CurrentLanguage"), "de");
  // Stored where the program's other versions look: HKCU\Software\Orvanta.
  wchar_t value[16] = {};
  DWORD bytes = sizeof value;
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, L"Software\\Orvanta", L"CurrentLanguage", RRF_RT_REG_SZ, nullptr, value, &bytes),
      ERROR_SUCCESS);
  EXPECT_STREQ(value, L"de");
  EXPECT_FALSE(platform::ReadSetting("NoSuchValue").has_value());
  if (before) {
    platform::WriteSetting("CurrentLanguage", *before);
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Orvanta", L"CurrentLanguage");
  }
}

TEST(WindowsLanguage, CodeFromLanguageIdentifierLowEightBits) {
  const struct {
    unsigned id;
    const char* code;
  } cases[] = {
      {0x0407, "de"}, {0x0807, "de"}, {0x0409, "en"}, {0x0804, "cn"}, {0x0411, "jp"}, {0x0412, "kr"},
      {0x0416, "pt"}, {0x041F, "tr"}, {0x0C0A, "es"}, {0x0401, "ar"}, {0x0419, "en"},  // Russian: none of its own
      {0x0107, "de"},  // 0xFF mask, not the 10-bit primary language (0x107)
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageCodeOfLanguageId(c.id), c.code) << std::hex << c.id;
  EXPECT_EQ(DefaultLanguageCode(), LanguageCodeOfLanguageId(GetSystemDefaultUILanguage()));
}

TEST(WindowsTrash, RequestAndDoubleNulPathBlock) {
  const std::wstring block = win::RecyclePathBlock({"C:\\a.txt", "D:\\Ärger\\b"});
  const wchar_t expected[] = L"C:\\a.txt\0D:\\\u00C4rger\\b\0";  // the literal adds the final NUL
  EXPECT_EQ(block, std::wstring(expected, sizeof expected / sizeof expected[0]));
  EXPECT_EQ(block.substr(block.size() - 2), std::wstring(2, L'\0'));
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  const SHFILEOPSTRUCTW request = win::RecycleRequest(owner, block.c_str());
  EXPECT_EQ(request.hwnd, owner);
  EXPECT_EQ(request.wFunc, static_cast<UINT>(FO_DELETE));
  EXPECT_EQ(request.pFrom, block.c_str());
  EXPECT_EQ(request.pTo, nullptr);
  EXPECT_EQ(request.fFlags, static_cast<FILEOP_FLAGS>(FOF_ALLOWUNDO));
  EXPECT_FALSE(request.fAnyOperationsAborted);
  EXPECT_EQ(request.hNameMappings, nullptr);
  EXPECT_EQ(request.lpszProgressTitle, nullptr);
}

TEST(WindowsTrash, OneShellCallForTheWholeBlockOfCheckedPaths) {
  WinTree tree;
  const std::string a = tree.File("a.txt", "one"), b = tree.File("sub\\b.txt", "two"), c = tree.File("c.txt", "three");
  // Replaced since the scan: another file under the scanned name stays out of the request.
  const std::string replaced = tree.File("replaced.txt", "old");
  platform::FileAttributes scanned;
  ASSERT_TRUE(platform::QueryAttributes(replaced, scanned));
  if (!scanned.id.Known()) GTEST_SKIP() << "this file system gives no file identity (Wine on a mixed overlay mount)";
  const std::string newer = tree.File("newer.txt", "new");
  ASSERT_NE(MoveFileExW(win::SystemPath(newer).c_str(), win::SystemPath(replaced).c_str(), MOVEFILE_REPLACE_EXISTING),
            0);
  const std::string gone = tree.Root() + "\\gone.txt";

  // The request as data, never a real shell call: the fake shell removes the
  // first item and then reports Cancel, as a user stopping midway would.
  std::vector<std::wstring> blocks;
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  const auto outcomes = win::RecycleItems({{a, {}}, {b, {}}, {replaced, scanned.id}, {gone, {}}, {c, {}}}, {}, owner,
                                          [&](SHFILEOPSTRUCTW& request) {
                                            std::size_t length = 0;
                                            while (request.pFrom[length] != L'\0' || request.pFrom[length + 1] != L'\0')
                                              ++length;
                                            blocks.emplace_back(request.pFrom, length + 2);
                                            EXPECT_EQ(request.hwnd, owner);
                                            EXPECT_EQ(request.wFunc, static_cast<UINT>(FO_DELETE));
                                            EXPECT_EQ(request.fFlags, static_cast<FILEOP_FLAGS>(FOF_ALLOWUNDO));
                                            DeleteFileW(win::SystemPath(a).c_str());
                                            request.fAnyOperationsAborted = TRUE;
                                            return 0;
                                          });
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], win::RecyclePathBlock({a, b, c}));
  ASSERT_EQ(outcomes.size(), 5u);
  const struct {
    bool moved;
    const char* reason;
  } expected[] = {
      {true, ""},
      {false, "cancelled"},
      {false, "it was replaced since the scan"},
      {false, "it no longer exists"},
      {false, "cancelled"},
  };
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].moved, expected[i].moved) << i;
    EXPECT_EQ(outcomes[i].reason, expected[i].reason) << i;
  }
}

TEST(WindowsTrash, NamesWin32WouldRewriteNeverReachTheShell) {
  // The shell takes no "\\?\" prefix, so it parses a path as Win32 does:
  // "x\trail." would name "x\trail", "nul.txt" a device. Such items stay in
  // place with a reason; the fake shell deletes what the block names, parsed
  // as the shell would parse it.
  WinTree tree;
  const std::string other = tree.File("x\\trail", "another file");
  const std::string a = tree.File("x\\plain.txt", "one"), b = tree.File("y\\plain.txt", "two");
  std::string deep;
  while (tree.Root().size() + deep.size() < MAX_PATH) deep += "long-folder-name-" + std::to_string(deep.size()) + "\\";
  const char* const badName = "the Recycle Bin cannot take this name";
  const struct {
    std::string path;
    const char* reason;
  } refused[] = {
      {tree.File("x\\trail.", "same"), badName},
      {tree.File("x\\trail ", "same"), badName},
      {tree.File("x\\dots...", "same"), badName},
      {tree.File("x\\CON", "same"), badName},
      {tree.File("x\\nul.txt", "same"), badName},
      {tree.File("x\\com1", "same"), badName},
      {tree.File("x\\aux.log", "same"), badName},
      {tree.File("CON\\inside.txt", "same"), badName},
      {tree.File("dir.\\inside.txt", "same"), badName},
      {tree.File("blank \\inside.txt", "same"), badName},
      {tree.Dir("lpt1.folder"), badName},
      {"\\\\.\\" + tree.File("x\\device.txt", "same"), badName},
      {tree.File(deep + "far.txt", "same"), "the path is too long for the Recycle Bin"},
      {tree.Root().substr(0, 3), "the Recycle Bin cannot take a drive or share"},
  };
  // Given with the long-path prefix, a plain name reaches the shell without it.
  const std::string c = tree.File("z\\plain.txt", "three");
  std::vector<platform::TrashItem> items = {{a, {}}};
  for (const auto& r : refused) items.push_back({r.path, {}});
  items.push_back({"\\\\?\\" + c, {}});
  items.push_back({b, {}});
  // The dry run's checks: the same refusals, and nothing removed.
  const auto checked = platform::CheckTrash(items);
  std::vector<std::wstring> blocks;
  const auto outcomes = win::RecycleItems(items, {}, nullptr, [&](SHFILEOPSTRUCTW& request) {
    std::size_t length = 0;
    while (request.pFrom[length] != L'\0' || request.pFrom[length + 1] != L'\0') ++length;
    blocks.emplace_back(request.pFrom, length + 2);
    for (const wchar_t* path = request.pFrom; *path != L'\0'; path += wcslen(path) + 1) DeleteFileW(path);
    return 0;
  });
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], win::RecyclePathBlock({a, c, b}));
  ASSERT_EQ(outcomes.size(), items.size());
  ASSERT_EQ(checked.size(), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(checked[i].moved, outcomes[i].moved) << items[i].path;
    EXPECT_EQ(checked[i].reason, outcomes[i].reason) << items[i].path;
  }
  EXPECT_TRUE(outcomes.front().moved);
  EXPECT_TRUE(outcomes[items.size() - 2].moved);
  EXPECT_TRUE(outcomes.back().moved);
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    EXPECT_FALSE(outcomes[i + 1].moved) << refused[i].path;
    EXPECT_EQ(outcomes[i + 1].reason, refused[i].reason) << refused[i].path;
    platform::FileAttributes attributes;
    EXPECT_TRUE(platform::QueryAttributes(refused[i].path, attributes)) << refused[i].path;
  }
  // The file the plain path "x\trail." would have named is untouched.
  platform::FileAttributes attributes;
  ASSERT_TRUE(platform::QueryAttributes(other, attributes));
  EXPECT_EQ(attributes.size, 12);
}

// Items on a volume without a Recycle Bin (a share, a network or removable
// drive without one) would be deleted for good by the shell: they stay with
// the volume's reason and never reach it, in the dry run's checks as in the
// move; only an item that reached the shell and is gone counts as moved.
TEST(WindowsTrash, ItemsOnAVolumeWithoutARecycleBinNeverReachTheShell) {
  WinTree tree;
  const std::string kept = tree.File("bin\\a.txt", "one"), away = tree.File("bin\\b.txt", "two");
  const std::string nuked = tree.File("nobin\\c.txt", "three"), folder = tree.Dir("nobin\\sub");
  const std::vector<platform::TrashItem> items = {{kept, {}}, {nuked, {}}, {folder, {}}, {away, {}}};
  const std::string noBin = "a network drive has no Recycle Bin";
  std::vector<std::string> asked;
  const win::RecycleBinQuery volumes = [&](const std::string& path) {
    asked.push_back(path);
    return path.find("\\nobin\\") != std::string::npos ? noBin : std::string();
  };
  for (const bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "dry run" : "move");
    asked.clear();
    std::vector<std::wstring> given;
    const auto outcomes = win::RecycleItems(
        items, {}, nullptr,
        dryRun ? std::function<int(SHFILEOPSTRUCTW&)>()
               : [&](SHFILEOPSTRUCTW& request) {
                   for (const wchar_t* p = request.pFrom; *p != L'\0'; p += wcslen(p) + 1) given.emplace_back(p);
                   // The shell takes away only b.txt and leaves a.txt, as when one item fails.
                   DeleteFileW(win::SystemPath(away).c_str());
                   return 0;
                 },
        volumes);
    EXPECT_EQ(asked, (std::vector<std::string>{kept, nuked, folder, away})) << "every item's volume is asked";
    ASSERT_EQ(outcomes.size(), items.size());
    EXPECT_FALSE(outcomes[1].moved);
    EXPECT_EQ(outcomes[1].reason, noBin);
    EXPECT_FALSE(outcomes[2].moved);
    EXPECT_EQ(outcomes[2].reason, noBin);
    EXPECT_TRUE(platform::FileExists(nuked));
    EXPECT_TRUE(platform::FolderExists(folder));
    if (dryRun) {
      EXPECT_TRUE(outcomes[0].moved);
      EXPECT_TRUE(outcomes[3].moved);
      EXPECT_TRUE(platform::FileExists(away)) << "a dry run removes nothing";
    } else {
      EXPECT_EQ(given, (std::vector<std::wstring>{win::Wide(kept), win::Wide(away)}));
      EXPECT_FALSE(outcomes[0].moved);
      EXPECT_EQ(outcomes[0].reason, "the shell left it in place");
      EXPECT_TRUE(outcomes[3].moved);
    }
  }
}

TEST(WindowsTrash, AShareHasNoRecycleBinAndAFixedDriveHasOne) {
  EXPECT_EQ(win::NoRecycleBinReason("\\\\server\\share\\photo.jpg"), "a network share has no Recycle Bin");
  WinTree tree;
  const std::string file = tree.File("a.txt", "one");
  const std::string root = tree.Root().substr(0, 3);
  if (GetDriveTypeW(win::Wide(root).c_str()) != DRIVE_FIXED)
    GTEST_SKIP() << "the temporary folder is on no fixed drive";
  EXPECT_EQ(win::NoRecycleBinReason(file), "");
}

// The shell takes no "\\?\" path: a row whose name Win32 would trim or take
// for a device, or whose path is too long, is named in a message and never
// handed over, where it would open another item ("x\trail" for "x\trail.").
TEST(WindowsOpen, ANameTheShellWouldRewriteIsNamedNeverOpened) {
  WinTree tree;
  std::string deep;
  while (tree.Root().size() + deep.size() < MAX_PATH) deep += "long-folder-name-" + std::to_string(deep.size()) + "\\";
  const std::string other = tree.File("x\\trail", "another file");
  FileRegistry records;
  ResultList files = MakeFileCloneList();
  for (const std::string& name : {std::string("x\\trail."), std::string("x\\trail "), std::string("x\\CON"),
                                  std::string("x\\nul.txt"), std::string("CON\\in.txt"), deep + "far.txt"}) {
    files.AddRow().data = &records.Add(tree.File(name, "same"), 4);
  }
  files.AddRow().data = &records.Add(tree.File("x\\plain.txt", "same"), 4);
  ResultList folders = MakeFolderCloneList();
  folders.AddRow().data = &records.Add(tree.Dir("dir."), 0);
  folders.AddRow().data = &records.Add(tree.Root().substr(0, 3), 0);  // a drive root opens
  const struct {
    const ResultList& list;
    int row;
    bool opens;
  } cases[] = {{files, 0, false}, {files, 1, false}, {files, 2, false},   {files, 3, false}, {files, 4, false},
               {files, 5, false}, {files, 6, true},  {folders, 0, false}, {folders, 1, true}};
  for (const auto& c : cases) {
    const std::string path = RowPath(c.list.Rows()[static_cast<std::size_t>(c.row)]);
    std::vector<std::string> opened;
    const auto message = OpenRowItem(c.list, c.row, [&](const std::string& item, std::string&) {
      opened.push_back(item);
      return true;
    });
    if (c.opens) {
      EXPECT_EQ(opened, std::vector<std::string>{path});
      EXPECT_EQ(message, std::nullopt) << path;
    } else {
      EXPECT_TRUE(opened.empty()) << path;
      EXPECT_EQ(message,
                "Windows cannot open this item by its name (a name ending in a dot or blank, a device name "
                "such as CON, or a path too long): " +
                    path);
      std::string error;
      EXPECT_FALSE(platform::OpenWithDefaultProgram(path, error)) << path;
      EXPECT_FALSE(error.empty()) << path;
    }
  }
  platform::FileAttributes attributes;
  ASSERT_TRUE(platform::QueryAttributes(other, attributes));
  EXPECT_EQ(attributes.size, 12);
}

TEST(WindowsTrash, ShellCallWithoutDisplayReportsFailure) {
  // Wine without a display cannot ask the user, so the shell reports the
  // operation aborted: false, with a reason, never a silent deletion. On a
  // real Windows machine the shell would really recycle the file: not run there.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) GTEST_SKIP() << "not under Wine";
  if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) != 0) GTEST_SKIP() << "a display would show the shell's dialog";
  WinTree tree;
  const std::string file = tree.File("victim.txt", "keep me");
  const auto outcomes = platform::MoveToTrash({{file, {}}});
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_FALSE(outcomes[0].moved);
  EXPECT_FALSE(outcomes[0].reason.empty());
  EXPECT_TRUE(platform::FileExists(file));
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string FileText(const std::string& path) {
  const HANDLE h = CreateFileW(win::SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(missing)";
  char buffer[256];
  DWORD n = 0;
  ReadFile(h, buffer, sizeof buffer, &n, nullptr);
  CloseHandle(h);
  return std::string(buffer, n);
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(win::SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A Recycle Bin as data: each item kept as a file of a scratch folder, shown
// with the folder, names, date and bin path a test gives it. PutBack moves the
// kept file to where the item came from (never over anything), as the shell's
// Restore does, unless the bin ignores requests (Wine's verb by name).
struct FakeRecycleBin : win::RecycleBinShell {
  struct Entry {
    win::RecycledItem shown;
    std::string kept, original;
    bool gone = false;
  };
  std::vector<Entry> entries;
  bool ignoresRequests = false;
  std::vector<std::string> putBack;

  bool List(const std::function<bool(std::string_view)>& wanted, std::vector<win::RecycledItem>& items,
            std::string&) override {
    items.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto& names = entries[i].shown.names;
      if (entries[i].gone || std::none_of(names.begin(), names.end(), wanted)) continue;
      items.push_back(entries[i].shown);
      items.back().handle = i;
    }
    return true;
  }
  bool PutBack(const win::RecycledItem& item, std::string&) override {
    Entry& entry = entries.at(item.handle);
    putBack.push_back(entry.original);
    if (ignoresRequests) return true;
    entry.gone = MoveFileExW(win::SystemPath(entry.kept).c_str(), win::SystemPath(entry.original).c_str(), 0) != 0;
    return true;
  }
};

// Which item of the bin goes back, and when none does: the one deleted from
// the recorded path (folder and name, letter case aside, the name perhaps shown
// without its extension), with the recorded identity where the bin's own file
// shows it, else the most recently deleted; never a guess between items it
// cannot tell apart, never over what stands at the path, never into a folder
// that is gone, and never "Restored" unless the item is back and gone from the bin.
TEST(WindowsUndo, TheRecycleBinsItemOfThePathGoesBackAndNoOther) {
  WinTree tree;
  const std::string folder = tree.Dir("photos");
  const std::string path = folder + "\\photo.jpg";
  // The bin's own files: as on Windows ("$R...", with the item's extension),
  // or none shown (as under Wine, whose bin shows no path).
  const std::string older = tree.File("bin\\$RA1.jpg", "older"), newer = tree.File("bin\\$RB2.jpg", "newer");
  const std::string png = tree.File("bin\\$RC3.png", "png"), loose = tree.File("bin\\loose", "loose");
  const std::string loose2 = tree.File("bin\\loose2", "loose2");
  platform::FileAttributes olderSeen, newerSeen;
  ASSERT_TRUE(platform::QueryAttributes(older, olderSeen));
  ASSERT_TRUE(platform::QueryAttributes(newer, newerSeen));
  const bool ids = olderSeen.id.Known();
  using Entry = FakeRecycleBin::Entry;
  const auto shown = [&](std::string from, std::vector<std::string> names, std::string binPath, std::int64_t date,
                         const std::string& kept) {
    return Entry{{std::move(from), std::move(names), std::move(binPath), date, 0}, kept, path};
  };
  const Entry olderItem = shown(folder, {"photo.jpg"}, older, 100, older);
  const Entry newerItem = shown(folder, {"photo.jpg"}, newer, 200, newer);
  std::wstring upper = win::Wide(folder);
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  const Entry upperCase = shown(win::Narrow(upper), {"PHOTO.JPG"}, "", 0, loose);
  const struct {
    const char* what;
    std::vector<Entry> bin;
    platform::FileId recorded;
    platform::RestoreResult result;
    std::string back;  // the content at the path afterwards
    bool needsIds = false;
  } cases[] = {
      {"the recorded identity wins over a later deletion",
       {olderItem, newerItem},
       olderSeen.id,
       platform::RestoreResult::Restored,
       "older",
       true},
      {"without an identity, the most recently deleted",
       {olderItem, newerItem},
       {},
       platform::RestoreResult::Restored,
       "newer"},
      {"another item deleted from the path since is not this one",
       {newerItem},
       olderSeen.id,
       platform::RestoreResult::NotInTrash,
       "(missing)",
       true},
      {"shown without its hidden extension, kept with it",
       {shown(folder, {"photo"}, older, 1, older)},
       {},
       platform::RestoreResult::Restored,
       "older"},
      {"shown without an extension, kept with another one",
       {shown(folder, {"photo"}, png, 1, png)},
       {},
       platform::RestoreResult::NotInTrash,
       "(missing)"},
      {"another folder's item of that name",
       {shown(tree.Dir("other"), {"photo.jpg"}, older, 1, older)},
       {},
       platform::RestoreResult::NotInTrash,
       "(missing)"},
      {"folder and name in another letter case, no bin path",
       {upperCase},
       {},
       platform::RestoreResult::Restored,
       "loose"},
      {"two it cannot tell apart: no guess",
       {shown(folder, {"photo.jpg"}, "", 0, loose), shown(folder, {"photo.jpg"}, "", 0, loose2)},
       {},
       platform::RestoreResult::Failed,
       "(missing)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsIds && !ids) continue;  // this file system gives no identity to compare
    FakeRecycleBin bin;
    bin.entries = c.bin;
    const platform::RestoreOutcome outcome = win::RestoreFromRecycleBin({path, "", "", c.recorded}, bin);
    EXPECT_EQ(outcome.result, c.result) << outcome.reason;
    EXPECT_EQ(FileText(path), c.back);
    if (c.result == platform::RestoreResult::Failed) {
      EXPECT_EQ(outcome.reason,
                "the Recycle Bin holds 2 items deleted from this path and does not tell which one the removal moved");
      EXPECT_TRUE(bin.putBack.empty());
    }
    // Put the bin's files back in place for the next case.
    for (const Entry& e : bin.entries) {
      if (e.gone) MoveFileExW(win::SystemPath(path).c_str(), win::SystemPath(e.kept).c_str(), 0);
    }
    ASSERT_FALSE(Exists(path));
  }
}

TEST(WindowsUndo, NeverOverWhatStandsThereNorIntoAGoneFolderNorAFalseRestored) {
  WinTree tree;
  const std::string folder = tree.Dir("photos");
  const std::string path = folder + "\\photo.jpg";
  const std::string kept = tree.File("bin\\$RA1.jpg", "mine");
  FakeRecycleBin bin;
  bin.entries = {{{folder, {"photo.jpg"}, kept, 1, 0}, kept, path}};
  const platform::TrashedItem item{path, "", "", {}};

  // Something stands at the path: it stays as it is, and the shell is not asked.
  tree.File("photos\\photo.jpg", "someone else's");
  EXPECT_EQ(win::RestoreFromRecycleBin(item, bin).result, platform::RestoreResult::Occupied);
  EXPECT_EQ(FileText(path), "someone else's");
  EXPECT_TRUE(bin.putBack.empty());
  ASSERT_NE(DeleteFileW(win::SystemPath(path).c_str()), 0);

  // The folder is gone: no folder is made (the shell's Restore would make it).
  ASSERT_NE(RemoveDirectoryW(win::SystemPath(folder).c_str()), 0);
  EXPECT_EQ(win::RestoreFromRecycleBin(item, bin).result, platform::RestoreResult::NoFolder);
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(bin.putBack.empty());
  // A file where the folder was is no folder either.
  tree.File("photos", "a file");
  EXPECT_EQ(win::RestoreFromRecycleBin(item, bin).result, platform::RestoreResult::NoFolder);
  ASSERT_NE(DeleteFileW(win::SystemPath(folder).c_str()), 0);
  tree.Dir("photos");

  // The shell takes the request and does nothing (Wine's verb by name): no "Restored".
  bin.ignoresRequests = true;
  platform::RestoreOutcome outcome = win::RestoreFromRecycleBin(item, bin);
  EXPECT_EQ(outcome.result, platform::RestoreResult::Failed);
  EXPECT_EQ(outcome.reason, "the shell left it in the Recycle Bin");
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(bin.putBack, std::vector<std::string>{path});

  bin.ignoresRequests = false;
  EXPECT_EQ(win::RestoreFromRecycleBin(item, bin).result, platform::RestoreResult::Restored);
  EXPECT_EQ(FileText(path), "mine");
  EXPECT_FALSE(Exists(kept));
  // Once back, the bin holds it no more.
  EXPECT_EQ(win::RestoreFromRecycleBin(item, bin).result, platform::RestoreResult::NotInTrash);
}

// Wine's Recycle Bin is the freedesktop.org trash of the Unix home (a scratch
// one in the tests). Its shell folder lists the items with their original
// folder (a column's text: GetDetailsEx is not there) and name, but no bin
// path and no date; its context menu takes no verb by name, so "undelete"
// does nothing there, and only its own command id (IDM_RECYCLEBIN_RESTORE)
// restores. The round trip goes through that id; the program's own restore
// must say it could not, never "Restored".
struct WineRecycleBin : win::ShellRecycleBin {
  bool PutBack(const win::RecycledItem& item, std::string& error) override {
    constexpr WORD kWineRestoreCommand = 301;
    const HRESULT result = InvokeCommand(item, MAKEINTRESOURCEA(kWineRestoreCommand));
    if (FAILED(result)) error = win::ErrorText(static_cast<DWORD>(result));
    return SUCCEEDED(result);
  }
};

TEST(WindowsUndo, FilesAndFoldersComeBackFromWinesRecycleBinWithTheirNames) {
  // On Windows this would use the developer's own Recycle Bin.
  if (!UnderWine()) GTEST_SKIP() << "not under Wine";
  WinTree tree;
  // Names no earlier run left in the bin (Wine reuses process ids).
  const std::string unique = std::to_string(GetTickCount64()) + "-" + std::to_string(GetCurrentProcessId());
  const std::string file = tree.File("undo " + unique + "\\a file.txt", "one");
  const std::string quoted = tree.File("undo " + unique + "\\100% #1 \xC3\x84rger [x] & y.txt", "two");
  const std::string folder = tree.Dir("undo " + unique + "\\a folder");
  tree.File("undo " + unique + "\\a folder\\inner.txt", "three");
  const std::string gone = tree.File("gone " + unique + "\\lone.txt", "four");
  const auto answered = [](SHFILEOPSTRUCTW& request) {
    // Nobody is there to answer the shell's question under Wine.
    request.fFlags |= FOF_NOCONFIRMATION;
    return SHFileOperationW(&request);
  };
  const TrashMover mover = [&](const std::vector<platform::TrashItem>& items, const platform::TrashHooks& hooks) {
    return win::RecycleItems(items, hooks, nullptr, answered);
  };
  std::vector<platform::TrashItem> items;
  for (const std::string& path : {file, quoted, folder, gone}) {
    platform::FileAttributes seen;
    ASSERT_TRUE(platform::QueryAttributes(path, seen)) << path;
    items.push_back({path, seen.id});
  }
  const auto moved = RecordingRemoval(mover)(items, {});
  for (std::size_t i = 0; i < moved.size(); ++i) {
    if (!moved[i].moved) GTEST_SKIP() << "Wine's shell moved nothing to its trash here: " << moved[i].reason;
  }
  std::string error;
  std::optional<std::vector<platform::TrashedItem>> record = ReadRemovalRecord(error);
  ASSERT_TRUE(record.has_value()) << error;
  ASSERT_EQ(record->size(), 4u);

  // The program's own restore: the item is found, and Wine ignores the verb.
  const platform::RestoreOutcome own = platform::RestoreFromTrash(record->front());
  if (own.result == platform::RestoreResult::Restored) {
    EXPECT_EQ(FileText(file), "one") << "\"Restored\", yet not back";
    GTEST_SKIP() << "this Wine restores through the verb; the rest of the round trip expects one that does not";
  }
  EXPECT_NE(own.result, platform::RestoreResult::NotInTrash) << "Wine's bin lists the item";
  EXPECT_EQ(own.reason, "the shell left it in the Recycle Bin");
  EXPECT_FALSE(Exists(file));

  // Something stands at the first path, and the last one's folder is gone.
  tree.File("undo " + unique + "\\a file.txt", "someone else's");
  ASSERT_NE(RemoveDirectoryW(win::SystemPath(tree.Root() + "\\gone " + unique).c_str()), 0);
  const TrashRestorer wine = [](const platform::TrashedItem& item) {
    WineRecycleBin bin;
    return win::RestoreFromRecycleBin(item, bin);
  };
  std::vector<UndoneItem> undone = UndoLastRemoval(*record, wine);
  ASSERT_EQ(undone.size(), 4u);
  EXPECT_FALSE(undone[0].restored);
  EXPECT_EQ(undone[0].reason, "Something now stands at its original path.");
  EXPECT_TRUE(undone[1].restored) << undone[1].reason;
  EXPECT_TRUE(undone[2].restored) << undone[2].reason;
  EXPECT_FALSE(undone[3].restored);
  EXPECT_EQ(undone[3].reason, "The folder it was in is gone.");
  EXPECT_EQ(FileText(file), "someone else's");
  EXPECT_EQ(FileText(quoted), "two");
  EXPECT_TRUE(platform::FolderExists(folder));
  EXPECT_EQ(FileText(folder + "\\inner.txt"), "three");
  EXPECT_FALSE(Exists(tree.Root() + "\\gone " + unique)) << "no folder is made";

  // What stayed is kept for another try, and comes back once its place is free.
  record = ReadRemovalRecord(error);
  ASSERT_TRUE(record.has_value()) << error;
  ASSERT_EQ(record->size(), 2u);
  ASSERT_NE(DeleteFileW(win::SystemPath(file).c_str()), 0);
  tree.Dir("gone " + unique);
  undone = UndoLastRemoval(*record, wine);
  ASSERT_EQ(undone.size(), 2u);
  EXPECT_TRUE(undone[0].restored) << undone[0].reason;
  EXPECT_TRUE(undone[1].restored) << undone[1].reason;
  EXPECT_EQ(FileText(file), "one");
  EXPECT_EQ(FileText(gone), "four");
  // Back, they are no longer in the bin.
  EXPECT_EQ(wine(record->front()).result, platform::RestoreResult::NotInTrash);
}

TEST(WindowsPaths, MasksWithCharactersNoNameMayHoldAreRejected) {
  for (const char* mask : {"a\\b", "*.t:t", "a|b", "x<y", "\"q\""}) EXPECT_THROW(FileMask{mask}, MaskError) << mask;
  EXPECT_TRUE(FileMask("*.TXT").Matches("notes.txt"));
}

TEST(WindowsScan, ContentGroupsOfSmallTree) {
  WinTree tree;
  const std::string a = tree.File("a\\same.txt", "hello world\n");
  const std::string b = tree.File("a\\sub\\same.txt", "hello world\n");
  const std::string c = tree.File("b\\Same.TXT", "hello world\n");
  tree.File("b\\other.txt", "hello world?");
  const std::string big1 = tree.File("a\\big.bin", std::string(300000, 'q') + "1");
  const std::string big2 = tree.File("c\\BIG.bin", std::string(300000, 'q') + "1");
  tree.File("c\\big-other.bin", std::string(300000, 'q') + "2");
  // A header gives the group's total size.
  const std::string expected =
      "Group 1 (0.57 MB)\n" + big1 + "\n" + big2 + "\n\nGroup 2 (0.00 MB)\n" + a + "\n" + b + "\n" + c + "\n";
  int status = -1;
  EXPECT_EQ(RunCliText({"-q", "--min-size-mb", "0", tree.Root()}, &status), expected);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunCliText({"-q", "--min-size-mb", "0", "--sequential", tree.Root()}), expected);
}

}  // namespace
}  // namespace orvanta
