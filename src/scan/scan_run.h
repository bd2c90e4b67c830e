// One scan: resets the results, then runs the stages one after another on the
// caller's thread, reporting through the host's window operations. Holds the
// file registry, the stop flag and the two result lists for the host.
#pragma once

#include <atomic>

#include "core/result_list.h"
#include "core/scan_settings.h"
#include "core/scan_host.h"
#include "core/file_record.h"

namespace orvanta {

class ScanRun {
 public:
  ScanRun(ScanHost& window, const ScanSettings& settings, std::string decimalSeparator = ".");

  // Scan: runs every stage the settings ask for. Does nothing while a run is active.
  void btnScanClick();
  // Stop: the stages notice it at their next poll.
  void btnStopClick();
  void ClearResults();

  bool Running() const { return running_; }
  std::atomic<bool>& StopFlag() { return stopRequested_; }
  const FileRegistry& Files() const { return files_; }
  ResultList& FileClones() { return fileClones_; }
  ResultList& FolderClones() { return folderClones_; }
  // Files of the last run whose contents could not be read, in collection order.
  const std::vector<std::string>& UnreadableFiles() const { return unreadableFiles_; }
  const std::string& DecimalSeparator() const { return decimalSeparator_; }

 private:
  // The stages in order; true when the run ends early because Stop was noticed.
  bool RunStages();
  // Restores the cursor, the progress bar and the Stop control.
  void EndRun(bool stoppedEarly);

  ScanHost& window_;
  const ScanSettings& settings_;
  std::string decimalSeparator_;
  std::atomic<bool> stopRequested_{false};
  bool running_ = false;
  FileRegistry files_;
  ResultList fileClones_;
  ResultList folderClones_;
  std::vector<std::string> unreadableFiles_;
};

}  // namespace orvanta
