#pragma once

#include <string>

namespace orvanta {

struct ScanContext;

// SHA-1 of the file's contents as 40 lower-case hex digits; empty when no file
// is at the path (missing, or a folder there). Throws std::runtime_error when
// the file exists but cannot be opened or read. Safe to call from several
// threads at once.
std::string HashFileSHA1(const std::string& path);

// Sets contentHash of every collected file whose size another collected file
// shares, in parallel (one worker per logical processor) or one by one. A file
// larger than one read buffer (256 KiB) whose content no other collected file
// has, as a fast digest over the whole file shows, keeps it empty: it can join
// no group, so its SHA-1 is not computed.
void ComputeAllHashes(ScanContext& scan);

}  // namespace orvanta
