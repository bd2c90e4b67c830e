// One scan: resets the results, then runs the stages one after another on the
// caller's thread, reporting through the host's window operations. Holds the
// file registry, the stop flag and the two result lists for the host.
#pragma once

#include <atomic>

#include "app/result_list.h"
#include "app/scan_settings.h"
#include "app/window_operations.h"
#include "collect/file_info.h"

namespace orvanta {

class ScanRun {
 public:
  ScanRun(WindowOperations& window, const ScanSettings& settings, std::string decimalSeparator = ".");

  // Scan: runs every stage the settings ask for. Does nothing while a run is active.
  void btnScanClick();
  // Stop: the stages notice it at their next poll.
  void btnStopClick();
  void ClearResults();

  bool Running() const { return running_; }
  std::atomic<bool>& StopFlag() { return FStopRequested; }
  const FileRegistry& Files() const { return FFiles; }
  ResultList& FileClones() { return lvFiles; }
  ResultList& FolderClones() { return lvDirs; }

 private:
  WindowOperations& window_;
  const ScanSettings& settings_;
  std::string decimalSeparator_;
  std::atomic<bool> FStopRequested{false};
  bool running_ = false;
  FileRegistry FFiles;
  ResultList lvFiles;
  ResultList lvDirs;
};

}  // namespace orvanta
