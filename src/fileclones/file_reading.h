// Reading collected files for their digests: never past the size collected,
// in buffers of a per-thread workspace, with Stop seen inside long reads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "core/scan_host.h"
#include "fileclones/hash_plan.h"

namespace orvanta {

// SHA-1 of the file's contents as 40 lower-case hex digits; empty when no file
// is at the path (missing, or a folder there). Throws std::runtime_error when
// the file exists but cannot be opened or read. Safe to call from several
// threads at once.
std::string HashFileSHA1(const std::string& path);

// Seams for tests; both empty in a real scan.
struct ReadHooks {
  // Called on the reading thread (a worker's when hashing in parallel) between
  // two buffers of a file larger than one buffer, with that file's bytes read
  // so far, before the stop flag is looked at. May set the flag, or throw.
  std::function<void(std::uint64_t)> afterBuffer;
  // Standing in for a SHA-1 collision: when set, every SHA-1 computed reads as this.
  Sha1Digest forcedSha1;
};

// The seed of the second digest (contentCheck) when no digest cache gives
// one: drawn once per process, so no one can prepare files whose checks agree.
std::uint64_t ProcessCheckSeed();

// What a read looks at between buffers, and how it seeds the check.
struct ReadControl {
  const std::atomic<bool>& stop;
  // One by one, the reading thread is the window's, so it also pumps: Stop is
  // a button the window must get to handle.
  ScanHost* pump = nullptr;
  const ReadHooks& hooks;
  std::uint64_t checkSeed = ProcessCheckSeed();

  bool Stopped() const {
    if (pump != nullptr) pump->PumpMessages();
    return stop.load(std::memory_order_relaxed);
  }
};

// Gives the calling thread its digest contexts and read buffers for its
// lifetime: allocating them per file costs more than hashing a small file. A
// thread reads files only while it holds one.
class UseWorkspace {
 public:
  UseWorkspace();
  ~UseWorkspace();
  UseWorkspace(const UseWorkspace&) = delete;
  UseWorkspace& operator=(const UseWorkspace&) = delete;

  struct Workspace;

 private:
  std::unique_ptr<Workspace> own_;
  Workspace* previous_;
};

enum class FirstRead {
  Hashed,      // a file of at most one buffer: SHA-1 and check set
  Digested,    // a larger file: its fast digest set; or a head digest set
  Unhashed,    // gone, or Stop came
  Changed,     // not the file collected: another size, identity or time before or after the read
  Unreadable,  // could not be opened or read
};

// Files whose reads go to the system together (platform::BatchReader): on a
// cold disk one batch costs about what one read after another costs per file.
constexpr std::size_t kBatchFiles = 32;

// Reads collected files of at most one buffer, never past the size each had
// then, and sets their SHA-1 and check: results[i] tells how records[i] went
// (Hashed, Unhashed, Changed or Unreadable). After the read each open file's
// size, identity and times are compared with its record's: a file edited
// meanwhile, even with its size and write time put back, is Changed (its
// change time moved) and keeps no digest.
void HashSmallFiles(std::span<FileRecord* const> records, std::span<FirstRead> results, const ReadControl& control);

// Streams a collected file larger than one buffer through XXH3 into `fast`,
// never past the size it had then, looking at the stop flag as it goes:
// Digested, or Unhashed, Changed and Unreadable as above.
FirstRead DigestLargeFile(FileRecord& record, FastDigest& fast, const ReadControl& control);

// Reads the first kHeadCheckBytes of collected files larger than
// kHeadCheckMinSize, and of one larger than a buffer also its last, into
// digests[i] (XXH3-64, seeded as the check is): Digested, and equal contents
// give equal digests. Unhashed, Changed (another size now, or shorter than
// collected) and Unreadable as above; the rest of a file is left to the full
// read, which checks it again. Read together as HashSmallFiles reads.
void DigestHeadsAndTails(std::span<const FileRecord* const> records, std::span<std::uint64_t> digests,
                         std::span<FirstRead> results, const ReadControl& control);

// Files with equal fast digests and sizes, almost surely equal. SHA-1 and the
// check are computed once, for the first file of a round, while the others
// are compared with it byte by byte, several times cheaper than hashing them;
// each that matched every byte gets the digests of exactly those bytes. A file
// that differs, or could not be read, goes to a later round, where it may
// lead. Every round settles its leader, so the rounds end. Reads stop at the
// collected size; a file that shrank or grew meanwhile, or is no longer what
// was collected once read (as HashSmallOrDigestLarge checks), stays unhashed
// and is passed to `leftOut` with Changed, one that could not be opened or
// read as leader with Unreadable. `complete` is called once for every file settled.
void HashAlikeFiles(std::vector<FileRecord*> pending, const ReadControl& control, const std::function<void()>& complete,
                    const std::function<void(const FileRecord*, FirstRead)>& leftOut);

}  // namespace orvanta
