#include "cli/cli.h"

#include <chrono>
#include <clocale>
#include <csignal>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "actions/csv_export.h"
#include "scan/scan_run.h"
#include "core/app_info.h"
#include "core/paths.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

std::string Usage() { return TranslateText("Usage: orvanta-cli [OPTIONS] FOLDER..."); }

// One line per text, so each is a catalogue entry of its own.
std::string Help() {
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
      TranslateText("  --csv FILE            write the file clone list as CSV (\"-\": standard output)"),
      TranslateText("  --csv-folders FILE    write the folder clone list as CSV (\"-\": standard output)"),
      TranslateText("  -q, --quiet           show no progress"),
      TranslateText("  -h, --help            show this help and exit"),
      TranslateText("  -V, --version         show the version and exit"),
      "",
      TranslateText("Each group is listed as its header line and one path per line."),
      TranslateText("Ctrl-C stops the scan (exit status 130)."),
  };
  std::string help;
  for (const std::string& line : lines) help += line + "\n";
  return help;
}

// The run's window operations on a terminal: the status as one rewritten line
// on standard error, drawn at most every 100 ms.
class TerminalWindow final : public WindowOperations {
 public:
  TerminalWindow(std::ostream& err, bool showProgress, std::function<void()> onPump)
      : err_(err), showProgress_(showProgress), onPump_(std::move(onPump)) {}

  void SetStatusText(const std::string& text) override {
    status_ = text;
    Draw(false);
  }
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressMarquee(bool) override { PumpMessages(); }
  void PumpMessages() override {
    if (onPump_) onPump_();
  }
  void SetBusyCursor(bool) override {}
  void EnableStop(bool) override {}
  void ShowMessage(const std::string& text) override {
    ClearLine();
    err_ << text << '\n' << std::flush;
    failed_ = true;
  }

  // Leaves the last status on its own line, or an empty line when it is blank.
  void Finish() {
    if (!showProgress_ || !drawn_) return;
    Draw(true);
    err_ << '\n' << std::flush;
  }
  bool Failed() const { return failed_; }

 private:
  void Draw(bool force) {
    if (!showProgress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawn_ = true;
    err_ << '\r' << Fit(status_) << "\x1b[K" << std::flush;
  }
  void ClearLine() {
    if (showProgress_ && drawn_) err_ << "\r\x1b[K";
  }
  static std::string Fit(const std::string& text) {
    std::size_t columns = 80;
    if (const int width = platform::StderrColumns(); width > 1) columns = static_cast<std::size_t>(width);
    std::string line;
    std::size_t characters = 0;
    for (const char c : text) {
      const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
      if (!continuation && ++characters >= columns) break;
      line.push_back(static_cast<unsigned char>(c) < ' ' ? ' ' : c);
    }
    return line;
  }

  std::ostream& err_;
  bool showProgress_;
  std::function<void()> onPump_;
  std::string status_;
  bool drawn_ = false;
  bool failed_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};

std::atomic<bool>* g_stopFlag = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_stopFlag != nullptr) g_stopFlag->store(true, std::memory_order_relaxed);
}

