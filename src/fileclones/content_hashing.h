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
//
// Each hashed file also gets contentCheck, a second digest seeded anew in every
// process, so files that share a SHA-1 without sharing their bytes stay apart.
// Reads end at the size collected; a file of another size by then stays
// unhashed, and Stop is seen within every few MiB of a file.
void ComputeAllHashes(ScanContext& scan);

// For tests, standing in for a SHA-1 collision: while set (40 hex digits),
// every SHA-1 computed here reads as `digest`. nullptr restores the real one.
void ForceSha1ForTesting(const char* digest);

}  // namespace orvanta
