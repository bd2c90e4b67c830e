#include <gtest/gtest.h>

#include <csignal>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "cli/cli.h"
#include "cli/listing_writers.h"
#include "cli_run.h"
#include "fileclones/digest_cache.h"
#include "platform/platform.h"
#include "test_support.h"
#include "text/text_helpers.h"

namespace orvanta {
namespace {

using test::CliResult;
using test::RunCliWith;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.File("x/dup.txt", "same");
    tree.File("y/dup.txt", "same");
    tree.File("y/big.dat", "1234567890");
    tree.File("z/big.dat", "1234567890");
  }
  test::TempTree tree;
};

TEST_F(CliTest, ListsEachGroupAsHeaderAndPaths) {
  // One file per folder and group, so the order follows the folder arguments.
  const auto r =
      RunCliWith({"--compare", "size", "--min-size-mb", "0", tree.Folder("x"), tree.Folder("y"), tree.Folder("z")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Group 1 (0.00 MB)\n" + tree.Path("y/big.dat") + "\n" + tree.Path("z/big.dat") +
                       "\n\nGroup 2 (0.00 MB)\n" + tree.Path("x/dup.txt") + "\n" + tree.Path("y/dup.txt") + "\n");
  EXPECT_EQ(r.err, "") << "no progress when standard error is not a terminal";
}

// A whole run ends with its figures on standard error, unless -q; the digest
// cache is the user's unless --cache names another file or --no-cache none.
TEST_F(CliTest, TheScansFiguresAndTheDigestCacheFile) {
  const std::string userCache = DefaultDigestCacheFile();
  if (DigestCacheAvailable()) {
    ASSERT_EQ(userCache.rfind(test::ScratchHome(), 0), 0u) << "the test's own cache folder";
  }
  std::filesystem::remove(userCache);
  const std::string other = tree.Path("cache/mine.db");
  const struct {
    std::vector<std::string> options;
    std::string figuresEnd;  // empty: no figures line
    std::string cacheFile;   // the file the run made; empty: none
  } cases[] = {
      {{}, " s: 4 files read, 0 from the cache.\n", userCache},
      {{"-q"}, "", userCache},
      {{"--cache", other}, " s: 4 files read, 0 from the cache.\n", other},
      {{"--no-cache"}, " s: 4 files read, 0 from the cache.\n", ""},
      {{"--cache", other, "--no-cache", "--compare", "size"}, " s: 0 files read, 0 from the cache.\n", ""},
  };
  for (const auto& [options, figuresEnd, cacheFile] : cases) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--min-size-mb", "0", tree.Root()});
    const auto r = RunCliWith(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (figuresEnd.empty()) {
      EXPECT_EQ(r.figures, "") << options.front();
    } else {
      EXPECT_EQ(r.figures.rfind("orvanta-cli: Scanned in ", 0), 0u) << r.figures;
      EXPECT_TRUE(r.figures.ends_with(figuresEnd)) << r.figures;
    }
    // A build without the cache (Windows) makes no file at all.
    const bool made = DigestCacheAvailable();
    EXPECT_EQ(std::filesystem::exists(userCache), made && cacheFile == userCache)
        << (options.empty() ? "" : options.front());
    EXPECT_EQ(std::filesystem::exists(other), made && cacheFile == other);
    std::filesystem::remove(userCache);
    std::filesystem::remove(other);
  }
  EXPECT_EQ(RunCliWith({"--cache-limit-mb", "0", tree.Root()}).status, 2);
  EXPECT_EQ(RunCliWith({"--cache", "", tree.Root()}).status, 2);
}

TEST_F(CliTest, WritesTheFileCloneListAsCsv) {
  const std::string csv = tree.Path("out.csv");
  const auto r = RunCliWith(
      {"--compare=name", "--min-size-mb=0", "--masks", "*.txt", "--csv", csv, tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadFile(csv), "\xEF\xBB\xBFGroup,File name,Directory,File size (MB)\r\n\"1\",\"dup.txt\",\"" +
                                     tree.Path("x") + "\",\"0.00 MB\"\r\n\"1\",\"dup.txt\",\"" + tree.Path("y") +
                                     "\",\"0.00 MB\"\r\n");

  const auto toStdout = RunCliWith({"--compare=name", "--min-size-mb=0", "--csv", "-", tree.Root()});
  EXPECT_EQ(toStdout.out.rfind("\xEF\xBB\xBFGroup,", 0), 0u) << "the CSV replaces the listing";

  // Asked for, the exact size and the mark follow the described columns, in
  // the file and on standard output alike (the default marks: all but the first).
  const auto extra = RunCliWith({"--compare=name", "--min-size-mb=0", "--masks", "*.txt", "--csv-extra-columns",
                                 "--csv", csv, tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(extra.status, 0) << extra.err;
  const std::string size = std::to_string(std::filesystem::file_size(tree.Path("x/dup.txt")));
  EXPECT_EQ(test::ReadFile(csv),
            "\xEF\xBB\xBFGroup,File name,Directory,File size (MB),Size (bytes),Checked\r\n\"1\",\"dup.txt\",\"" +
                tree.Path("x") + "\",\"0.00 MB\",\"" + size + "\",\"0\"\r\n\"1\",\"dup.txt\",\"" + tree.Path("y") +
                "\",\"0.00 MB\",\"" + size + "\",\"1\"\r\n");
  const auto extraToStdout = RunCliWith(
      {"--compare=name", "--min-size-mb=0", "--masks", "*.txt", "--csv-extra-columns", "--csv", "-", tree.Root()});
  EXPECT_NE(extraToStdout.out.find("Size (bytes),Checked\r\n"), std::string::npos);
}

TEST_F(CliTest, FolderClonesFollowTheFileClones) {
  tree.File("w/dup.txt", "same");
  const std::string csv = tree.Path("folders.csv");
  const auto r = RunCliWith({"--compare", "name", "--min-size-mb", "0", "--masks", "*.txt", "--folders",
                             "--csv-folders", csv, tree.Folder("w"), tree.Folder("x")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Group 1 (0.00 MB)\n" + tree.Path("w/dup.txt") + "\n" + tree.Path("x/dup.txt") +
                       "\n\nGroup 1 (0.00 MB): names and sizes match, contents not compared\n" + tree.Path("w") + "\n" +
                       tree.Path("x") + "\n");
  EXPECT_EQ(test::ReadFile(csv), "\xEF\xBB\xBFGroup,Directory,Size\r\n\"1\",\"" + tree.Path("w") +
                                     "\",\"0.00 MB\"\r\n\"1\",\"" + tree.Path("x") + "\",\"0.00 MB\"\r\n");
}

TEST_F(CliTest, BadUsageNamesTheProblemAndExitsTwo) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--frobnicate", "/"}, "'--frobnicate'"},
      {{"--compare", "colour", "/"}, "'colour'"},
      {{"--min-size-mb", "-1", "/"}, "'-1'"},
      {{"--max-groups", "many", "/"}, "'many'"},
      {{"--min-group-size", "1", "/"}, "'1'"},
      {{"--quiet=yes", "/"}, "'--quiet'"},
      {{"--csv"}, "'--csv'"},
      {{"--masks", "*.txt [abc", "/"}, "'[abc'"},
      {{"--masks", "a/b", "/"}, "'a/b'"},
      {{"--json", "--csv", "-", "/"}, "'--json'"},
      {{}, "no folder"},
      {{"--trash", "some", "/"}, "'some'"},
      {{"--trash", "all", "--trash-folders", "all", "--folders", "/"}, "only one"},
      {{"--trash-folders", "all", "/"}, "'--folders'"},
      {{"--yes", "/"}, "'--yes'"},
      {{"--dry-run", "/"}, "'--dry-run'"},
      {{"--move-different", "/"}, "'--move-different'"},
      {{"--trash", "all-but-one", "--keep", "largest", "/"}, "'largest'"},
      {{"--trash", "all-but-one", "--keep", "in=", "/"}, "'in='"},
      {{"--keep", "newest", "/"}, "'--keep'"},
      {{"--trash", "all", "--keep", "newest", "/"}, "'--keep'"},
      {{"--exclude", "cache[", "/"}, "'cache['"},
      {{"--exclude", "a/b", "/"}, "'a/b'"},
      {{"--masks", "*.*;!x[", "/"}, "'x['"},
      {{"--max-size-mb", "-1", "/"}, "'-1'"},
      {{"--min-size-mb", "5", "--max-size-mb", "2", "/"}, "'--max-size-mb'"},
      {{"--scan-trash=yes", "/"}, "'--scan-trash'"},
  };
  for (const auto& [args, named] : cases) {
    const auto r = RunCliWith(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')).find(named) != std::string::npos, true) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(RunCliWith({"--help"}).status, 0);
  EXPECT_EQ(RunCliWith({"--version"}).out, "orvanta-cli 2.4\n");
}

TEST_F(CliTest, ARootThatCannotBeScannedIsNamedAndTheRunExitsOne) {
  std::vector<std::pair<std::string, std::string>> roots = {
      {tree.Path("missing"), "Directory does not exist: "},
      {tree.Path("y/big.dat"), "Not a folder: "},
  };
  std::optional<test::Unreadable> locked;
  if (!test::RunningAsRoot()) {
    locked.emplace(tree.Dir("locked"));
    roots.emplace_back(tree.Path("locked"), "Cannot read the folder: ");
  }
  for (const auto& [root, problem] : roots) {
    const auto r = RunCliWith({"--compare", "size", "--min-size-mb", "0", root, tree.Folder("y"), tree.Folder("z")});
    EXPECT_EQ(r.status, 1) << root;
    EXPECT_NE(r.err.find(problem + root + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Group 1"), std::string::npos) << "the other roots are still scanned";
  }
  locked.reset();

  const auto none = RunCliWith({tree.Path("missing")});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "orvanta-cli: Directory does not exist: " + tree.Path("missing") + "\n")
      << "the root is named once, and nothing more is said";
  EXPECT_EQ(none.out, "");

#ifndef _WIN32
  tree.Dir("deep/inner");
  tree.File("deep/y/1.dat", "12");
  tree.File("deep/y/2.dat", "34");
  tree.Symlink("link", tree.Path("deep/inner"));

  // "link/.." is the parent of the link's target, as the kernel resolves it,
  // not the folder holding the link.
  const auto dotDot = RunCliWith({"--compare", "size", "--min-size-mb", "0", tree.Path("link/../y")});
  EXPECT_EQ(dotDot.status, 0) << dotDot.err;
  EXPECT_NE(dotDot.out.find(tree.Path("deep/y/1.dat")), std::string::npos) << dotDot.out;
  EXPECT_NE(dotDot.out.find(tree.Path("deep/y/2.dat")), std::string::npos) << dotDot.out;
#endif
}

// Whatever ends the run, standard error holds the program's own lines only,
// and a run that was not stopped gives standard output a whole listing: a
// JSON document, or nothing for an empty text or -0 listing.
TEST_F(CliTest, NoFolderToScanAndAFailedRunAreToldInTheProgramsOwnLines) {
  const std::string missing = tree.Path("missing"), csv = tree.File("old.csv", "kept");
  const std::string emptyDocument = "{\n  \"files\": [],\n  \"folders\": []\n}\n";
  const std::string notThere = "orvanta-cli: Directory does not exist: " + missing + "\n";
  const std::string failed = "orvanta-cli: Error: disk on fire\n";
  const CliHooks scanning;
  CliHooks failing;
  failing.onPump = [] { throw std::runtime_error("disk on fire"); };
  failing.moveToTrash = [](const std::vector<platform::TrashItem>& items, const platform::TrashHooks&) {
    ADD_FAILURE() << "a failed run removes nothing";
    return std::vector<platform::TrashOutcome>(items.size());
  };
  const struct {
    std::vector<std::string> args;
    const CliHooks& hooks;
    std::string err, out;
  } cases[] = {
      {{"--json", missing}, scanning, notThere, emptyDocument},
      {{"-0", "--csv", csv, missing}, scanning, notThere, ""},
      {{tree.Root()}, failing, failed, ""},
      {{"--json", "--folders", tree.Root()}, failing, failed, emptyDocument},
      {{"-0", "--csv", csv, tree.Root()}, failing, failed, ""},
      {{"--trash", "all", "--yes", tree.Root()}, failing, failed, ""},
  };
  for (const auto& [args, hooks, err, out] : cases) {
    const auto r = RunCliWith(args, hooks);
    EXPECT_EQ(r.status, 1) << args.front();
    EXPECT_EQ(r.err, err) << args.front();
    EXPECT_EQ(r.out, out) << args.front();
  }
  EXPECT_EQ(test::ReadFile(csv), "kept") << "a CSV file is written only after a whole run";
}

TEST_F(CliTest, AFileThatCannotBeReadIsNamedOnStandardErrorAndLeftOut) {
  // On Windows, held without sharing by another program (a mail store, a
  // virtual disk); on POSIX, without permissions.
  if (test::RunningAsRoot()) GTEST_SKIP() << "root reads every file";
  const std::string held = tree.File("y/held.pst", "same");
  const test::Unreadable unreadable(held);
  const auto r = RunCliWith({"--min-size-mb", "0", tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(r.out, "Group 1 (0.00 MB)\n" + tree.Path("x/dup.txt") + "\n" + tree.Path("y/dup.txt") + "\n");
  EXPECT_EQ(r.err, "orvanta-cli: Cannot read file: " + held + "\n");
}

// Files only online are named and left out unless --read-placeholders asks for
// them; where there is no such file (every file on POSIX) the option changes
// nothing, so scripts stay portable.
TEST_F(CliTest, FilesOnlyOnlineAreNamedAndReadOnlyWhenAsked) {
  const std::vector<std::string> scan = {"--min-size-mb", "0", "--folders", tree.Folder("x"), tree.Folder("y"),
                                         tree.Folder("z")};
  auto with = [&scan](const std::string& option) {
    std::vector<std::string> args = {option};
    args.insert(args.end(), scan.begin(), scan.end());
    return RunCliWith(args);
  };
  const auto plain = RunCliWith(scan);
  const auto asked = with("--read-placeholders");
  EXPECT_EQ(asked.status, 0) << asked.err;
  EXPECT_EQ(asked.out, plain.out);
  EXPECT_EQ(asked.err, plain.err);
  EXPECT_NE(RunCliWith({"--help"}).out.find("\n  --read-placeholders "), std::string::npos);

  const test::OnlineOnly online("big.dat");
  const auto left = RunCliWith(scan);
  EXPECT_EQ(left.status, 0) << left.err;
  EXPECT_EQ(left.out, "Group 1 (0.00 MB)\n" + tree.Path("x/dup.txt") + "\n" + tree.Path("y/dup.txt") + "\n");
  EXPECT_EQ(left.err, "orvanta-cli: Only online, not read: " + tree.Path("y/big.dat") +
                          "\norvanta-cli: Only online, not read: " + tree.Path("z/big.dat") + "\n");
  const auto read = with("--read-placeholders");
  EXPECT_EQ(read.out, plain.out);
  EXPECT_EQ(read.err, "");
}

TEST_F(CliTest, ScriptsGetExactBytes) {
  ORVANTA_SKIP_UNLESS_POSIX("Windows names hold no control characters");
  tree.File("q/a\nb\x1b[31m.dat", "1234567890");
  const std::string crafted = tree.Path("q/a\nb\x1b[31m.dat");
  const std::vector<std::string> scan = {"--compare", "size", "--min-size-mb", "0", tree.Folder("q"), tree.Folder("z")};
  auto with = [&](std::vector<std::string> options) {
    options.insert(options.end(), scan.begin(), scan.end());
    return RunCliWith(options);
  };

  const auto text = with({});
  EXPECT_EQ(text.out,
            "Group 1 (0.00 MB)\n'" + tree.Path("q/a") + "'$'\\n''b'$'\\E''[31m.dat'\n" + tree.Path("z/big.dat") + "\n");

  const auto null = with({"-0"});
  EXPECT_EQ(null.out, crafted + std::string(1, '\0') + tree.Path("z/big.dat") + std::string(2, '\0'));

  test::SetModifiedYear(crafted, 2020);
  test::SetModifiedYear(tree.Path("z/big.dat"), 2021);
  const auto json = with({"--json"});
  const std::string jsonCrafted = tree.Path("q/a") + "\\u000ab\\u001b[31m.dat";
  EXPECT_EQ(json.out,
            "{\n  \"files\": [\n    {\"group\": 1, \"header\": \"Group 1 (0.00 MB)\", \"size\": 20, \"paths\": [\"" +
                jsonCrafted + "\", \"" + tree.Path("z/big.dat") + "\"], \"members\": [\n      {\"path\": \"" +
                jsonCrafted + "\", \"size\": 10, \"modified\": \"2020-01-01T00:00:00Z\"},\n      {\"path\": \"" +
                tree.Path("z/big.dat") +
                "\", \"size\": 10, \"modified\": \"2021-01-01T00:00:00Z\"}]}\n  ],\n  \"folders\": []\n}\n");
}

// With --folders, -0 ends the file list with one more NUL (an empty group),
// so a script tells the two lists apart, also when the file list is empty.
TEST_F(CliTest, NullSeparatedListsAreApartByAnEmptyGroup) {
  const std::string nul(1, '\0');
  const auto both = RunCliWith({"-0", "--folders", "--min-size-mb", "0", tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out, tree.Path("x/dup.txt") + nul + tree.Path("y/dup.txt") + nul + nul + nul);
  tree.File("w/dup.txt", "same");
  const auto folders = RunCliWith({"-0", "--folders", "--min-size-mb", "0", tree.Folder("x"), tree.Folder("w")});
  EXPECT_EQ(folders.out, tree.Path("x/dup.txt") + nul + tree.Path("w/dup.txt") + nul + nul + nul + tree.Path("w") +
                             nul + tree.Path("x") + nul + nul);
  const auto onlyFolders =
      RunCliWith({"-0", "--no-files", "--folders", "--min-size-mb", "0", tree.Folder("x"), tree.Folder("w")});
  EXPECT_EQ(onlyFolders.out, nul + tree.Path("w") + nul + tree.Path("x") + nul + nul)
      << "the file list is there, empty";
}

// A folder rule that names no folder, or a folder the scan does not reach, is
// refused before anything is scanned; one that names a scanned folder by
// another path is taken.
TEST_F(CliTest, AKeepFolderThatNamesNoScannedFolderIsBadUsage) {
  ORVANTA_SKIP_UNLESS_POSIX("links, and paths that differ only in letter case");
  tree.Dir("elsewhere");
  tree.Dir("odd\x1B[31mname");
  tree.Symlink("to-y", tree.Path("y"));
  // newest decides first: y's copy is the newer one, also where the two were
  // written within one tick of the clock.
  test::SetModifiedYear(tree.Path("x/dup.txt"), 2020);
  test::SetModifiedYear(tree.Path("y/dup.txt"), 2021);
  const std::string noFolder = "orvanta-cli: '--keep in=' names no existing folder: ";
  const std::string notScanned =
      "orvanta-cli: '--keep in=' names a folder that is no scanned folder, lies in none and holds none: ";
  const std::pair<std::string, std::string> refused[] = {
      {tree.Path("Y"), noFolder + tree.Path("Y")},
      {tree.Path("y/typo"), noFolder + tree.Path("y/typo")},
      {tree.Path("y/dup.txt"), noFolder + tree.Path("y/dup.txt")},
      {tree.Path("elsewhere"), notScanned + tree.Path("elsewhere")},
      {tree.Path("z"), notScanned + tree.Path("z")},
      {tree.Path("odd\x1B[31mname"), notScanned + "'" + tree.Path("odd") + "'$'\\E''[31mname'"},
  };
  auto run = [this](const std::string& folder) {
    return RunCliWith({"--dry-run", "--min-size-mb", "0", "--trash", "all-but-one", "--keep", "newest", "--keep",
                       "in=" + folder, tree.Folder("x"), tree.Folder("y")});
  };
  for (const auto& [folder, message] : refused) {
    const auto r = run(folder);
    EXPECT_EQ(r.status, 2) << folder;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), message);
    EXPECT_EQ(r.out, "") << "nothing scanned";
  }
  for (const std::string& folder : {tree.Path("y"), tree.Path("to-y/"), tree.Path("x/../to-y"), tree.Root(),
                                    std::filesystem::relative(tree.Path("y")).string()}) {
    const auto r = run(folder);
    EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    EXPECT_NE(r.err.find("Would move to the trash: " + tree.Path("x/dup.txt")), std::string::npos) << r.err;
  }
}

TEST_F(CliTest, AKeepFolderWithoutACopyInSomeGroupsSaysSo) {
  const auto r = RunCliWith({"--dry-run", "--min-size-mb", "0", "--trash", "all-but-one", "--keep",
                             "in=" + tree.Path("z"), tree.Folder("x"), tree.Folder("y"), tree.Folder("z")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("orvanta-cli: '--keep in=' holds no copy in 1 of 2 groups; the other rules chose there: " +
                       tree.Path("z") + test::TrashText("\nMove 2 files to Recycle Bin?\n")),
            std::string::npos)
      << r.err;
}

TEST_F(CliTest, RemovalAsksMovesTheExtraCopiesAndTellsWhatStayed) {
  const test::TestTrash testTrash(tree);
  const std::vector<std::string> trash = {
      "--min-size-mb", "0", "--trash", "all-but-one", tree.Folder("x"), tree.Folder("y"), tree.Folder("z")};
  auto with = [&trash](std::vector<std::string> extra) {
    extra.insert(extra.end(), trash.begin(), trash.end());
    return extra;
  };
  auto allThere = [this] {
    for (const char* f : {"x/dup.txt", "y/dup.txt", "y/big.dat", "z/big.dat"}) {
      if (!std::filesystem::exists(tree.Path(f))) return false;
    }
    return true;
  };
  CliHooks noTerminal;
  noTerminal.stdinIsTerminal = 0;
  noTerminal.moveToTrash = testTrash.Mover();
  auto r = RunCliWith(trash, noTerminal);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("'--yes'"), std::string::npos) << r.err;
  EXPECT_TRUE(allThere());

  r = RunCliWith(with({"--dry-run"}), noTerminal);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(
      r.err.find(test::TrashText("Move 2 files to Recycle Bin?\nWould move to the trash: ") + tree.Path("z/big.dat") +
                 "\nWould move to the trash: " + tree.Path("y/dup.txt") + "\nMoved: 0. Stayed: 0.\n"),
      std::string::npos)
      << r.err;
  EXPECT_TRUE(allThere());

  CliHooks terminal;
  terminal.stdinIsTerminal = 1;
  terminal.moveToTrash = testTrash.Mover();
  std::istringstream no("n\n"), yes("y\n");
  terminal.input = &no;
  r = RunCliWith(trash, terminal);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(test::TrashText("Move 2 files to Recycle Bin? [y/N] ")), std::string::npos) << r.err;
  EXPECT_TRUE(allThere());

  terminal.input = &yes;
  r = RunCliWith(trash, terminal);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved to the trash: " + tree.Path("z/big.dat") +
                       "\nMoved to the trash: " + tree.Path("y/dup.txt") + "\nMoved: 2. Stayed: 0.\n"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(std::filesystem::exists(tree.Path("x/dup.txt")));
  EXPECT_TRUE(std::filesystem::exists(tree.Path("y/big.dat")));
  EXPECT_FALSE(std::filesystem::exists(tree.Path("z/big.dat")));
}

TEST_F(CliTest, RemovalKeepsWhatItCannotVouchForAndExitsOne) {
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  // Grouped by size only, with other bytes: the checked copy stays.
  tree.File("x/dup.txt", "SAME");
  auto r = RunCliWith({"--yes", "--compare", "size", "--min-size-mb", "0", "--trash", "all-but-one", "--masks", "*.txt",
                       tree.Folder("x"), tree.Folder("y")},
                      hooks);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Stayed: " + tree.Path("y/dup.txt") + " (It differs from the copy that is kept.)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFile(tree.Path("y/dup.txt")), "same");

  // Nested folder clones: one side goes, the other stays whole.
  for (const char* root : {"Photos", "Photos - Copy"}) {
    tree.File(std::string("p/") + root + "/2019/beach.jpg", "beach");
    tree.File(std::string("p/") + root + "/2020/snow.jpg", "snow!");
  }
  r = RunCliWith({"--yes", "--folders", "--min-size-mb", "0", "--trash-folders", "all-but-one", tree.Folder("p")},
                 hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved: 3. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(tree.Path("p/Photos/2019/beach.jpg")), "beach");
  EXPECT_EQ(test::ReadFile(tree.Path("p/Photos/2020/snow.jpg")), "snow!");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("p/Photos - Copy")));
}

// In a name mode a checked copy whose bytes differ is named before the
// question and moves only with --move-different; --yes alone leaves it.
TEST_F(CliTest, CopiesThatDifferMoveOnlyWithMoveDifferent) {
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  tree.File("a/notes.txt", "first draft");
  tree.File("b/notes.txt", "final text, longer");
  const std::vector<std::string> base = {"--compare",      "name",          "--min-size-mb", "0",
                                         "--trash",        "all-but-one",   "--keep",        "in=" + tree.Path("a"),
                                         tree.Folder("a"), tree.Folder("b")};
  auto with = [&base](std::vector<std::string> extra) {
    extra.insert(extra.end(), base.begin(), base.end());
    return extra;
  };
  const std::string question =
      test::TrashText("Move 1 file to Recycle Bin?\n\n1 of them differs from the copy that is kept:\n") +
      tree.Path("b/notes.txt");
  auto r = RunCliWith(with({"--dry-run", "--move-different"}), hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(question +
                       "\nMove the 1 that differs from the copy that is kept as well? y\n"
                       "Would move to the trash: " +
                       tree.Path("b/notes.txt") + "\nMoved: 0. Stayed: 0.\n"),
            std::string::npos)
      << r.err;

  r = RunCliWith(with({"--yes"}), hooks);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(question + " y\nMove the 1 that differs from the copy that is kept as well? n\nStayed: " +
                       tree.Path("b/notes.txt") + " (It differs from the copy that is kept.)\nMoved: 0. Stayed: 1.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFile(tree.Path("b/notes.txt")), "final text, longer");

  r = RunCliWith(with({"--yes", "--move-different"}), hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved to the trash: " + tree.Path("b/notes.txt") + "\nMoved: 1. Stayed: 0.\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(tree.Path("b/notes.txt")));
  EXPECT_EQ(test::ReadFile(tree.Path("a/notes.txt")), "first draft");
}

#ifndef _WIN32
// Ctrl-C during the removal: the items that moved were named as they moved,
// the one in hand finishes, the rest stay and are named, exit status 130.
// POSIX: Windows moves a request in one shell call.
TEST_F(CliTest, CtrlCDuringTheRemovalEndsAfterTheItemInHand) {
  const test::TestTrash trash(tree);
  for (const char* name : {"1", "2", "3"}) {
    tree.File(std::string("k/") + name + ".dat", std::string("content ") + name);
    tree.File(std::string("m/") + name + ".dat", std::string("content ") + name);
  }
  std::ostringstream out, err;
  std::vector<std::string> toldBeforeTheNext;
  CliHooks hooks;
  hooks.moveToTrash = [&](const std::vector<platform::TrashItem>& items, const platform::TrashHooks& inner) {
    platform::TrashHooks wrapped = inner;
    wrapped.afterMove = [&](std::size_t i, const platform::TrashOutcome& outcome) {
      inner.afterMove(i, outcome);
      toldBeforeTheNext.push_back(err.str());
      if (i == 1) std::raise(SIGINT);
    };
    return trash.Mover()(items, wrapped);
  };
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  const std::string k = tree.Folder("k"), m = tree.Folder("m"), keep = "in=" + k;
  const char* argv[] = {"orvanta-cli", "--yes",  "--min-size-mb", "0",       "--trash",
                        "all-but-one", "--keep", keep.c_str(),    k.c_str(), m.c_str()};
  const int status = RunCli(10, argv, out, err, hooks);
  EXPECT_EQ(status, 130);
  std::vector<std::string> moved, stayed;
  for (const char* name : {"1", "2", "3"}) {
    const std::string path = tree.Path(std::string("m/") + name + ".dat");
    (std::filesystem::exists(path) ? stayed : moved).push_back(path);
    EXPECT_TRUE(std::filesystem::exists(tree.Path(std::string("k/") + name + ".dat")));
  }
  ASSERT_EQ(moved.size(), 2u) << err.str();
  ASSERT_EQ(stayed.size(), 1u);
  ASSERT_EQ(toldBeforeTheNext.size(), 3u);
  EXPECT_NE(toldBeforeTheNext[0].find("Moved to the trash: " + moved[0] + "\n"), std::string::npos)
      << "named as it moved: " << toldBeforeTheNext[0];
  EXPECT_NE(err.str().find("Moved to the trash: " + moved[1] + "\nStayed: " + stayed[0] +
                           " (The removal was stopped.)\nMoved: 2. Stayed: 1.\n"),
            std::string::npos)
      << err.str();
  struct sigaction after {};
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler) << "the handler is restored after the removal";
}

// A name that holds escape sequences reaches the terminal quoted, in the
// path and in the reason, as the listing shows it.
TEST_F(CliTest, AReasonNamesItsPathQuotedAndNoControlCharacterReachesTheTerminal) {
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  const std::string odd = "K\x1b]0;PWNED\a\x1b[31mRED";
  tree.File("p/P/" + odd + "/x.txt", "aaaa");
  tree.File("p/Q/" + odd + "/x.txt", "bbbb");
  const auto r = RunCliWith({"--yes", "--compare", "name-size", "--no-files", "--folders", "--min-size-mb", "0",
                             "--trash-folders", "all-but-one", "--keep", "in=" + tree.Path("p/P"), tree.Folder("p")},
                            hooks);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Stayed: " + tree.Path("p/Q") +
                       " (It differs from the copy that is kept: 'K'$'\\E'']0;PWNED'$'\\a\\E''[31mRED/x.txt'.)\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Stayed: '" + tree.Path("p/Q/K") + "'$'\\E'']0;PWNED'$'\\a\\E''[31mRED'"), std::string::npos)
      << r.err;
  for (const std::string& stream : {r.err, r.out}) {
    EXPECT_EQ(stream.find_first_of("\x1b\a"), std::string::npos) << stream;
  }
  EXPECT_EQ(test::ReadFile(tree.Path("p/Q/" + odd + "/x.txt")), "bbbb");
}
#endif

#ifndef _WIN32
// Paths beyond what the kernel takes in one call, and the freedesktop.org
// trash: POSIX only (Wine itself stops at the kernel's limit).
TEST(CliDeepTree, AFileBelowThePathLimitIsFoundReadListedWholeAndTrashed) {
  test::TempTree tree;
  const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree.Path("data"));
  const std::string top = tree.File("t/top.txt", "deep bytes");
  const std::string deep = tree.DeepFile("t/chain", 9000, "copy.txt", "deep bytes");
  ASSERT_GT(deep.size(), 8192u);

  auto r = RunCliWith({"--min-size-mb", "0", tree.Folder("t")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::set<std::string> lines = {"Group 1 (0.00 MB)", top, deep};
  std::set<std::string> listed;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) listed.insert(line);
  EXPECT_EQ(listed, lines) << "one group, the deep path whole";

  r = RunCliWith({"--yes", "--min-size-mb", "0", "--trash", "all-but-one", "--keep", "shortest", tree.Folder("t")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved: 1. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_TRUE(platform::FileExists(top));
  EXPECT_FALSE(platform::FileExists(deep));
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/copy.txt")), "deep bytes");
}
#endif

#ifndef _WIN32
// Scanned below a link, as where /home links to /var/home: the listing shows
// the path given, and files and folders move through the real path.
TEST(CliLinkedRoot, FilesAndFoldersBelowALinkedRootAreMoved) {
  test::TempTree tree;
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  for (const char* copy : {"A", "B"}) tree.File(std::string("real/u/") + copy + "/photo.jpg", "photo");
  tree.File("real/u/x/one.txt", "one");
  tree.File("real/u/y/one.txt", "one");
  tree.Symlink("home", tree.Path("real"));
  const std::string given = tree.Folder("home/u");

  auto r = RunCliWith({"--yes", "--min-size-mb", "0", "--trash", "all-but-one", "--keep", "in=" + tree.Path("real/u/x"),
                       "--masks", "*.txt", given},
                      hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Group 1 (0.00 MB)\n" + given + "x/one.txt\n" + given + "y/one.txt\n");
  EXPECT_NE(r.err.find("Moved to the trash: " + given + "y/one.txt\nMoved: 1. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(tree.Path("real/u/y/one.txt")));
  EXPECT_EQ(test::ReadFile(tree.Path("real/u/x/one.txt")), "one");

  r = RunCliWith({"--yes", "--no-files", "--folders", "--min-size-mb", "0", "--trash-folders", "all-but-one", "--keep",
                  "in=" + given + "A", given},
                 hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved to the trash: " + given + "B\nMoved: 1. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(tree.Path("real/u/B")));
  EXPECT_EQ(test::ReadFile(tree.Path("data/Trash/files/B/photo.jpg")), "photo");
  EXPECT_NE(test::ReadFile(tree.Path("data/Trash/info/B.trashinfo")).find("\nPath=" + tree.Path("real/u/B") + "\n"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(tree.Path("real/u/A/photo.jpg")), "photo");
}

// Another user plants an older copy in a shared sticky folder: keeping the
// oldest keeps the person's own, leaves the planted one alone and says so.
TEST(CliKeep, AnotherUsersOlderCopyInASharedFolderIsNotTheOneKept) {
  if (!test::RunningAsRoot()) GTEST_SKIP() << "a file of another user needs root to make; the root pass runs this";
  test::TempTree tree;
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.moveToTrash = trash.Mover();
  const std::string planted = tree.File("shared/planted.jpg", "photo");
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(tree.Path("shared").c_str(), 01777), 0);
  test::SetModifiedYear(planted, 2019);
  const std::string mine = tree.File("shared/mine.jpg", "photo");
  test::SetModifiedYear(mine, 2021);
  const std::string copy = tree.File("home/copy.jpg", "photo");
  test::SetModifiedYear(copy, 2023);

  const auto r = RunCliWith({"--yes", "--min-size-mb", "0", "--trash", "all-but-one", "--keep", "oldest",
                             tree.Folder("shared"), tree.Folder("home")},
                            hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(
      r.err.find(test::TrashText("Move 1 file to Recycle Bin?\n\nIn 1 group a copy of yours is kept, not one owned by "
                                 "another user in a folder others can write to, which stays unchecked. y\nMoved "
                                 "to the trash: ") +
                 copy + "\nMoved: 1. Stayed: 0."),
      std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFile(planted), "photo");
  EXPECT_EQ(test::ReadFile(mine), "photo");
  EXPECT_FALSE(std::filesystem::exists(copy));
}
#endif

TEST(CliOutput, TerminalSafePathQuotesWhatATerminalWouldObey) {
  const std::pair<std::string, std::string> cases[] = {
      {"/plain/na me/\xC3\xA9t\xC3\xA9", "/plain/na me/\xC3\xA9t\xC3\xA9"},
      {"/a\tb", "'/a'$'\\t''b'"},
      {"\n", "$'\\n'"},
      {"it's\r", "'it'\\''s'$'\\r'"},
      {"/x\xFF", "'/x'$'\\377'"},                          // not UTF-8
      {"/c1\xC2\x9B", "'/c1'$'\\302\\233'"},               // the one-byte CSI
      {"/over\xE0\x80\xAF", "'/over'$'\\340\\200\\257'"},  // overlong "/"
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(TerminalSafePath(path), shown) << shown;
}

TEST_F(CliTest, OutputThatCannotBeWrittenFailsTheRun) {
  // A stream without a buffer fails every write, as standard output on a full disk.
  std::ostream full(nullptr);
  std::ostringstream err;
  const std::string folder = tree.Root();
  const char* argv[] = {"orvanta-cli", "--min-size-mb", "0", folder.c_str()};
  EXPECT_EQ(RunCli(4, argv, full, err), 1);
  EXPECT_NE(err.str().find("Cannot write to standard output."), std::string::npos) << err.str();

  // Nor does a listing nobody could read lead to a removal, --yes or not.
  CliHooks hooks;
  hooks.moveToTrash = [](const std::vector<platform::TrashItem>& items, const platform::TrashHooks&) {
    ADD_FAILURE() << "nothing moves after a failed listing";
    return std::vector<platform::TrashOutcome>(items.size());
  };
  std::ostringstream removalErr;
  const char* removal[] = {"orvanta-cli", "--min-size-mb", "0", "--trash", "all-but-one", "--yes", folder.c_str()};
  EXPECT_EQ(RunCli(7, removal, full, removalErr, hooks), 1);
  EXPECT_NE(removalErr.str().find("Nothing was moved: the listing could not be written."), std::string::npos)
      << removalErr.str();
  EXPECT_EQ(removalErr.str().find("Move "), std::string::npos) << removalErr.str();

  const auto r = RunCliWith({"--min-size-mb", "0", "--csv", tree.Path("no-such-folder/out.csv"), tree.Root()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(tree.Path("no-such-folder/out.csv")), std::string::npos) << r.err;
}

TEST_F(CliTest, CtrlCStopsTheRunWithStatus130AndWritesNothing) {
  const std::string csv = tree.File("old.csv", "kept");
  CliHooks hooks;
  hooks.onPump = [] { std::raise(SIGINT); };
#ifndef _WIN32
  // The handler the run found (ignored, when the shell started us so) is the one it leaves.
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
#endif
  const auto r = RunCliWith({"--compare", "size", "--min-size-mb", "0", "--csv", csv, tree.Root()}, hooks);
  EXPECT_EQ(r.status, 130);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(test::ReadFile(csv), "kept");
#ifndef _WIN32
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  EXPECT_EQ(current.sa_handler, before.sa_handler) << "the handler is restored after the run";
#endif
}

TEST_F(CliTest, ProgressIsOneRewrittenLineOnATerminal) {
  CliHooks hooks;
  hooks.stderrIsTerminal = 1;
  const auto r = RunCliWith({"--compare", "size", "--min-size-mb", "0", tree.Root()}, hooks);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line, ended at the close";
  EXPECT_NE(r.err.find("\r"), std::string::npos);
  EXPECT_NE(r.err.find("  Done."), std::string::npos);
  EXPECT_EQ(RunCliWith({"-q", "--min-size-mb", "0", tree.Root()}, hooks).err, "");
}

// An item that went to the trash of another mount is named with that trash.
TEST_F(CliTest, AnItemMovedToAnotherTrashIsNamedWithIt) {
  CliHooks hooks;
  hooks.moveToTrash = [](const std::vector<platform::TrashItem>& items, const platform::TrashHooks& inner) {
    std::vector<platform::TrashOutcome> outcomes(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      outcomes[i].reason = inner.beforeMove(i);
      outcomes[i].moved = outcomes[i].reason.empty();
      outcomes[i].trashFolder = "/media/usb/.Trash-1000";
      outcomes[i].otherTrash = true;
      inner.afterMove(i, outcomes[i]);
    }
    return outcomes;
  };
  const auto r = RunCliWith(
      {"--yes", "--min-size-mb", "0", "--trash", "all-but-one", "--masks", "*.txt", tree.Folder("x"), tree.Folder("y")},
      hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved to the trash: " + tree.Path("y/dup.txt") +
                       " (in the trash folder '/media/usb/.Trash-1000')\nMoved: 1. Stayed: 0.\n"),
            std::string::npos)
      << r.err;
}

// On a terminal the removal shows its progress on the status line, which
// each item's own line takes off first, so no line holds both.
TEST_F(CliTest, TheRemovalsProgressLineMakesWayForEachItemsLine) {
  const test::TestTrash trash(tree);
  CliHooks hooks;
  hooks.stderrIsTerminal = 1;
  hooks.moveToTrash = trash.Mover();
  const auto r = RunCliWith(
      {"--yes", "--min-size-mb", "0", "--trash", "all-but-one", tree.Folder("x"), tree.Folder("y"), tree.Folder("z")},
      hooks);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(test::TrashText("\rMoving to the Recycle Bin... 1 / 2\x1b[K")), std::string::npos) << r.err;
  for (const char* moved : {"z/big.dat", "y/dup.txt"}) {
    const std::size_t at = r.err.find("Moved to the trash: " + tree.Path(moved) + "\n");
    ASSERT_NE(at, std::string::npos) << r.err;
    // At the start of a line: after a line's end or after the status line was taken off.
    EXPECT_TRUE(r.err[at - 1] == '\n' || r.err.compare(at - 4, 4, "\r\x1b[K") == 0) << r.err;
  }
  const std::string end = "\nMoved: 2. Stayed: 0.\n";
  EXPECT_EQ(r.err.substr(r.err.size() - end.size()), end) << "no status is left after the totals";
}

// What a dry run of the removal would move, relative to the tree.
std::set<std::string> WouldMove(const std::string& err, const test::TempTree& tree) {
  std::set<std::string> paths;
  const std::string prefix = "Would move to the trash: ";
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix + tree.Path(""), 0) == 0) paths.insert(tree.Relative(line.substr(prefix.size())));
  }
  return paths;
}

TEST(CliKeep, KeepRulesChooseWhatADryRunWouldMove) {
  test::TempTree photos, trips;
  test::MakePhotoTree(photos);
  test::MakeNestedTripTree(trips);
  struct Case {
    std::vector<std::string> args;
    const test::TempTree& tree;
    std::set<std::string> wouldMove;
  };
  const std::vector<std::string> files = {"--min-size-mb", "0", "--trash", "all-but-one", "--dry-run"};
  const std::vector<std::string> folders = {"--no-files", "--folders", "--trash-folders", "all-but-one", "--dry-run"};
  auto with = [](std::vector<std::string> base, std::vector<std::string> keep, const test::TempTree& tree) {
    for (const std::string& rule : keep) base.insert(base.end(), {"--keep", rule});
    base.push_back(tree.Root());
    return base;
  };
  const Case cases[] = {
      {with(files, {"newest"}, photos),
       photos,
       {"photos/a.jpg", "photos/b.jpg", "music copy/song.mp3", "music copy/old/deeper/song.mp3"}},
      {with(files, {"in=" + photos.Path("photos"), "shortest"}, photos),
       photos,
       {"photos_backup/a.jpg", "photos_backup/b.jpg", "music copy/song.mp3", "music copy/old/deeper/song.mp3"}},
      {with(files, {"in=" + photos.Path("music copy"), "oldest"}, photos),
       photos,
       {"photos_backup/a.jpg", "photos_backup/b.jpg", "music/song.mp3"}},
      // The days inside a removed trip are named with it; the other trip keeps its own.
      {with(folders, {"newest"}, trips), trips, {"photos/trip", "photos/trip/day1", "photos/trip/day2"}},
      {with(folders, {"oldest"}, trips), trips, {"backup/trip", "backup/trip/day1", "backup/trip/day2", "loose/day1"}},
      {with(folders, {"in=" + trips.Path("loose"), "oldest"}, trips),
       trips,
       {"backup/trip", "backup/trip/day1", "backup/trip/day2"}},
  };
  for (const Case& c : cases) {
    const auto r = RunCliWith(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(WouldMove(r.err, c.tree), c.wouldMove) << c.args[c.args.size() - 2];
  }
  // Nothing moved in any of them.
  for (const char* path : {"photos/a.jpg", "photos_backup/a.jpg", "music copy/song.mp3"}) {
    EXPECT_TRUE(std::filesystem::exists(photos.Path(path))) << path;
  }
  EXPECT_TRUE(std::filesystem::exists(trips.Path("photos/trip/day2/y.jpg")));
}

// A reference folder is resolved as the roots are and must be one of them or
// lie inside one; its copies are never put up for removal, a group of them
// alone is not listed, and the exclusions reach the command line too.
TEST_F(CliTest, ReferenceFoldersAndExclusions) {
  tree.File("y/ref/dup.txt", "same");
  tree.File("y/ref/other.txt", "other");
  tree.File("y/ref/other2.txt", "other");
  tree.File("z/other.txt", "other");
  tree.Dir("elsewhere");
  const auto refused = RunCliWith({"--reference", tree.Path("elsewhere"), tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err.substr(0, refused.err.find('\n')),
            "orvanta-cli: '--reference' names a folder that is no scanned folder and lies in none: " +
                tree.Path("elsewhere"));
  EXPECT_EQ(RunCliWith({"--reference", tree.Path("y/none"), tree.Folder("y")}).status, 2);

  const auto r = RunCliWith({"--dry-run", "--min-size-mb", "0", "--trash", "all", "--compare", "content", "--reference",
                             tree.Path("x"), "--reference", tree.Path("y/ref"), tree.Folder("x"), tree.Folder("y")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find(tree.Path("y/ref/other.txt")), std::string::npos) << "a group of reference copies alone\n"
                                                                         << r.out;
  EXPECT_NE(r.err.find("Would move to the trash: " + tree.Path("y/dup.txt") + "\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Would move to the trash: " + tree.Path("x/")), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Would move to the trash: " + tree.Path("y/ref/")), std::string::npos) << r.err;

  const auto excluded = RunCliWith({"--min-size-mb", "0", "--exclude", "ref", tree.Folder("y"), tree.Folder("z")});
  EXPECT_EQ(excluded.status, 0) << excluded.err;
  EXPECT_EQ(excluded.out.find("other.txt"), std::string::npos) << excluded.out;
}

// --link and its companions are checked before anything runs.
TEST(CliLink, BadUsageOfTheLinkOptionsIsNamedBeforeAnythingRuns) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--link", "all", "/"}, "(all-but-one)"},
      {{"--link", "all-but-one", "--trash", "all", "/"}, "'--link' and '--trash'"},
      {{"--reflink-only", "/"}, "'--reflink-only' needs '--link'"},
      {{"--hardlink-only", "/"}, "'--hardlink-only' needs '--link'"},
      {{"--link", "all-but-one", "--reflink-only", "--hardlink-only", "/"}, "exclude each other"},
      {{"--link", "all-but-one", "--move-different", "/"}, "'--move-different'"},
      {{"--yes", "/"}, "'--link'"},
  };
  for (const auto& [args, named] : cases) {
    const auto r = RunCliWith(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(named), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  CliHooks noTerminal;
  noTerminal.stdinIsTerminal = 0;
  const auto r = RunCliWith({"--link", "all-but-one", "/nonexistent-orvanta"}, noTerminal);
  EXPECT_EQ(r.status, 2) << "no question can be answered without a terminal";
  const std::string help = RunCliWith({"--help"}).out;
  for (const char* option : {"--link all-but-one", "--reflink-only", "--hardlink-only"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

// A dry run names what would be replaced and changes nothing; --yes links
// every copy all-but-one checks (with the --keep rules) to the kept copy.
TEST(CliLink, ADryRunChangesNothingAndYesLinksEveryCheckedCopy) {
  ORVANTA_SKIP_UNLESS_POSIX("hard links and inode numbers");
  test::TempTree tree;
  for (const char* name : {"long/folder/name/song.mp3", "b/song.mp3", "c/song.mp3"}) tree.File(name, "song");
  const auto id = [&tree](const char* name) {
    platform::FileAttributes attributes;
    EXPECT_TRUE(platform::QueryAttributes(tree.Path(name), attributes));
    return attributes.id;
  };
  const std::vector<std::string> common = {"-q", "--min-size-mb", "0", "--link", "all-but-one", "--keep", "shortest"};
  auto args = common;
  args.insert(args.end(), {"--dry-run", tree.Folder()});
  auto r = RunCliWith(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Would replace with a link: " + tree.Path("long/folder/name/song.mp3")), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Replaced: 0. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_NE(id("b/song.mp3"), id("c/song.mp3"));
  EXPECT_NE(id("b/song.mp3"), id("long/folder/name/song.mp3"));

  args = common;
  args.insert(args.end(), {"--yes", "--hardlink-only", tree.Folder()});
  r = RunCliWith(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Replaced with a hard link: " + tree.Path("long/folder/name/song.mp3")), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Replaced: 2. Stayed: 0."), std::string::npos) << r.err;
  const platform::FileId kept = id("b/song.mp3");
  EXPECT_TRUE(kept == id("c/song.mp3") || kept == id("long/folder/name/song.mp3"));
  EXPECT_EQ(id("c/song.mp3"), id("long/folder/name/song.mp3"));
  for (const char* name : {"long/folder/name/song.mp3", "b/song.mp3", "c/song.mp3"}) {
    EXPECT_EQ(test::ReadFile(tree.Path(name)), "song") << name;
  }
}

// --move-to and --copy-to: with another action, without a terminal to answer
// on, or with a folder where items would land in a scanned folder, the run
// stops before anything moves (exit status 2). A dry run names what would
// move and moves nothing; --yes moves (or copies) what all-but-one checks,
// each below the folder in a folder named after its root, names included
// that need quoting; what stayed is named and the status is 1.
TEST(CliMoveTo, MovesOrCopiesWhatAllButOneChecksKeepingPaths) {
  ORVANTA_SKIP_UNLESS_POSIX("names with a newline");
  namespace fs = std::filesystem;
  test::TempTree tree;
  for (const char* root : {"photos/", "backup/"}) {
    tree.File(std::string(root) + "2020/new\nline.jpg", "photo");
    tree.File(std::string(root) + "song.mp3", "song");
  }
  tree.Dir("dest");
  const std::vector<std::string> roots = {tree.Folder("photos"), tree.Folder("backup")};
  const auto run = [&](std::vector<std::string> args, const CliHooks& hooks = {}) {
    args.insert(args.begin(), {"-q", "--min-size-mb", "0"});
    args.insert(args.end(), roots.begin(), roots.end());
    return RunCliWith(args, hooks);
  };
  const std::pair<std::vector<std::string>, std::string> badUsage[] = {
      {{"--move-to", tree.Path("dest"), "--link", "all-but-one"}, "only one of"},
      {{"--copy-to", tree.Path("dest"), "--trash", "all"}, "only one of"},
      {{"--move-to", tree.Path("dest"), "--copy-to", tree.Path("dest")}, "only one of"},
      {{"--move-to", tree.Path("photos/2020"), "--dry-run"}, "would land inside a scanned folder"},
      {{"--copy-to", tree.Root(), "--dry-run"}, "would land inside a scanned folder"},
      {{"--move-to", tree.Path("missing"), "--dry-run"}, "The destination folder does not exist"},
  };
  for (const auto& [args, named] : badUsage) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(named), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  CliHooks noTerminal;
  noTerminal.stdinIsTerminal = 0;
  EXPECT_EQ(run({"--move-to", tree.Path("dest")}, noTerminal).status, 2) << "no question answered without a terminal";
  const std::string help = RunCliWith({"--help"}).out;
  for (const char* option : {"--move-to FOLDER", "--copy-to FOLDER"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }

  auto r = run({"--move-to", tree.Path("dest"), "--dry-run"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Would move to the folder: " + tree.Path("backup/song.mp3")), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Would move to the folder: '" + tree.Path("backup/2020/new") + "'$'\\n''line.jpg'"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::is_empty(tree.Path("dest")));

  r = run({"--copy-to", tree.Path("dest"), "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Copied to the folder: " + tree.Path("backup/song.mp3")), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Copied: 2. Stayed: 0."), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(tree.Path("dest/backup/2020/new\nline.jpg")), "photo");
  EXPECT_EQ(test::ReadFile(tree.Path("backup/song.mp3")), "song");

  // The copies now stand where the move would put its items: nothing is replaced.
  r = run({"--move-to", tree.Path("dest"), "--yes", "--keep", "in=" + tree.Path("photos")});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("something already stands at its place"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Moved: 0. Stayed: 2."), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile(tree.Path("backup/song.mp3")), "song");
  fs::remove_all(tree.Path("dest/backup"));
  r = run({"--move-to", tree.Path("dest"), "--yes", "--keep", "in=" + tree.Path("photos")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Moved to the folder: " + tree.Path("backup/song.mp3")), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(tree.Path("backup/song.mp3")));
  EXPECT_EQ(test::ReadFile(tree.Path("dest/backup/song.mp3")), "song");
  EXPECT_EQ(test::ReadFile(tree.Path("photos/song.mp3")), "song");
}

}  // namespace
}  // namespace orvanta
