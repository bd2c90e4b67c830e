#pragma once

#include <functional>
#include <vector>

#include "fileclones/file_reading.h"
#include "platform/platform.h"

namespace orvanta {

struct ScanContext;
class DigestCache;

struct HashingOptions {
  // Digests of files unchanged since an earlier scan come from here, and what
  // is read goes there; none: every target is read.
  DigestCache* cache = nullptr;
  // A file written less than this long before it is read is not kept in the
  // cache: a write right after the read may leave its size and times as
  // they were (file systems give times in ticks of up to a second or two).
  std::int64_t cacheSettleTime = 2 * platform::kFileTimeTicksPerSecond;

  // Seams for tests; all empty in a real scan.
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
// process (or with the cache's key), so files that share a SHA-1 without
// sharing their bytes stay apart.
//
// With a cache, a target whose identity, size, write and change time it holds
// unchanged is not read: it takes its digests (for a large file its fast
// digest, and its SHA-1 where an earlier scan needed one) from there, so the
// plan and the digests come out as a scan that read it would make them. The
// targets read are kept in the cache afterwards; scan.filesRead and
// scan.filesFromCache count both kinds.
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
