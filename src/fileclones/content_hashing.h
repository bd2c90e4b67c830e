#pragma once

#include <functional>
#include <vector>

#include "fileclones/file_reading.h"

namespace orvanta {

struct ScanContext;

// Seams for tests; all empty in a real scan.
struct HashingOptions {
  ReadHooks reads;
  // Called on the scanning thread once the first pass has read every target
  // and before the second pass plans and reads the large ones (not after Stop).
  std::function<void()> betweenPasses;
};

// Sets contentHash of every collected file whose size another collected file
// shares, in parallel (one worker per logical processor) or one by one. A file
// larger than one read buffer (256 KiB) whose content no other collected file
// has, as a fast digest over the whole file shows, keeps it empty: it can join
// no group, so its SHA-1 is not computed.
//
// Each hashed file also gets contentCheck, a second digest seeded anew in every
// process, so files that share a SHA-1 without sharing their bytes stay apart.
// Reads end at the size collected; a file of another size by then stays
// unhashed, and Stop is seen within every few MiB of a file. An exception a
// worker throws (out of memory) stops the others and is rethrown here once
// they have all ended.
void ComputeAllHashes(ScanContext& scan, const HashingOptions& options = {});

// Sets contentHash and contentCheck of every one of `files` (records of their
// own, not in scan.files) as ComputeAllHashes would, whatever sizes they share:
// the files of folders that a folder clone run compares by content. A file
// that cannot be read or changed meanwhile stays unhashed and is named.
void HashEveryFile(ScanContext& scan, const std::vector<FileRecord*>& files, const HashingOptions& options = {});

}  // namespace orvanta
