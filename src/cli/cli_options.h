// orvanta-cli's command line as a value: parsed and checked before anything runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/csv_export.h"
#include "actions/keep_rules.h"
#include "core/scan_settings.h"
#include "platform/platform.h"

namespace orvanta {

// How the groups are written to standard output (unless a CSV goes there).
enum class ListingFormat { Text, Null, Json };

struct CliOptions {
  ScanSettingsValues settings;     // folders still empty: the roots are resolved by the run
  std::vector<std::string> roots;  // the folder arguments as given
  bool quiet = false;
  ListingFormat format = ListingFormat::Text;
  std::string csvFiles, csvFolders;  // "-": standard output
  CsvColumns csvColumns = CsvColumns::Listed;
  bool showHelp = false, showVersion = false;
  // Removal: which marks to set on which list, then the move to the trash.
  enum class TrashMarks { None, AllButOne, All };
  TrashMarks trashMarks = TrashMarks::None;
  bool trashFolders = false;  // the folder clone list instead of the file clone list
  bool yes = false, dryRun = false;
  // In a list grouped without content: checked copies whose bytes differ from the kept copy move too.
  bool moveDifferent = false;
  // With all-but-one: the rules that choose the copies that stay, first first.
  std::vector<KeepRule> keepRules;
  // --reference: folders as given, resolved with the roots.
  std::vector<std::string> references;
  // Both lists as one web page ("-": standard output).
  std::string html;
  // Put back what the last removal moved to the trash, instead of a scan.
  bool undoLast = false;
  // Results saved by the window, listed and acted on instead of a scan.
  std::string load;
  // --link all-but-one: the file clones all-but-one checks are replaced with
  // links to the kept copy instead of moving to the trash.
  bool link = false;
  platform::LinkKind linkKind = platform::LinkKind::Any;
  bool linkKindGiven = false;
  // --move-to / --copy-to FOLDER: the file clones all-but-one checks moved or
  // copied to the folder, each keeping its path below its root.
  std::string relocateTo;
  platform::RelocationKind relocation = platform::RelocationKind::Move;
};

// The outcome of parsing: the options, or the exit status and message of bad usage.
struct CliParse {
  std::optional<CliOptions> options;
  std::string error;  // set when options is not
};

CliParse ParseCliOptions(const std::vector<std::string>& args);

std::string CliUsage();
std::string CliHelp();

}  // namespace orvanta
