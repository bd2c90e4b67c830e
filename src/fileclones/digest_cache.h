// The digests of files hashed by earlier scans, kept in a file (SQLite) so a
// rescan reads only what changed. Nothing but this header knows the file's
// format; the Windows build has no SQLite and compiles the cache out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "fileclones/hash_plan.h"

namespace orvanta {

// What the cache keeps of one file besides its identity, size and times.
struct CachedDigests {
  // A file larger than one read buffer: its fast digest over the whole content.
  bool haveFast = false;
  FastDigest fast;
  // SHA-1 and the check (seeded with the cache's key), empty when not computed.
  Sha1Digest sha1;
  std::array<std::uint64_t, 2> check{};
  // A file larger than kHeadCheckMinSize: the digest of its head (and tail)
  // (seeded with the cache's key), where it was read.
  bool haveHead = false;
  std::uint64_t head = 0;
};

class DigestCache {
 public:
  virtual ~DigestCache() = default;

  // The seed of the second digest (contentCheck) of every file this cache
  // holds: a scan that uses the cache seeds every check it computes with it,
  // so checks from the cache and from reading compare.
  virtual std::uint64_t CheckKey() const = 0;
  // Calls `hit` with each of `files` (by index) whose identity, size, write
  // and change time the cache holds unchanged, and what it holds of it.
  virtual void Find(const std::vector<FileRecord*>& files,
                    const std::function<void(std::size_t, const CachedDigests&)>& hit) = 0;
  // Keeps the digests of files just read (their identity, size and times as
  // the record holds them), each file and its digests as `next` gives them
  // until it returns false (no list of them all: on a first scan of a large
  // tree that list cost more memory than the cache's pages), and marks the
  // files Find answered as seen; drops entries not seen for long, and the
  // oldest while the file is over its bound.
  virtual void Store(const std::function<bool(const FileRecord*&, CachedDigests&)>& next) = 0;
  // Set when the cache file turned out damaged after it was opened: it was
  // set aside and nothing more is stored this run. Empty otherwise.
  virtual std::string Notice() const = 0;
};

struct OpenedCache {
  std::unique_ptr<DigestCache> cache;  // none: the scan runs without
  // One message for the person when the file was damaged or not a cache of
  // ours (set aside, a new one made), or could not be opened at all.
  std::string notice;
};

// Opens the cache file, creating it and its folder (private to the user) when
// missing. A file that is damaged or not an Orvanta digest cache is renamed
// (FILE.set-aside) and a new one made; its contents are never used. Several
// processes may use one file at once.
OpenedCache OpenDigestCache(const std::string& file, std::int64_t limitMB);
// Whether this build has the cache (not the Windows build).
bool DigestCacheAvailable();
// digests.db in the folder "orvanta" of the user's cache folder; empty when unknown.
std::string DefaultDigestCacheFile();
// Empties the cache file (removes it and its journal). False, with the
// reason, when it exists and could not be removed.
bool ClearDigestCache(const std::string& file, std::string& error);

}  // namespace orvanta
