#include "app/scan_run.h"

#include <exception>

#include "app/scan_context.h"
#include "collect/collect_files.h"
#include "fileclones/content_hashing.h"
#include "fileclones/file_grouping.h"
#include "folderclones/folder_grouping.h"
#include "translation/translate.h"

namespace orvanta {

ScanRun::ScanRun(WindowOperations& window, const ScanSettings& settings, std::string decimalSeparator)
    : window_(window),
      settings_(settings),
      decimalSeparator_(std::move(decimalSeparator)),
      lvFiles(MakeFileCloneList()),
      lvDirs(MakeFolderCloneList()) {}

void ScanRun::btnScanClick() {
  if (running_) return;
  if (settings_.Folders().empty()) {
    window_.ShowMessage(TranslateText("Please add at least one folder."));
    return;
  }
  running_ = true;
  FStopRequested = false;
  window_.EnableStop(true);
  window_.SetBusyCursor(true);

  ScanContext scan{window_, settings_, FStopRequested, FFiles, lvFiles, lvDirs, decimalSeparator_};
  bool stoppedEarly = false;
  try {
    // Each step returns true when the run ends there because Stop was noticed.
    auto stage = [&]() {
      ClearResults();
      CollectFiles(scan);
      if (scan.StopRequested()) return true;
      if (settings_.Compare() == CompareMode::Content &&
          (settings_.FindFileClones() || settings_.FindFolderClones())) {
        ComputeAllHashes(scan);
        if (scan.StopRequested()) return true;
      }
      if (settings_.FindFileClones()) {
        FindFileDuplicates(scan);
        if (scan.StopRequested()) {
          window_.SetStatusText(TranslateText("Cancelled"));
          return true;
        }
      }
      if (settings_.FindFolderClones()) {
        FindDirectoryDuplicates(scan);
        if (scan.StopRequested()) {
          window_.SetStatusText(TranslateText("Cancelled"));
          return true;
        }
      }
      window_.SetStatusText("  " + TranslateText("Done."));
      return false;
    };
    stoppedEarly = stage();
  } catch (const std::exception& error) {
    window_.ShowMessage(TranslateText("Error: ") + error.what());
  } catch (...) {
    window_.ShowMessage(TranslateText("Error: ") + TranslateText("Unknown error"));
  }

  window_.SetBusyCursor(false);
  if (stoppedEarly) {
    window_.EnableStop(false);
    window_.SetProgressPosition(0);
  } else {
    window_.SetProgressPosition(0);
    window_.EnableStop(false);
  }
  running_ = false;
}

void ScanRun::btnStopClick() {
  FStopRequested = true;
  window_.SetStatusText(TranslateText("Stopping..."));
}

void ScanRun::ClearResults() {
  lvFiles.ClearRows();
  lvDirs.ClearRows();
  ClearListGroups(lvFiles);
  ClearListGroups(lvDirs);
  FFiles.clear();
  FFiles.shrink_to_fit();
  window_.SetProgressPosition(0);
  window_.SetStatusText("");
}

}  // namespace orvanta
