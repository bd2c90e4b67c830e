#include "cli/cli_options.h"

#include <cstdint>
#include <functional>
#include <string_view>

#include "collect/masks.h"
#include "core/paths.h"
#include "fileclones/digest_cache.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// An option's effect on the options; returns the usage error, empty when the value is good.
using ApplyOption = std::function<std::string(CliOptions&, const std::string& name, const std::string& value)>;

struct OptionDefinition {
  std::string_view shortName, longName;
  bool takesValue;
  ApplyOption apply;
};

std::string InvalidNumber(const std::string& value, const std::string& name, std::int64_t low, std::int64_t high) {
  return FormatText(TranslateText("invalid value '%s' for '%s' (%d to %d)"), {value, name, low, high});
}

template <typename Target>
ApplyOption BoundedNumber(Target ScanSettingsValues::*field, std::int64_t low, std::int64_t high) {
  return [=](CliOptions& options, const std::string& name, const std::string& value) -> std::string {
    constexpr std::int64_t kNotANumber = INT64_MIN;
    const std::int64_t number = ReadIntegerSetting(value, kNotANumber);
    if (number == kNotANumber || number < low || number > high) return InvalidNumber(value, name, low, high);
    options.settings.*field = static_cast<Target>(number);
    return {};
  };
}

ApplyOption Flag(std::function<void(CliOptions&)> set) {
  return [set = std::move(set)](CliOptions& options, const std::string&, const std::string&) {
    set(options);
    return std::string();
  };
}

ApplyOption TrashMarks(bool folders) {
  return [=](CliOptions& options, const std::string& name, const std::string& value) -> std::string {
    if (options.trashMarks != CliOptions::TrashMarks::None) {
      return TranslateText("only one of '--trash' and '--trash-folders' may be given, once");
    }
    if (value == "all-but-one") {
      options.trashMarks = CliOptions::TrashMarks::AllButOne;
    } else if (value == "all") {
      options.trashMarks = CliOptions::TrashMarks::All;
    } else {
      return FormatText(TranslateText("invalid value '%s' for '%s' (all-but-one or all)"), {value, name});
    }
    options.trashFolders = folders;
    return {};
  };
}

ApplyOption CsvTarget(std::string CliOptions::*field) {
  return [=](CliOptions& options, const std::string& name, const std::string& value) -> std::string {
    if (value.empty()) return FormatText(TranslateText("option '%s' needs a value"), {name});
    options.*field = value;
    return {};
  };
}

ApplyOption LinkKindOption(platform::LinkKind kind) {
  return [=](CliOptions& options, const std::string&, const std::string&) -> std::string {
    if (options.linkKindGiven && options.linkKind != kind) {
      return TranslateText("'--reflink-only' and '--hardlink-only' exclude each other");
    }
    options.linkKind = kind;
    options.linkKindGiven = true;
    return {};
  };
}

ApplyOption RelocationOption(platform::RelocationKind kind) {
  return [=](CliOptions& options, const std::string& name, const std::string& value) -> std::string {
    if (value.empty()) return FormatText(TranslateText("option '%s' needs a value"), {name});
    if (!options.relocateTo.empty()) {
      return TranslateText("only one of '--trash', '--link', '--move-to' and '--copy-to' may be given");
    }
    options.relocateTo = value;
    options.relocation = kind;
    return {};
  };
}

