#include "scan/scan_run.h"

#include "platform/platform.h"

#include <exception>

#include "collect/collect_files.h"
#include "core/paths.h"
#include "core/scan_context.h"
#include "fileclones/content_hashing.h"
#include "fileclones/file_grouping.h"
#include "folderclones/folder_grouping.h"
#include "text/translate.h"

namespace orvanta {

ScanRun::ScanRun(ScanHost& host, const ScanSettings& settings, std::string decimalSeparator)
    : host_(host),
      settings_(settings),
      decimalSeparator_(std::move(decimalSeparator)),
      fileClones_(MakeFileCloneList()),
      folderClones_(MakeFolderCloneList()) {}

ScanOutcome ScanRun::Run() {
  if (running_) return {ScanOutcome::Kind::AlreadyRunning, {}};
  if (settings_.Folders().empty()) return {ScanOutcome::Kind::NoFolders, {}};
  running_ = true;
  stopRequested_ = false;
  host_.EnableStop(true);
  host_.SetBusyCursor(true);

  ScanOutcome outcome;
  bool stoppedEarly = false;
  try {
    stoppedEarly = RunStages();
    if (stoppedEarly) outcome.kind = ScanOutcome::Kind::Stopped;
  } catch (const std::exception& error) {
    // Out of memory included: the run ends with the error and keeps what it found.
    outcome = {ScanOutcome::Kind::Failed, error.what()};
  } catch (...) {
    // Not an error of ours: the host is restored, the exception goes on to it.
    EndRun(false);
    throw;
  }
  EndRun(stoppedEarly);
  return outcome;
}

bool ScanRun::RunStages() {
  ScanContext scan{host_,         settings_,         stopRequested_,    files_,        folderRecords_, fileClones_,
                   folderClones_, decimalSeparator_, &unreadableFiles_, &changedFiles_};
  ClearResults();
  fileClones_.SetGroupedByContent(settings_.Compare() == CompareMode::Content);
  folderClones_.SetGroupedByContent(settings_.Compare() == CompareMode::Content);
  unreadableFiles_.clear();
  changedFiles_.clear();
  // Once, before the walk: removal later reaches every item through its root's
  // resolved path, so a link on the way to a root need not be followed again.
  RootResolution roots = RootResolution::Of(settings_.Folders(), settings_.ReferenceFolders());
  fileClones_.SetRoots(roots);
  folderClones_.SetRoots(std::move(roots));
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
      host_.SetStatusText(TranslateText("Cancelled"));
      return true;
    }
  }
  if (settings_.FindFolderClones()) {
    FindDirectoryDuplicates(scan, [&scan](const std::vector<FileRecord*>& files) { HashEveryFile(scan, files); });
    if (scan.StopRequested()) {
      host_.SetStatusText(TranslateText("Cancelled"));
      return true;
    }
  }
  host_.SetStatusText("  " + TranslateText("Done."));
  return false;
}

void ScanRun::EndRun(bool stoppedEarly) {
  host_.SetBusyCursor(false);
  if (stoppedEarly) {
    host_.EnableStop(false);
    host_.SetProgressPosition(0);
  } else {
    host_.SetProgressPosition(0);
    host_.EnableStop(false);
  }
  running_ = false;
}

void ScanRun::RequestStop() {
  stopRequested_ = true;
  host_.SetStatusText(TranslateText("Stopping..."));
}

void ScanRun::ClearResults() {
  fileClones_.ClearRows();
  folderClones_.ClearRows();
  ClearListGroups(fileClones_);
  ClearListGroups(folderClones_);
  files_.clear();
  folderRecords_.clear();
  host_.SetProgressPosition(0);
  host_.SetStatusText("");
}

}  // namespace orvanta
