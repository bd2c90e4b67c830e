// Which collected files the hashing reads and how, decided from sizes and
// digests alone: no file is opened here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "core/file_record.h"

namespace orvanta {

// One read buffer. A file of at most this size is hashed from a single read; a
// larger one first gets a fast digest over its whole content.
constexpr std::size_t kReadBufferSize = 256 * 1024;

// A file larger than this is first told apart from the others of its size by
// its first kHeadCheckBytes, and one larger than a buffer also by its last:
// most files that share a size differ there, and then need no further read.
// A smaller one is read whole at once. The tail only of large files: on a
// cold disk it costs a seek of its own, and a smaller file's tail tells few
// files apart that its head does not.
constexpr std::int64_t kHeadCheckMinSize = 8 * 1024;
constexpr std::size_t kHeadCheckBytes = 4 * 1024;
static_assert(kHeadCheckMinSize >= static_cast<std::int64_t>(2 * kHeadCheckBytes), "head and tail never overlap");
static_assert(2 * kHeadCheckBytes <= kReadBufferSize, "both fit one buffer");

// A fast digest (XXH3-128) over the whole content of a file larger than one
// buffer, with the number of bytes read. Equal contents give equal digests, so
// a digest no other large file has proves that no other file has that
// content; SHA-1 stays the only key files are grouped by.
struct FastDigest {
  std::int64_t length = 0;
  std::uint64_t high = 0;
  std::uint64_t low = 0;

  std::tuple<std::int64_t, std::uint64_t, std::uint64_t> Key() const { return {length, high, low}; }
};

// What the first pass learnt of a target.
enum Stage : std::uint8_t {
  kNotReached,    // Stop came first
  kHeadRead,      // its head and tail digested, its content still to be read
  kFinished,      // hashed from its first buffer, or gone
  kUnreadable,    // could not be opened or read
  kLarge,         // larger than one buffer; its fast digest is in its slot
  kHashedBefore,  // had a digest on entry
  kChanged,       // no longer the file collected, before, while or right after it was read
  kFromCache,     // of at most one buffer, its digests taken from the digest cache
};

// Large targets of one fast digest, to be hashed together; or a single one,
// hashed only when `hash` says so.
struct SecondPassItem {
  std::uint32_t begin, end;  // in SecondPassPlan::targets
  bool hash;
};

struct SecondPassPlan {
  std::vector<std::uint32_t> targets;  // positions among the targets, grouped by item
  std::vector<SecondPassItem> items;   // the most bytes to hash first; among equals, by first target
};

// The files to hash: those of at least one byte whose size another file
// shares, as indexes in ascending (collection) order, so the files of one
// folder are read one after another. Empty when `stop` is set meanwhile.
std::vector<FileRecord*> HashTargets(FileRegistry& files, const std::atomic<bool>& stop);

// The positions among `targets` of files collected larger than one buffer,
// ascending: the only ones that get a fast-digest slot (a slot per target
// would cost memory on trees of many small files).
std::vector<std::uint32_t> LargeCandidates(const std::vector<FileRecord*>& targets);

// The positions among `targets` of files collected larger than
// kHeadCheckMinSize, ascending: the ones the head pass reads.
std::vector<std::uint32_t> HeadCandidates(const std::vector<FileRecord*>& targets);

// After the head pass: the slots of `headCandidates` still to be read
// (stage kHeadRead) whose content no other target can have, as no other target
// of their size has their head digest. A size is decided only when each of
// its targets has a head digest (read, or from the cache) or is settled as
// unreadable, changed or gone; one that had its SHA-1 on entry has none to
// compare. `headDigests` and `headKnown` are by slot.
std::vector<std::uint32_t> UniqueHeads(const std::vector<FileRecord*>& targets, const std::vector<std::uint8_t>& stage,
                                       const std::vector<std::uint32_t>& headCandidates,
                                       const std::vector<std::uint64_t>& headDigests,
                                       const std::vector<std::uint8_t>& headKnown);

// After the first pass: the large targets (stage kLarge) by fast digest, one
// item per digest. Those sharing one get their SHA-1; one whose digest no other
// has is not hashed, as no collected file can have its content (a small file's
// fits in one buffer), unless some target had a digest on entry and so no fast
// digest to compare with, or `hashEvery` asks for every one. `fastDigests` is
// by slot of `largeCandidates`.
SecondPassPlan PlanSecondPass(const std::vector<std::uint8_t>& stage, const std::vector<std::uint32_t>& largeCandidates,
                              const std::vector<FastDigest>& fastDigests, bool hashEvery = false);

}  // namespace orvanta