const std::vector<OptionDefinition>& Options() {
  static const std::vector<OptionDefinition> options = {
      {"-h", "--help", false, Flag([](CliOptions& o) { o.showHelp = true; })},
      {"-V", "--version", false, Flag([](CliOptions& o) { o.showVersion = true; })},
      {"", "--compare", true,
       [](CliOptions& o, const std::string& name, const std::string& value) -> std::string {
         if (value == "name") o.settings.compare = CompareMode::Name;
         else if (value == "size") o.settings.compare = CompareMode::Size;
         else if (value == "name-size") o.settings.compare = CompareMode::NameAndSize;
         else if (value == "content") o.settings.compare = CompareMode::Content;
         else
           return FormatText(TranslateText("invalid value '%s' for '%s' (name, size, name-size or content)"),
                             {value, name});
         return {};
       }},
      {"", "--masks", true,
       [](CliOptions& o, const std::string&, const std::string& value) {
         o.settings.masks = value;
         return std::string();
       }},
      {"", "--min-size-mb", true, BoundedNumber(&ScanSettingsValues::minSizeMB, 0, 1048576)},
      {"", "--max-groups", true, BoundedNumber(&ScanSettingsValues::maxGroups, 0, 1000000)},
      {"", "--min-group-size", true, BoundedNumber(&ScanSettingsValues::minGroupSize, 2, 1000)},
      {"", "--csv", true, CsvTarget(&CliOptions::csvFiles)},
      {"", "--csv-folders", true, CsvTarget(&CliOptions::csvFolders)},
      {"", "--csv-extra-columns", false, Flag([](CliOptions& o) { o.csvColumns = CsvColumns::WithBytesAndChecked; })},
      {"", "--sequential", false, Flag([](CliOptions& o) { o.settings.parallel = false; })},
      {"", "--no-files", false, Flag([](CliOptions& o) { o.settings.fileClones = false; })},
      {"", "--folders", false, Flag([](CliOptions& o) { o.settings.folderClones = true; })},
      {"", "--one-file-system", false, Flag([](CliOptions& o) { o.settings.oneFileSystem = true; })},
      {"-0", "--null", false, Flag([](CliOptions& o) { o.format = ListingFormat::Null; })},
      {"", "--json", false, Flag([](CliOptions& o) { o.format = ListingFormat::Json; })},
      {"-q", "--quiet", false, Flag([](CliOptions& o) { o.quiet = true; })},
      {"", "--trash", true, TrashMarks(false)},
      {"", "--trash-folders", true, TrashMarks(true)},
      {"-y", "--yes", false, Flag([](CliOptions& o) { o.yes = true; })},
      {"-n", "--dry-run", false, Flag([](CliOptions& o) { o.dryRun = true; })},
      {"", "--move-different", false, Flag([](CliOptions& o) { o.moveDifferent = true; })},
      {"", "--keep", true,
       [](CliOptions& o, const std::string& name, const std::string& value) -> std::string {
         std::optional<KeepRule> rule = ParseKeepRule(value);
         if (!rule) {
           return FormatText(TranslateText("invalid value '%s' for '%s' (newest, oldest, shortest or in=FOLDER)"),
                             {value, name});
         }
         o.keepRules.push_back(std::move(*rule));
         return {};
       }},
      // Reference folders and exclusions.
      {"", "--reference", true,
       [](CliOptions& o, const std::string& name, const std::string& value) -> std::string {
         if (NormalizeFolderPath(value).empty()) return FormatText(TranslateText("option '%s' needs a value"), {name});
         o.references.push_back(value);
         return {};
       }},
      {"", "--exclude", true,
       [](CliOptions& o, const std::string&, const std::string& value) -> std::string {
         try {
           FolderExclusions({value}, false);
         } catch (const MaskError& error) {
           return error.what();
         }
         o.settings.excludedFolders.push_back(value);
         return {};
       }},
      {"", "--max-size-mb", true, BoundedNumber(&ScanSettingsValues::maxSizeMB, 0, 1048576)},
      {"", "--scan-trash", false, Flag([](CliOptions& o) { o.settings.scanTrash = true; })},
      {"", "--read-placeholders", false, Flag([](CliOptions& o) { o.settings.readPlaceholders = true; })},
      {"", "--html", true, CsvTarget(&CliOptions::html)},
      {"", "--undo-last", false, Flag([](CliOptions& o) { o.undoLast = true; })},
      {"", "--load", true, CsvTarget(&CliOptions::load)},
      {"", "--no-cache", false, Flag([](CliOptions& o) { o.settings.digestCache.clear(); })},
      {"", "--cache", true,
       [](CliOptions& o, const std::string& name, const std::string& value) -> std::string {
         if (value.empty()) return FormatText(TranslateText("option '%s' needs a value"), {name});
         o.settings.digestCache = value;
         return {};
       }},
      {"", "--cache-limit-mb", true, BoundedNumber(&ScanSettingsValues::cacheLimitMB, 1, 1048576)},
      {"", "--link", true,
       [](CliOptions& o, const std::string& name, const std::string& value) -> std::string {
         if (value != "all-but-one") {
           return FormatText(TranslateText("invalid value '%s' for '%s' (all-but-one)"), {value, name});
         }
         o.link = true;
         return {};
       }},
      {"", "--reflink-only", false, LinkKindOption(platform::LinkKind::CloneOnly)},
      {"", "--hardlink-only", false, LinkKindOption(platform::LinkKind::HardLinkOnly)},
      {"", "--move-to", true, RelocationOption(platform::RelocationKind::Move)},
      {"", "--copy-to", true, RelocationOption(platform::RelocationKind::Copy)},
  };
  return options;
}

