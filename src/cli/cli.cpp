#include "cli/cli.h"

#include <atomic>
#include <clocale>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "actions/check_marks.h"
#include "actions/csv_export.h"
#include "actions/html_export.h"
#include "actions/keep_rules.h"
#include "actions/link_replacement.h"
#include "actions/relocation.h"
#include "actions/removal.h"
#include "actions/removal_record.h"
#include "actions/saved_results.h"
#include "actions/trash_note.h"
#include "cli/cli_options.h"
#include "cli/listing_writers.h"
#include "cli/terminal_window.h"
#include "core/app_info.h"
#include "core/paths.h"
#include "platform/platform.h"
#include "scan/scan_run.h"
#include "text/text_helpers.h"
#include "text/translate.h"

namespace orvanta {
namespace {

constexpr int kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitStopped = 130;

// Starts a message of the program's own on standard error.
std::ostream& Complain(std::ostream& err) { return err << "orvanta-cli: "; }

int UsageError(std::ostream& err, const std::string& message) {
  Complain(err) << message << '\n'
                << CliUsage() << '\n'
                << TranslateText("Try 'orvanta-cli --help' for more information.") << '\n';
  return kExitUsage;
}

// The folders to scan, each once. A root that is missing, not a folder or
// unreadable is named on standard error and left out; `complete` tells
// whether every root can be scanned.
std::vector<std::string> ResolveRoots(const std::vector<std::string>& roots, std::ostream& err, bool& complete) {
  std::vector<std::string> folders;
  complete = true;
  for (const std::string& root : roots) {
    const std::string folder = NormalizeFolderPath(root);
    std::string problem;
    if (folder.empty() || !platform::FolderExists(folder)) {
      problem =
          platform::FileExists(root) ? TranslateText("Not a folder: ") : TranslateText("Directory does not exist: ");
    } else if (!platform::FolderReader(folder).IsOpen()) {
      problem = TranslateText("Cannot read the folder: ");
    }
    if (!problem.empty()) {
      Complain(err) << problem << TerminalSafePath(root) << '\n';
      complete = false;
      continue;
    }
    bool listed = false;
    for (const std::string& f : folders) listed = listed || platform::SamePath(f, folder);
    if (!listed) folders.push_back(folder);
  }
  return folders;
}

// Runs every stage on the caller's thread, Ctrl-C acting as Stop.
ScanOutcome Scan(ScanRun& run, TerminalWindow& window) {
  ScanOutcome outcome;
  {
    InterruptStops interrupt(run.StopFlag());
    outcome = run.Run();
  }
  window.Finish();
  return outcome;
}

std::unique_ptr<ListingWriter> MakeListingWriter(ListingFormat format) {
  switch (format) {
    case ListingFormat::Null: return MakeNullWriter();
    case ListingFormat::Json: return MakeJsonWriter();
    case ListingFormat::Text: break;
  }
  return MakeTextWriter();
}

// The lists the run filled, for the web page.
std::vector<const ResultList*> HtmlLists(const CliOptions& options, ScanRun& run) {
  std::vector<const ResultList*> lists;
  if (options.settings.fileClones) lists.push_back(&run.FileClones());
  if (options.settings.folderClones) lists.push_back(&run.FolderClones());
  return lists;
}

// Standard output gets the lists in one format: the CSV of those sent to "-",
// else the listing. False, with a message, when the bytes could not be written.
bool WriteStandardOutput(const CliOptions& options, ScanRun& run, std::ostream& out, std::ostream& err) {
  if (options.html == "-") {
    out << ListsToHtml(HtmlLists(options, run)) << std::flush;
    if (out) return true;
    Complain(err) << TranslateText("Cannot write to standard output.") << '\n';
    return false;
  }
  const bool csvFiles = options.csvFiles == "-", csvFolders = options.csvFolders == "-";
  const bool csv = csvFiles || csvFolders;
  std::unique_ptr<ListingWriter> writer = csv ? MakeCsvWriter(options.csvColumns) : MakeListingWriter(options.format);
  if (csv ? csvFiles : true) writer->WriteList(out, run.FileClones());
  if (csv ? csvFolders : options.settings.folderClones) {
    writer->WriteList(out, run.FolderClones());
  }
  writer->Finish(out);
  out << std::flush;
  if (out) return true;
  Complain(err) << TranslateText("Cannot write to standard output.") << '\n';
  return false;
}

// The CSV files named on the command line; false when one could not be written.
bool WriteCsvFiles(const CliOptions& options, ScanRun& run, std::ostream& err) {
  bool written = true;
  const std::pair<const std::string&, const ResultList&> exports[] = {{options.csvFiles, run.FileClones()},
                                                                      {options.csvFolders, run.FolderClones()}};
  for (const auto& [fileName, list] : exports) {
    if (fileName.empty() || fileName == "-") continue;
    try {
      ExportListViewToCsv(list, fileName, options.csvColumns);
    } catch (const std::exception& error) {
      Complain(err) << error.what() << '\n';
      written = false;
    }
  }
  if (!options.html.empty() && options.html != "-") {
    try {
      ExportListsToHtml(HtmlLists(options, run), options.html);
    } catch (const std::exception& error) {
      Complain(err) << error.what() << '\n';
      written = false;
    }
  }
  return written;
}

// What the keep rules could not do as asked: a folder rule that held no copy
// in some groups, and groups kept whole as they hold only other users' copies.
void TellKeepReport(std::ostream& err, const std::vector<KeepRule>& rules, const KeepReport& report) {
  for (std::size_t i = 0; i < rules.size() && i < report.heldNone.size(); ++i) {
    if (report.heldNone[i] == 0) continue;
    Complain(err) << FormatText(TranslateText("'--keep in=' holds no copy in %d of %d groups; the other rules chose "
                                              "there: %s"),
                                {static_cast<std::int64_t>(report.heldNone[i]),
                                 static_cast<std::int64_t>(report.groups), TerminalSafePath(rules[i].given)})
                  << '\n';
  }
  if (const std::string note = KeptWholeNote(report); !note.empty()) Complain(err) << note << '\n';
}

bool AnsweredYes(std::istream& input) {
  std::string answer;
  if (!std::getline(input, answer)) return false;
  for (char& c : answer) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return answer == "y" || answer == "yes";
}

enum class RemovalEnd { Done, Failed, Stopped };

// The question on standard error: answered by a dry run (which changes
// nothing), by --yes, or on the terminal. False when the answer is No.
bool Asked(const CliOptions& options, const std::string& question, std::istream& input, std::ostream& err) {
  err << question;
  if (options.dryRun) {
    err << '\n';
  } else if (options.yes) {
    err << " y\n";
  } else {
    err << " [y/N] " << std::flush;
    return AnsweredYes(input);
  }
  return true;
}

// Each item that stayed, with its reason, then the counts (`counts` with the
// number done and the number that stayed); how the action ended.
RemovalEnd TellStayed(std::ostream& err, const std::vector<StayedItem>& stayed, const std::string& counts,
                      std::size_t done, bool stopped) {
  // A reason may name a path or come from the system: it reaches the terminal quoted like a path.
  for (const StayedItem& item : stayed) {
    err << TranslateText("Stayed: ") << TerminalSafePath(item.path) << " (" << TerminalSafePath(item.reason) << ")\n";
  }
  err << FormatText(counts, {static_cast<std::int64_t>(done), static_cast<std::int64_t>(stayed.size())}) << '\n';
  if (stopped) return RemovalEnd::Stopped;
  return stayed.empty() ? RemovalEnd::Done : RemovalEnd::Failed;
}

// The status line shows each item in hand; `stop` (Ctrl-C) is Stop.
RemovalProgress LineProgress(const std::atomic<bool>& stop, TerminalWindow& window) {
  RemovalProgress progress;
  progress.stop = &stop;
  progress.onItem = [&window](RemovalStage stage, std::size_t item, std::size_t items) {
    window.SetStatusText(RemovalProgressText(stage, item, items));
  };
  return progress;
}

// The file clones all-but-one checks (with the --keep rules) as one plan;
// none when nothing is checked, which is said.
std::optional<RemovalPlan> PlanCheckedFileClones(const CliOptions& options, ResultList& list, std::ostream& err) {
  TellKeepReport(err, options.keepRules, CheckAllButKept(list, options.keepRules));
  RemovalPlan plan = PlanRemoval(list);
  if (plan.items.empty()) {
    err << TranslateText("No files selected.") << '\n';
    return std::nullopt;
  }
  return plan;
}

// The removal of the window's Delete checked command, on the list the options
// name: the marks, the comparisons of a list grouped without content, the
// question (or --yes, or a dry run), the checks, the move with each item named
// on standard error as it moves, then what stayed. Ctrl-C during the
// comparisons or the move ends after the item in hand.
RemovalEnd RemoveClones(const CliOptions& options, ScanRun& run, TerminalWindow& window, std::istream& input,
                        std::ostream& err, const TrashMover& moveToTrash) {
  ResultList& list = options.trashFolders ? run.FolderClones() : run.FileClones();
  if (options.trashMarks == CliOptions::TrashMarks::All) {
    CheckAll(list);
  } else {
    TellKeepReport(err, options.keepRules, CheckAllButKept(list, options.keepRules));
  }
  RemovalPlan plan = PlanRemoval(list);
  if (plan.items.empty()) {
    err << (list.Kind() == ListKind::Files ? TranslateText("No files selected.")
                                           : TranslateText("No directories selected."))
        << '\n';
    return RemovalEnd::Done;
  }
  std::atomic<bool> stop{false};
  const std::string movedText =
      options.dryRun ? TranslateText("Would move to the trash: ") : TranslateText("Moved to the trash: ");
  RemovalProgress progress = LineProgress(stop, window);
  progress.onMoved = [&](const std::string& path, const platform::TrashOutcome& outcome) {
    const std::string note =
        OtherTrashNote(outcome, [](std::string_view folder) { return TerminalSafePath(folder, PathQuoting::Always); });
    window.WriteLine(movedText + TerminalSafePath(path) + (note.empty() ? "" : " " + note));
  };
  if (!list.GroupedByContent()) {
    bool compared = false;
    {
      InterruptStops interrupt(stop);
      compared = FindDifferingItems(list, plan, progress);
    }
    window.Clear();
    if (!compared) return RemovalEnd::Stopped;
  }
  if (!Asked(options, RemovalQuestion(list, plan), input, err)) return RemovalEnd::Failed;
  // Items that differ move only when the command line says so.
  if (!plan.differing.empty()) err << MoveDifferingQuestion(plan) << (options.moveDifferent ? " y\n" : " n\n");
  // A dry run makes every check the move would make, and moves nothing; what
  // moves is recorded for --undo-last.
  const TrashMover mover = options.dryRun
                               ? TrashMover(platform::CheckTrash)
                               : RecordingRemoval(moveToTrash ? moveToTrash : TrashMover(platform::MoveToTrash));
  RemovalResult result;
  {
    InterruptStops interrupt(stop);
    result = CarryOutRemoval(list, plan, mover, progress, options.moveDifferent);
  }
  window.Clear();
  return TellStayed(err, result.stayed, TranslateText("Moved: %d. Stayed: %d."),
                    options.dryRun ? 0 : result.moved.size(), stop.load());
}

// --link all-but-one: the file clones all-but-one checks (with the --keep
// rules) replaced with links to the kept copy, after the question (or --yes,
// or a dry run that checks and compares every copy and changes nothing), each
// named on standard error as it is replaced, then what stayed.
RemovalEnd LinkClones(const CliOptions& options, ScanRun& run, TerminalWindow& window, std::istream& input,
                      std::ostream& err) {
  ResultList& list = run.FileClones();
  const std::optional<RemovalPlan> checked = PlanCheckedFileClones(options, list, err);
  if (!checked) return RemovalEnd::Done;
  const RemovalPlan& plan = *checked;
  if (!Asked(options, LinkQuestion(plan), input, err)) return RemovalEnd::Failed;
  // A dry run makes every check the replacement would make, and links nothing.
  const Linker linker = [kind = options.linkKind, dryRun = options.dryRun](const platform::LinkItem& item) {
    return dryRun ? platform::CheckLink(item, kind) : platform::ReplaceWithLink(item, kind);
  };
  std::atomic<bool> stop{false};
  const RemovalProgress progress = LineProgress(stop, window);
  const auto onLinked = [&](const std::string& path, bool cloned) {
    const std::string text = options.dryRun ? TranslateText("Would replace with a link: ")
                             : cloned       ? TranslateText("Replaced with a clone: ")
                                            : TranslateText("Replaced with a hard link: ");
    window.WriteLine(text + TerminalSafePath(path));
  };
  LinkResult result;
  {
    InterruptStops interrupt(stop);
    result = CarryOutLinking(list, plan, linker, progress, onLinked);
  }
  window.Clear();
  return TellStayed(err, result.stayed, TranslateText("Replaced: %d. Stayed: %d."),
                    options.dryRun ? 0 : result.replaced.size(), stop.load());
}

// --move-to / --copy-to FOLDER: the file clones all-but-one checks (with the
// --keep rules) moved or copied below the folder, each keeping its path below
// its root, after the question (or --yes, or a dry run that checks and
// compares every item and changes nothing), each named on standard error as
// it goes, then what stayed.
RemovalEnd RelocateClones(const CliOptions& options, ScanRun& run, TerminalWindow& window, std::istream& input,
                          std::ostream& err, const std::string& destination) {
  ResultList& list = run.FileClones();
  const std::optional<RemovalPlan> checked = PlanCheckedFileClones(options, list, err);
  if (!checked) return RemovalEnd::Done;
  const RemovalPlan& plan = *checked;
  if (!Asked(options, RelocationQuestion(plan, options.relocation, options.relocateTo), input, err)) {
    return RemovalEnd::Failed;
  }
  const bool move = options.relocation == platform::RelocationKind::Move;
  // A dry run makes every check the move or copy would make, and changes nothing.
  const Relocator relocator = [kind = options.relocation, dryRun = options.dryRun](
                                  const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
    return dryRun ? platform::CheckRelocation(item, kind, hooks) : platform::RelocateItem(item, kind, hooks);
  };
  std::atomic<bool> stop{false};
  const RemovalProgress progress = LineProgress(stop, window);
  const std::string doneText = options.dryRun ? (move ? TranslateText("Would move to the folder: ")
                                                      : TranslateText("Would copy to the folder: "))
                               : move         ? TranslateText("Moved to the folder: ")
                                              : TranslateText("Copied to the folder: ");
  RelocationResult result;
  {
    InterruptStops interrupt(stop);
    result = CarryOutRelocation(list, plan, options.relocation, destination, relocator, progress,
                                [&](const std::string& path) { window.WriteLine(doneText + TerminalSafePath(path)); });
  }
  window.Clear();
  return TellStayed(err, result.stayed,
                    move ? TranslateText("Moved: %d. Stayed: %d.") : TranslateText("Copied: %d. Stayed: %d."),
                    options.dryRun ? 0 : result.done.size(), stop.load());
}

// --undo-last: the record, the question (or --yes), then each item put back
// or named with the reason it stayed.
int UndoLast(const CliOptions& options, std::istream& input, std::ostream& err, const TrashRestorer& restore) {
  std::string error;
  const std::optional<std::vector<platform::TrashedItem>> items = ReadRemovalRecord(error);
  if (!items) {
    Complain(err) << FormatText(TranslateText("The record of the last removal cannot be read: %s"), {error}) << '\n';
    return kExitFailed;
  }
  if (items->empty()) {
    Complain(err) << TranslateText("There is no removal to undo.") << '\n';
    return kExitFailed;
  }
  for (const platform::TrashedItem& item : *items) err << TerminalSafePath(item.path) << '\n';
  err << UndoQuestion(items->size());
  if (options.yes) {
    err << " y\n";
  } else {
    err << " [y/N] " << std::flush;
    if (!AnsweredYes(input)) return kExitFailed;
  }
  bool all = true;
  for (const UndoneItem& item : UndoLastRemoval(*items, restore)) {
    if (item.restored) {
      err << TranslateText("Put back: ") << TerminalSafePath(item.path) << '\n';
    } else {
      all = false;
      err << TranslateText("Stayed: ") << TerminalSafePath(item.path) << " (" << TerminalSafePath(item.reason) << ")\n";
    }
  }
  return all ? kExitDone : kExitFailed;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliHooks& hooks) {
  const CliParse parse = ParseCliOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!parse.options) return UsageError(err, parse.error);
  const CliOptions& options = *parse.options;
  if (options.showHelp) {
    out << CliUsage() << '\n' << CliHelp();
    return kExitDone;
  }
  if (options.showVersion) {
    out << "orvanta-cli " << kVersion << '\n';
    return kExitDone;
  }

