// What every scan stage works on: the host, the settings, the stop flag, the
// file registry and the two result lists. Owned by the ScanRun.
#pragma once

#include <atomic>
#include <string>

#include "app/result_list.h"
#include "app/scan_settings.h"
#include "app/window_operations.h"
#include "collect/file_info.h"

namespace orvanta {

struct ScanContext {
  WindowOperations& window;
  const ScanSettings& settings;
  std::atomic<bool>& FStopRequested;
  FileRegistry& FFiles;
  ResultList& lvFiles;
  ResultList& lvDirs;
  std::string decimalSeparator = ".";

  bool StopRequested() const { return FStopRequested.load(std::memory_order_relaxed); }
};

}  // namespace orvanta