const OptionDefinition* FindOption(std::string_view name) {
  for (const OptionDefinition& definition : Options()) {
    if (name == definition.longName || (!definition.shortName.empty() && name == definition.shortName)) {
      return &definition;
    }
  }
  return nullptr;
}

}  // namespace

CliParse ParseCliOptions(const std::vector<std::string>& args) {
  CliOptions options;
  options.settings.digestCache = DefaultDigestCacheFile();
  auto failed = [](std::string message) { return CliParse{std::nullopt, std::move(message)}; };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (optionsEnded || name.empty() || name[0] != '-' || name == "-") {
      options.roots.push_back(name);
      continue;
    }
    if (name == "--") {
      optionsEnded = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    if (name.rfind("--", 0) == 0) {
      if (const auto equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
        inlineValue = true;
      }
    }
    const OptionDefinition* definition = FindOption(name);
    if (definition == nullptr) return failed(FormatText(TranslateText("unknown option '%s'"), {name}));
    if (definition->takesValue && !inlineValue) {
      if (i + 1 >= args.size()) return failed(FormatText(TranslateText("option '%s' needs a value"), {name}));
      value = args[++i];
    }
    if (!definition->takesValue && inlineValue) {
      return failed(FormatText(TranslateText("option '%s' takes no value"), {name}));
    }
    if (std::string error = definition->apply(options, name, value); !error.empty()) return failed(std::move(error));
    // Help and version answer at once, whatever follows.
    if (options.showHelp || options.showVersion) return {std::move(options), {}};
  }
  if (options.undoLast) {
    if (!options.roots.empty() || options.trashMarks != CliOptions::TrashMarks::None || options.dryRun ||
        !options.csvFiles.empty() || !options.csvFolders.empty() || !options.html.empty() || !options.load.empty() ||
        !options.relocateTo.empty()) {
      return failed(TranslateText("'--undo-last' takes no folder and no other action"));
    }
    return {std::move(options), {}};
  }
  if (!options.load.empty() && !options.roots.empty()) return failed(TranslateText("'--load' takes no folder"));
  if (options.roots.empty() && options.load.empty()) return failed(TranslateText("no folder given"));
  // The window skips a malformed mask without a word; a command line names it.
  const MaskSet masks = SplitMasks(options.settings.masks);
  std::vector<std::string> allMasks = masks.include;
  allMasks.insert(allMasks.end(), masks.exclude.begin(), masks.exclude.end());
  for (const std::string& mask : allMasks) {
    try {
      FileMask{mask};
    } catch (const MaskError& error) {
      return failed(FormatText(TranslateText("invalid file mask '%s': %s"), {mask, std::string(error.what())}));
    }
  }
  if (options.format != ListingFormat::Text && (options.csvFiles == "-" || options.csvFolders == "-")) {
    return failed(FormatText(TranslateText("'%s' and '%s' both write to standard output"),
                             {std::string(options.format == ListingFormat::Null ? "--null" : "--json"),
                              std::string(options.csvFiles == "-" ? "--csv" : "--csv-folders")}));
  }
  if (options.html == "-" &&
      (options.format != ListingFormat::Text || options.csvFiles == "-" || options.csvFolders == "-")) {
    return failed(FormatText(TranslateText("'%s' and '%s' both write to standard output"),
                             {std::string("--html"), std::string(options.format == ListingFormat::Null   ? "--null"
                                                                 : options.format == ListingFormat::Json ? "--json"
                                                                 : options.csvFiles == "-"               ? "--csv"
                                                                                           : "--csv-folders")}));
  }
  const bool relocating = !options.relocateTo.empty();
  if ((options.yes || options.dryRun) && options.trashMarks == CliOptions::TrashMarks::None && !options.link &&
      !relocating) {
    return failed(FormatText(TranslateText("'%s' needs '--trash', '--trash-folders' or '--link'"),
                             {std::string(options.yes ? "--yes" : "--dry-run")}));
  }
  if (options.moveDifferent && options.trashMarks == CliOptions::TrashMarks::None) {
    return failed(FormatText(TranslateText("'%s' needs '--trash' or '--trash-folders'"),
                             {std::string(options.yes      ? "--yes"
                                          : options.dryRun ? "--dry-run"
                                                           : "--move-different")}));
  }
  if (!options.keepRules.empty() && options.trashMarks != CliOptions::TrashMarks::AllButOne && !options.link &&
      !relocating) {
    return failed(TranslateText("'--keep' needs '--trash all-but-one' or '--trash-folders all-but-one'"));
  }
  if (options.settings.maxSizeMB > 0 && options.settings.maxSizeMB < options.settings.minSizeMB) {
    return failed(TranslateText("'--max-size-mb' is below '--min-size-mb'"));
  }
  if (options.trashFolders && !options.settings.folderClones) {
    return failed(TranslateText("'--trash-folders' needs '--folders'"));
  }
  if (options.link && options.trashMarks != CliOptions::TrashMarks::None) {
    return failed(TranslateText("'--link' and '--trash' exclude each other"));
  }
  if (relocating && (options.link || options.trashMarks != CliOptions::TrashMarks::None)) {
    return failed(TranslateText("only one of '--trash', '--link', '--move-to' and '--copy-to' may be given"));
  }
  if (options.linkKindGiven && !options.link) {
    return failed(FormatText(
        TranslateText("'%s' needs '--link'"),
        {std::string(options.linkKind == platform::LinkKind::CloneOnly ? "--reflink-only" : "--hardlink-only")}));
  }
  return {std::move(options), {}};
}