// Ctrl-C sets the run's stop flag for the time of the run; a second Ctrl-C
// ends the program the usual way.
class InterruptStops {
 public:
  explicit InterruptStops(std::atomic<bool>& flag) {
    g_stopFlag = &flag;
#ifdef _WIN32
    // The C runtime's signal() resets the handler once it runs, like SA_RESETHAND.
    previous_ = std::signal(SIGINT, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
#endif
  }
  ~InterruptStops() {
#ifdef _WIN32
    std::signal(SIGINT, previous_);
#else
    sigaction(SIGINT, &previous_, nullptr);
#endif
    g_stopFlag = nullptr;
  }
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;

 private:
#ifdef _WIN32
  void (*previous_)(int) = nullptr;
#else
  struct sigaction previous_ {};
#endif
};

bool ParseBounded(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  constexpr std::int64_t kNotANumber = INT64_MIN;
  value = ReadIntegerSetting(text, kNotANumber);
  return value != kNotANumber && value >= low && value <= high;
}

void PrintGroups(std::ostream& out, const ResultList& list) {
  const std::vector<ListRow>& rows = list.Rows();
  std::size_t row = 0;
  bool first = true;
  for (const ListGroup& group : list.Groups()) {
    if (!first) out << '\n';
    first = false;
    out << group.header << '\n';
    for (; row < rows.size() && rows[row].groupId == group.groupId; ++row) {
      const ListRow& r = rows[row];
      out << (r.data != nullptr ? r.data->fullPath : r.subItems.empty() ? r.caption : r.subItems.front()) << '\n';
    }
  }
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliHooks& hooks) {
  ScanSettingsValues settings;
  bool quiet = false;
  std::string csvFiles, csvFolders;
  std::vector<std::string> folderArgs;

  auto usageError = [&err](const std::string& message) {
    err << "orvanta-cli: " << message << '\n'
        << Usage() << '\n'
        << TranslateText("Try 'orvanta-cli --help' for more information.") << '\n';
    return 2;
  };
  auto needsValue = [&usageError](const std::string& option) {
    return usageError(FormatText(TranslateText("option '%s' needs a value"), {option}));
  };
  auto invalidNumber = [&usageError](const std::string& value, const std::string& option, std::int64_t low,
                                     std::int64_t high) {
    return usageError(FormatText(TranslateText("invalid value '%s' for '%s' (%d to %d)"), {value, option, low, high}));
  };

  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      folderArgs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string value;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const auto equals = arg.find('=');
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg.resize(equals);
        hasInlineValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (hasInlineValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    auto flag = [&](bool& target, bool setting) {
      if (hasInlineValue) return false;
      target = setting;
      return true;
    };

    if (arg == "-h" || arg == "--help") {
      out << Usage() << '\n' << Help();
      return 0;
    }
    if (arg == "-V" || arg == "--version") {
      out << "orvanta-cli " << kVersion << '\n';
      return 0;
    }
    bool ok = true;
    if (arg == "--compare") {
      if (!takeValue()) return needsValue(arg);
      if (value == "name") settings.compare = CompareMode::Name;
      else if (value == "size") settings.compare = CompareMode::Size;
      else if (value == "name-size") settings.compare = CompareMode::NameAndSize;
      else if (value == "content") settings.compare = CompareMode::Content;
      else return usageError(FormatText(TranslateText("invalid value '%s' for '%s' (name, size, name-size or content)"),
                                        {value, arg}));
    } else if (arg == "--masks") {
      if (!takeValue()) return needsValue(arg);
      settings.masks = value;
    } else if (arg == "--min-size-mb" || arg == "--max-groups" || arg == "--min-group-size") {
      if (!takeValue()) return needsValue(arg);
      std::int64_t number = 0;
      if (arg == "--min-size-mb") {
        if (!ParseBounded(value, 0, 1048576, number)) return invalidNumber(value, arg, 0, 1048576);
        settings.minSizeMB = number;
      } else if (arg == "--max-groups") {
        if (!ParseBounded(value, 0, 1000000, number)) return invalidNumber(value, arg, 0, 1000000);
        settings.maxGroups = static_cast<int>(number);
      } else {
        if (!ParseBounded(value, 2, 1000, number)) return invalidNumber(value, arg, 2, 1000);
        settings.minGroupSize = static_cast<int>(number);
      }
    } else if (arg == "--csv" || arg == "--csv-folders") {
      if (!takeValue() || value.empty()) return needsValue(arg);
      (arg == "--csv" ? csvFiles : csvFolders) = value;
    } else if (arg == "--sequential") {
      ok = flag(settings.parallel, false);
    } else if (arg == "--no-files") {
      ok = flag(settings.fileClones, false);
    } else if (arg == "--folders") {
      ok = flag(settings.folderClones, true);
    } else if (arg == "-q" || arg == "--quiet") {
      ok = flag(quiet, true);
    } else {
      return usageError(FormatText(TranslateText("unknown option '%s'"), {arg}));
    }
    if (!ok) return usageError(FormatText(TranslateText("option '%s' takes no value"), {arg}));
  }
  if (folderArgs.empty()) return usageError(TranslateText("no folder given"));

  for (const std::string& arg : folderArgs) {
    const std::string folder = NormalizeFolderPath(arg);
    if (folder.empty() || !platform::FolderExists(folder)) {
      err << "orvanta-cli: " << TranslateText("Directory does not exist: ") << arg << '\n';
      continue;
    }
    bool listed = false;
    for (const std::string& f : settings.folders) listed = listed || platform::SamePath(f, folder);
    if (!listed) settings.folders.push_back(folder);
  }

  const bool terminal = hooks.stderrIsTerminal >= 0 ? hooks.stderrIsTerminal != 0 : platform::StderrIsTerminal();
  TerminalWindow window(err, terminal && !quiet, hooks.onPump);
  const char* decimalPoint = std::localeconv()->decimal_point;
  ScanRun run(window, settings, decimalPoint != nullptr && decimalPoint[0] != '\0' ? decimalPoint : ".");
  {
    InterruptStops interrupt(run.StopFlag());
    run.btnScanClick();
  }
  window.Finish();
  if (window.Failed()) return 1;

  const bool csvToStdout = csvFiles == "-" || csvFolders == "-";
  if (!csvToStdout) {
    PrintGroups(out, run.FileClones());
    if (settings.folderClones) {
      if (!run.FileClones().Groups().empty() && !run.FolderClones().Groups().empty()) out << '\n';
      PrintGroups(out, run.FolderClones());
    }
  }
  out << std::flush;
  int status = run.StopFlag() ? 130 : 0;
  const std::pair<const std::string&, const ResultList&> exports[] = {{csvFiles, run.FileClones()},
                                                                      {csvFolders, run.FolderClones()}};
  for (const auto& [fileName, list] : exports) {
    if (fileName.empty()) continue;
    try {
      if (fileName == "-") {
        out << ListViewToCsv(list) << std::flush;
      } else {
        ExportListViewToCsv(list, fileName);
      }
    } catch (const std::exception& error) {
      err << "orvanta-cli: " << error.what() << '\n';
      status = 1;
    }
  }
  return status;
}

}  // namespace orvanta
