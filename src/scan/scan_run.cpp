#include "scan/scan_run.h"

#include "platform/platform.h"

#include <chrono>
#include <cmath>
#include <exception>

#include "actions/saved_results.h"
#include "collect/collect_files.h"
#include "core/paths.h"
#include "core/scan_context.h"
#include "fileclones/content_hashing.h"
#include "fileclones/digest_cache.h"
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
  platform::KeepHeapSmall();
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
  const auto start = std::chrono::steady_clock::now();
  ScanContext scan{host_,         settings_,         stopRequested_,    files_,         folderRecords_,    fileClones_,
                   folderClones_, decimalSeparator_, &unreadableFiles_, &changedFiles_, &placeholderFiles_};
  figures_ = {};
  cacheNotices_.clear();
  // Whichever way the stages end, the figures say what they did.
  struct Figures {
    ScanFigures& figures;
    const ScanContext& scan;
    std::chrono::steady_clock::time_point start;
    ~Figures() {
      figures = {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), scan.filesRead,
                 scan.filesFromCache};
    }
  } figures{figures_, scan, start};
  ClearResults();
  resultsCompare_ = settings_.Compare();
  fileClones_.SetGroupedByContent(settings_.Compare() == CompareMode::Content);
  folderClones_.SetGroupedByContent(settings_.Compare() == CompareMode::Content);
  unreadableFiles_.clear();
  changedFiles_.clear();
  placeholderFiles_.clear();
  // Once, before the walk: removal later reaches every item through its root's
  // resolved path, so a link on the way to a root need not be followed again.
  RootResolution roots = RootResolution::Of(settings_.Folders(), settings_.ReferenceFolders());
  fileClones_.SetRoots(roots);
  folderClones_.SetRoots(std::move(roots));
  CollectFiles(scan);
  // The walk's lists were built on its threads' heaps and are freed by now.
  platform::ReleaseFreedMemory();
  if (scan.StopRequested()) return true;
  const bool hashing =
      settings_.Compare() == CompareMode::Content && (settings_.FindFileClones() || settings_.FindFolderClones());
  OpenedCache opened;
  if (hashing && !settings_.DigestCacheFile().empty()) {
    opened = OpenDigestCache(settings_.DigestCacheFile(), settings_.DigestCacheLimitMB());
    if (!opened.notice.empty()) cacheNotices_.push_back(opened.notice);
  }
  // Told once the run is over, however it ends.
  struct CacheNotice {
    const OpenedCache& opened;
    std::vector<std::string>& notices;
    ~CacheNotice() {
      if (opened.cache != nullptr && !opened.cache->Notice().empty()) notices.push_back(opened.cache->Notice());
    }
  } cacheNotice{opened, cacheNotices_};
  HashingOptions hashingOptions = hashing_;
  hashingOptions.cache = opened.cache.get();
  if (hashing) {
    ComputeAllHashes(scan, hashingOptions);
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
    FindDirectoryDuplicates(scan, [&scan, &hashingOptions](const std::vector<FileRecord*>& files) {
      HashEveryFile(scan, files, hashingOptions);
    });
    if (scan.StopRequested()) {
      host_.SetStatusText(TranslateText("Cancelled"));
      return true;
    }
  }
  host_.SetStatusText("  " + TranslateText("Done."));
  return false;
}

std::string ScanRun::FiguresText() const {
  const auto hundredths = static_cast<std::int64_t>(std::llround(figures_.seconds * 100));
  std::string hundredthsText = std::to_string(hundredths % 100);
  if (hundredthsText.size() < 2) hundredthsText.insert(0, "0");
  const std::string seconds = std::to_string(hundredths / 100) + decimalSeparator_ + hundredthsText;
  return FormatText(TranslateText("Scanned in %s s: %d files read, %d from the cache."),
                    {seconds, figures_.filesRead, figures_.filesFromCache});
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

std::size_t ScanRun::LoadSaved(const SavedResults& saved) {
  if (running_) return 0;
  ClearResults();
  unreadableFiles_.clear();
  changedFiles_.clear();
  placeholderFiles_.clear();
  resultsCompare_ = saved.compare;
  return FillSavedResults(saved, files_, folderRecords_, fileClones_, folderClones_, decimalSeparator_);
}

}  // namespace orvanta
