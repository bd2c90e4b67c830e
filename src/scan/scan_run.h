// One scan: resets the results, then runs the stages one after another on the
// caller's thread, reporting through its host. Holds the file registry, the
// stop flag and the two result lists for the host.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "core/result_list.h"
#include "core/scan_host.h"
#include "core/scan_settings.h"
#include "fileclones/content_hashing.h"

namespace orvanta {

struct SavedResults;

// How a call of ScanRun::Run ended; each front end words it in its own way.
struct ScanOutcome {
  enum class Kind {
    Done,            // every stage ran; the lists are whole
    Stopped,         // Stop was noticed; the lists hold what was found so far
    NoFolders,       // the settings name no folder: nothing ran, the last results stay
    Failed,          // a stage threw; the lists hold what was found before
    AlreadyRunning,  // a run was active: this call did nothing
  };
  Kind kind = Kind::Done;
  std::string error;  // Failed: the exception's text
};

// The closing figures of a run: how long it took, how many files the hashing
// read and how many took their digests from the digest cache.
struct ScanFigures {
  double seconds = 0;
  std::int64_t filesRead = 0;
  std::int64_t filesFromCache = 0;
};

class ScanRun {
 public:
  ScanRun(ScanHost& host, const ScanSettings& settings, std::string decimalSeparator = ".");

  // Runs every stage the settings ask for. An exception that is not a
  // std::exception passes on once the host is restored.
  ScanOutcome Run();
  // The stages notice it at their next poll.
  void RequestStop();
  void ClearResults();

  bool Running() const { return running_; }
  std::atomic<bool>& StopFlag() { return stopRequested_; }
  const FileRegistry& Files() const { return files_; }
  ResultList& FileClones() { return fileClones_; }
  ResultList& FolderClones() { return folderClones_; }
  // Files of the last run whose contents could not be read, in collection order.
  const std::vector<std::string>& UnreadableFiles() const { return unreadableFiles_; }
  // Files of the last run left out because they changed while it read them.
  const std::vector<std::string>& ChangedFiles() const { return changedFiles_; }
  // Files of the last run left out unread: their contents are not on this disk.
  const std::vector<std::string>& PlaceholderFiles() const { return placeholderFiles_; }
  const std::string& DecimalSeparator() const { return decimalSeparator_; }
  // The last run's figures, and the same as one line for the person.
  const ScanFigures& Figures() const { return figures_; }
  std::string FiguresText() const;
  // What the last run has to tell of the digest cache: a file set aside, or
  // one that could not be used. At most one text per run and problem.
  const std::vector<std::string>& CacheNotices() const { return cacheNotices_; }
  // The hashing's seams for tests (the cache itself is the settings' to name).
  HashingOptions& Hashing() { return hashing_; }

  // Replaces the results with saved ones instead of a scan (not while one
  // runs); rows whose items changed since are stale. Returns their number.
  std::size_t LoadSaved(const SavedResults& saved);
  // The compare mode of the results in the lists (the last run's, or the saved one's).
  CompareMode ResultsCompare() const { return resultsCompare_; }

 private:
  // The stages in order; true when the run ends early because Stop was noticed.
  bool RunStages();
  // Restores the cursor, the progress bar and the Stop control.
  void EndRun(bool stoppedEarly);

  ScanHost& host_;
  const ScanSettings& settings_;
  std::string decimalSeparator_;
  std::atomic<bool> stopRequested_{false};
  bool running_ = false;
  FileRegistry files_;
  FileRegistry folderRecords_;  // the folders listed in folderClones_
  ResultList fileClones_;
  ResultList folderClones_;
  std::vector<std::string> unreadableFiles_;
  std::vector<std::string> changedFiles_;
  std::vector<std::string> placeholderFiles_;
  CompareMode resultsCompare_ = CompareMode::Content;
  ScanFigures figures_;
  std::vector<std::string> cacheNotices_;
  HashingOptions hashing_;
};

}  // namespace orvanta