  const bool answerable = hooks.stdinIsTerminal >= 0 ? hooks.stdinIsTerminal != 0 : platform::StdinIsTerminal();
  if (options.undoLast) {
    if (!options.yes && !answerable) {
      return UsageError(err, TranslateText("without a terminal to answer on, '--undo-last' needs '--yes'"));
    }
    return UndoLast(options, hooks.input != nullptr ? *hooks.input : std::cin, err,
                    hooks.restore ? hooks.restore : TrashRestorer(platform::RestoreFromTrash));
  }
  const bool relocating = !options.relocateTo.empty();
  if ((options.trashMarks != CliOptions::TrashMarks::None || options.link || relocating) && !options.yes &&
      !options.dryRun && !answerable) {
    return UsageError(err,
                      TranslateText("without a terminal to answer on, the removal needs '--yes' (or '--dry-run')"));
  }

  ScanSettingsValues settings = options.settings;
  bool allRoots = true;
  std::optional<SavedResults> saved;
  if (!options.load.empty()) {
    std::string error;
    saved = ReadSavedResults(options.load, error);
    if (!saved) {
      Complain(err) << FormatText(TranslateText("Cannot open the saved results: %s"), {error}) << '\n';
      return kExitFailed;
    }
    settings.folders = saved->roots;
    settings.folderClones = settings.folderClones || !saved->folders.empty();
  } else {
    settings.folders = ResolveRoots(options.roots, err, allRoots);
  }
  // A folder rule that names no scanned folder would silently keep other
  // copies than the one meant. Without any root the run says so itself.
  const RootResolution roots = RootResolution::Of(settings.folders);
  for (const KeepRule& rule : settings.folders.empty() ? std::vector<KeepRule>{} : options.keepRules) {
    const KeepFolderFit fit = FitOfKeepFolder(rule, roots);
    if (fit == KeepFolderFit::NoFolder) {
      return UsageError(
          err, FormatText(TranslateText("'--keep in=' names no existing folder: %s"), {TerminalSafePath(rule.given)}));
    }
    if (fit == KeepFolderFit::NotScanned) {
      return UsageError(err, FormatText(TranslateText("'--keep in=' names a folder that is no scanned folder, lies in "
                                                      "none and holds none: %s"),
                                        {TerminalSafePath(rule.given)}));
    }
  }
  // A destination whose items would be scanned again is refused before the scan.
  std::string destination;
  if (relocating && !settings.folders.empty()) {
    const RelocationDestination checked = CheckRelocationDestination(roots, options.relocateTo);
    if (!checked.refusal.empty()) return UsageError(err, checked.refusal);
    destination = checked.resolved;
  }
  // A reference folder outside every root would protect nothing the person
  // meant it to: named at once, as a folder rule is.
  std::vector<std::string> resolvedRoots;
  for (const auto& root : roots.Roots()) resolvedRoots.push_back(root.second);
  const RootResolution scanned = RootResolution::Of({}, resolvedRoots);
  for (const std::string& given : settings.folders.empty() ? std::vector<std::string>{} : options.references) {
    const std::string folder = NormalizeFolderPath(given);
    if (!platform::FolderExists(folder)) {
      return UsageError(
          err, FormatText(TranslateText("'--reference' names no existing folder: %s"), {TerminalSafePath(given)}));
    }
    if (!scanned.InReference(RootResolution::Of({}, {folder}).ReferenceFolders().front())) {
      return UsageError(err, FormatText(TranslateText("'--reference' names a folder that is no scanned folder and "
                                                      "lies in none: %s"),
                                        {TerminalSafePath(given)}));
    }
    settings.referenceFolders.push_back(folder);
  }
  const bool terminal = hooks.stderrIsTerminal >= 0 ? hooks.stderrIsTerminal != 0 : platform::StderrIsTerminal();
  TerminalWindow window(err, terminal && !options.quiet, hooks.onPump);
  const char* decimalPoint = std::localeconv()->decimal_point;
  ScanRun run(window, settings, decimalPoint != nullptr && decimalPoint[0] != '\0' ? decimalPoint : ".");
  ScanOutcome outcome;
  if (saved) {
    // Opened instead of scanned: what changed since is stale, and no removal touches it.
    if (const std::size_t stale = run.LoadSaved(*saved); stale > 0) Complain(err) << StaleItemsNote(stale) << '\n';
  } else {
    outcome = Scan(run, window);
  }
  if (outcome.kind == ScanOutcome::Kind::Failed) Complain(err) << TranslateText("Error: ") << outcome.error << '\n';
  for (const std::string& path : run.UnreadableFiles()) {
    Complain(err) << TranslateText("Cannot read file: ") << TerminalSafePath(path) << '\n';
  }
  for (const std::string& path : run.ChangedFiles()) {
    Complain(err) << TranslateText("Changed during the scan: ") << TerminalSafePath(path) << '\n';
  }
  for (const std::string& path : run.PlaceholderFiles()) {
    Complain(err) << TranslateText("Only online, not read: ") << TerminalSafePath(path) << '\n';
  }
  for (const std::string& notice : run.CacheNotices()) Complain(err) << TerminalSafePath(notice) << '\n';
  if (!options.quiet && outcome.kind == ScanOutcome::Kind::Done) Complain(err) << run.FiguresText() << '\n';

