#include "scan/scan_run.h"

#include "platform/platform.h"

#include <exception>

#include "core/scan_context.h"
#include "collect/collect_files.h"
#include "fileclones/content_hashing.h"
#include "fileclones/file_grouping.h"
#include "folderclones/folder_grouping.h"
#include "text/translate.h"

namespace orvanta {

ScanRun::ScanRun(ScanHost& window, const ScanSettings& settings, std::string decimalSeparator)
    : window_(window),
      settings_(settings),
      decimalSeparator_(std::move(decimalSeparator)),
      fileClones_(MakeFileCloneList()),
      folderClones_(MakeFolderCloneList()) {}

void ScanRun::btnScanClick() {
  if (running_) return;
  if (settings_.Folders().empty()) {
    window_.ShowMessage(TranslateText("Please add at least one folder."));
    return;
  }
  running_ = true;
  stopRequested_ = false;
  window_.EnableStop(true);
  window_.SetBusyCursor(true);

  bool stoppedEarly = false;
  try {
    stoppedEarly = RunStages();
  } catch (const std::exception& error) {
    // Out of memory included: the run ends with the message and keeps what it found.
    window_.ShowMessage(TranslateText("Error: ") + error.what());
  } catch (...) {
    // Not an error of ours: the window is restored, the exception goes on to the host.
    EndRun(false);
    throw;
  }
  EndRun(stoppedEarly);
}

bool ScanRun::RunStages() {
  ScanContext scan{window_, settings_, stopRequested_, files_, fileClones_, folderClones_, decimalSeparator_,
                   &unreadableFiles_};
  ClearResults();
  unreadableFiles_.clear();
  CollectFiles(scan);
  // The walk's lists were built on its threads' heaps and are freed by now.
  platform::ReleaseFreedMemory();
  if (scan.StopRequested()) return true;
  if (settings_.Compare() == CompareMode::Content && (settings_.FindFileClones() || settings_.FindFolderClones())) {
    ComputeAllHashes(scan);
    platform::ReleaseFreedMemory();
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
}

void ScanRun::EndRun(bool stoppedEarly) {
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
  stopRequested_ = true;
  window_.SetStatusText(TranslateText("Stopping..."));
}

void ScanRun::ClearResults() {
  fileClones_.ClearRows();
  folderClones_.ClearRows();
  ClearListGroups(fileClones_);
  ClearListGroups(folderClones_);
  files_.clear();
  window_.SetProgressPosition(0);
  window_.SetStatusText("");
}

}  // namespace orvanta
