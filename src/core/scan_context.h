// What every scan stage works on: the host, the settings, the stop flag, the
// registries of files and of listed folders, and the two result lists. Owned by the ScanRun.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "core/result_list.h"
#include "core/scan_host.h"
#include "core/scan_settings.h"

namespace orvanta {

struct ScanContext {
  ScanHost& window;
  const ScanSettings& settings;
  std::atomic<bool>& stopRequested;
  FileRegistry& files;
  FileRegistry& folderRecords;  // the folders the folder clone list shows
  ResultList& fileClones;
  ResultList& folderClones;
  std::string decimalSeparator = ".";
  // Files the hashing could not open or read, for the host to name; none kept without it.
  std::vector<std::string>* unreadableFiles = nullptr;
  // Files left out because they changed while the scan read them (or since it
  // collected them), for the host to name; none kept without it.
  std::vector<std::string>* changedFiles = nullptr;
  // Files left out unread because their contents are not on this disk (see
  // LeftOutUnread), for the host to name; none kept without it.
  std::vector<std::string>* placeholderFiles = nullptr;
  // For the closing figures: files the hashing read, and files whose digests
  // came from the digest cache without a read.
  std::int64_t filesRead = 0;
  std::int64_t filesFromCache = 0;

  bool StopRequested() const { return stopRequested.load(std::memory_order_relaxed); }
};

}  // namespace orvanta