std::string CliUsage() { return TranslateText("Usage: orvanta-cli [OPTIONS] FOLDER..."); }

// One line per text, so each is a catalogue entry of its own.
std::string CliHelp() {
  const std::string lines[] = {
      TranslateText("Finds duplicate files and folders below the given folders."),
      "",
      TranslateText("  --compare MODE        name, size, name-size or content (default: content)"),
      TranslateText("  --masks TEXT          file masks separated by , ; | or blanks (default: *.*)"),
      TranslateText("  --min-size-mb N       ignore files smaller than N MB, 0 to 1048576 (default: 1)"),
      TranslateText("  --max-groups N        list at most N groups, 0 for all (default: 100)"),
      TranslateText("  --min-group-size N    list groups of at least N members, 2 to 1000 (default: 2)"),
      TranslateText("  --sequential          hash one file at a time instead of in parallel"),
      TranslateText("  --no-files            do not look for file clones"),
      TranslateText("  --folders             look for folder clones too"),
      TranslateText("  --one-file-system     stay on each folder's file system, as find -xdev does"),
      TranslateText("  --csv FILE            write the file clone list as CSV (\"-\": standard output)"),
      TranslateText("  --csv-folders FILE    write the folder clone list as CSV (\"-\": standard output)"),
      TranslateText("  --csv-extra-columns   add the columns Size (bytes) and Checked to the CSV"),
      TranslateText("  -0, --null            end each path with a NUL byte, each group with one more"),
      TranslateText("  --json                write the groups as JSON"),
      TranslateText("  -q, --quiet           show no progress"),
      TranslateText("  --trash MARKS         check the file clones (all-but-one or all), move them to the trash"),
      TranslateText("  --trash-folders MARKS the same for the folder clones (with --folders)"),
      TranslateText("  -y, --yes             answer the removal question with yes (needed without a terminal)"),
      TranslateText("  -n, --dry-run         show what the removal would move, move nothing"),
      TranslateText("  --move-different      in the name and size modes, move checked copies whose bytes differ too"),
      TranslateText(
          "  --keep RULE           which copies all-but-one keeps: newest, oldest, shortest or in=FOLDER (repeatable)"),
      TranslateText("  --max-size-mb N       ignore files larger than N MB, 0 for no limit (default: 0)"),
      TranslateText("  --exclude PATTERN     do not enter folders of this name or pattern, e.g. .git (repeatable)"),
      TranslateText("  --scan-trash          enter the trash folders too, which are skipped otherwise"),
      TranslateText("  --read-placeholders   Windows: read files that are only online too, which downloads them"),
      TranslateText("  --reference FOLDER    never check or move what lies in this folder (repeatable)"),
      TranslateText("  --html FILE           write both lists as one web page (\"-\": standard output)"),
      TranslateText("  --undo-last           put back what the last removal moved to the trash (no folder)"),
      TranslateText("  --load FILE           list and act on results the window saved, instead of a scan"),
      TranslateText("  --no-cache            read every file; neither use nor fill the digest cache"),
      TranslateText("  --cache FILE          the digest cache's file (default: ~/.cache/orvanta/digests.db)"),
      TranslateText("  --cache-limit-mb N    the most the digest cache's file may hold, 1 to 1048576 (default: 256)"),
      TranslateText("  --link all-but-one    replace the file clones all-but-one checks with links to the kept copy"),
      TranslateText("  --reflink-only        with --link: copy-on-write clones only, never hard links"),
      TranslateText("  --hardlink-only       with --link: hard links only, never clones"),
      TranslateText("  --move-to FOLDER      move the file clones all-but-one checks to FOLDER, keeping their paths"),
      TranslateText("  --copy-to FOLDER      copy them to FOLDER instead; the originals stay where they are"),
      TranslateText("  -h, --help            show this help and exit"),
      TranslateText("  -V, --version         show the version and exit"),
      "",
      TranslateText("Each group is listed as its header line and one path per line."),
      TranslateText("Folder clones with --compare content hold the same bytes, link targets and special files;"),
      TranslateText("in the other modes only their names and sizes match, as their group headers say."),
      TranslateText("A file that cannot be read, or changes while it is read, joins no group and is named."),
      TranslateText("Names with control characters are quoted as a shell reads them, as ls does."),
      TranslateText("With -0 and --folders, one more NUL ends the file list, before the folder groups."),
      TranslateText("JSON gives each group's size in bytes and each member's path, size and write time (UTC)."),
      TranslateText("Ctrl-C stops the scan (exit status 130) and nothing is written."),
      TranslateText("Removal checks every item against the scan before anything moves and lists"),
      TranslateText("on standard error what moved and what stayed, with the reason."),
      TranslateText("Ctrl-C during the removal stops it after the item in hand (exit status 130)."),
      TranslateText("Several --keep rules apply in the order given; in=FOLDER keeps every copy in that folder."),
      TranslateText("in=FOLDER must name a scanned folder, one inside it or one holding it (else exit status 2)."),
      TranslateText("No rule relies on a copy owned by another user in a folder others can write to."),
      TranslateText("A mask written with a leading ! leaves out the files it matches, as in \"*.*;!*.tmp\"."),
      TranslateText("The trash folders are skipped: a copy kept there would be lost when the trash is emptied."),
      TranslateText("A folder holding an excluded folder is no folder clone: part of its contents is unknown."),
      TranslateText(
          "Windows: a file that is only online (a cloud placeholder) is not read, joins no group and is named;"),
      TranslateText("a folder holding one is no folder clone. --read-placeholders reads and downloads such files."),
      TranslateText("--reference must name a scanned folder or one inside it (else exit status 2); a group"),
      TranslateText("of copies in reference folders only is not listed, and all-but-one keeps those copies."),
      TranslateText("A file whose identity, size, write and change time the digest cache holds is not read again."),
      TranslateText("Standard error ends with the scan's time and how many files were read (not with -q)."),
      TranslateText("Exit status 1: a folder was not scanned or output not written; 2: bad usage."),
      TranslateText("Exit status 1 also when an item stayed in place or the question was answered No."),
      TranslateText("--undo-last never puts an item over one that stands at its path now; what stays is"),
      TranslateText("named with the reason and kept for another try (exit status 1)."),
      TranslateText("With --load, items that changed since the results were saved are never removed."),
      TranslateText("--link keeps every path: a clone where the file system makes them (Btrfs, XFS), else a hard"),
      TranslateText("link on the same file system with the same owner and permissions; each is compared first."),
      TranslateText("--move-to and --copy-to put each item below FOLDER in a folder named after its scanned folder,"),
      TranslateText("never over anything there; a FOLDER where items would land in a scanned folder is refused"),
      TranslateText("(exit status 2). A move leaves a copy of every group in place and compares each item first."),
  };
  std::string help;
  for (const std::string& line : lines) help += line + "\n";
  return help;
}

}  // namespace orvanta