  // A stopped run has partial lists: nothing is written, an older CSV stays as it was.
  if (outcome.kind == ScanOutcome::Kind::Stopped) return kExitStopped;
  // Otherwise standard output gets a whole listing of what the lists hold, so
  // a script reads a complete (maybe empty) document whenever it gets one.
  bool written = WriteStandardOutput(options, run, out, err);
  // Without a complete scan (no folder to scan, a failed run) the lists are
  // not worth an older CSV file or a removal.
  if (outcome.kind != ScanOutcome::Kind::Done) return kExitFailed;
  written = WriteCsvFiles(options, run, err) && written;
  if (options.trashMarks == CliOptions::TrashMarks::None && !options.link && !relocating) {
    return written && allRoots ? kExitDone : kExitFailed;
  }
  // A listing that did not reach its reader (a full disk, a closed pipe) is no
  // ground for a removal the person could not review.
  if (!written) {
    Complain(err) << TranslateText("Nothing was moved: the listing could not be written.") << '\n';
    return kExitFailed;
  }
  std::istream& input = hooks.input != nullptr ? *hooks.input : std::cin;
  const RemovalEnd removal = options.link ? LinkClones(options, run, window, input, err)
                             : relocating ? RelocateClones(options, run, window, input, err, destination)
                                          : RemoveClones(options, run, window, input, err, hooks.moveToTrash);
  if (removal == RemovalEnd::Stopped) return kExitStopped;
  return allRoots && removal == RemovalEnd::Done ? kExitDone : kExitFailed;
}

}  // namespace orvanta
