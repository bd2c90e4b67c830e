#include "fileclones/file_reading.h"

#include <xxhash.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <random>
#include <stdexcept>

#include "platform/platform.h"

namespace orvanta {

// Digest contexts and read buffers of one thread.
struct UseWorkspace::Workspace {
  // Page-aligned: malloc returns a block this large 16 bytes past a page
  // boundary, and some processors copy from the page cache into such a buffer
  // five times slower.
  static constexpr std::size_t kPage = 4096;
  static constexpr std::align_val_t kAlignment{kPage};
  static constexpr std::size_t kArenaSize = 2 * kReadBufferSize;
  struct AlignedDelete {
    void operator()(unsigned char* p) const { ::operator delete[](p, kAlignment); }
  };
  struct StateDelete {
    void operator()(XXH3_state_t* p) const { XXH3_freeState(p); }
  };

  Workspace() {
    if (!xxh3) throw std::bad_alloc();
  }

  platform::Sha1 sha1;
  std::unique_ptr<XXH3_state_t, StateDelete> xxh3{XXH3_createState()};
  platform::BatchReader batch;
  // Room for the reads of one batch; its halves are the buffers of one large file's reads.
  std::unique_ptr<unsigned char[], AlignedDelete> arena{new (kAlignment) unsigned char[kArenaSize]};
  unsigned char* const buffer = arena.get();
  // The second read of a large file; the other side of a byte comparison.
  unsigned char* const compareBuffer = arena.get() + kReadBufferSize;
};

namespace {

using Workspace = UseWorkspace::Workspace;

// The calling thread's workspace, owned by a UseWorkspace on its stack: a
// thread_local object with a destructor crashes at thread exit under MinGW's
// runtime, so threads keep only a pointer.
thread_local Workspace* tWorkspace = nullptr;

Workspace& ThreadWorkspace() { return *tWorkspace; }

// Large reads look at the stop flag after this many buffers (4 MiB), so Stop
// takes effect within a fraction of a second on any file.
constexpr std::size_t kBuffersBetweenStopChecks = 16;

// False when the system's SHA-1 failed: the bytes then have no digest, and
// the file counts as unreadable rather than taking a made-up one.
bool FinishSha1(platform::Sha1& sha1, const ReadHooks& hooks, Sha1Digest& hash) {
  std::array<unsigned char, Sha1Digest::kSize> bytes;
  if (!sha1.Finish(bytes)) {
    hash.clear();
    return false;
  }
  hash = hooks.forcedSha1.empty() ? Sha1Digest(bytes) : hooks.forcedSha1;
  return true;
}

std::array<std::uint64_t, 2> CheckOf(XXH128_hash_t digest) { return {digest.high64, digest.low64}; }

// Fills `buffer` with up to `capacity` bytes from `offset` on, fewer only at
// the end of the file, its first `filled` bytes read already; -1 when reading failed.
std::int64_t ReadFull(platform::InputFile& file, unsigned char* buffer, std::size_t capacity, std::uint64_t offset,
                      std::size_t filled = 0) {
  std::string error;
  while (filled < capacity) {
    const std::int64_t n =
        file.ReadAt(buffer + filled, capacity - filled, static_cast<std::int64_t>(offset + filled), error);
    if (n < 0) return -1;
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(filled);
}

// Between two buffers of a large read: the test seam, then every few MiB the
// stop flag. True when the read is to end.
bool StopBetweenBuffers(const ReadControl& control, std::size_t buffers, std::uint64_t total) {
  if (control.hooks.afterBuffer && buffers > 1) control.hooks.afterBuffer(total);
  return buffers % kBuffersBetweenStopChecks == 0 && control.Stopped();
}

// Whether the open file, its bytes read, is still the one collected: a file
// edited meanwhile has another change time, even with size and write time put back.
bool StillAsCollected(const platform::InputFile& file, const FileRecord& record) {
  platform::FileAttributes now;
  return file.QueryAttributes(now) && record.StillAsSeen(now);
}

// What the read of a collected file comes to when it could not be opened
// (`opened`), or has another size than collected; nothing when it is to be read.
std::optional<FirstRead> AsCollected(platform::InputFile::OpenResult opened, const platform::InputFile& file,
                                     const FileRecord& record) {
  switch (opened) {
    case platform::InputFile::OpenResult::NotAFile: return FirstRead::Unhashed;
    case platform::InputFile::OpenResult::Failed: return FirstRead::Unreadable;
    case platform::InputFile::OpenResult::Opened: break;
  }
  if (file.Size() != record.size) return FirstRead::Changed;
  return std::nullopt;
}

std::optional<FirstRead> OpenAsCollected(platform::InputFile& file, const FileRecord& record) {
  std::string error;
  return AsCollected(file.Open(record.FullPath(), error), file, record);
}

}  // namespace

std::uint64_t ProcessCheckSeed() {
  static const std::uint64_t seed = [] {
    std::random_device random;
    return std::uint64_t{random()} << 32 ^ random() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  return seed;
}

UseWorkspace::UseWorkspace() : own_(std::make_unique<Workspace>()), previous_(tWorkspace) { tWorkspace = own_.get(); }

UseWorkspace::~UseWorkspace() { tWorkspace = previous_; }

namespace {

// Reads a batch, then finishes each read that stopped short of its length
// before the end of the file.
void ReadBatch(std::span<platform::BatchedRead> reads) {
  ThreadWorkspace().batch.ReadAll(reads);
  for (platform::BatchedRead& read : reads) {
    if (read.result > 0 && static_cast<std::size_t>(read.result) < read.length) {
      read.result = ReadFull(*read.file, static_cast<unsigned char*>(read.buffer), read.length,
                             static_cast<std::uint64_t>(read.offset), static_cast<std::size_t>(read.result));
    }
  }
}

// Room for `size` bytes in the arena from `used` on, page-aligned; nullptr when full.
unsigned char* TakeFromArena(std::size_t& used, std::size_t size) {
  constexpr std::size_t kPage = Workspace::kPage;
  if (used + size > Workspace::kArenaSize) return nullptr;
  unsigned char* at = ThreadWorkspace().arena.get() + used;
  used += (size + kPage - 1) / kPage * kPage;
  return at;
}

// The files of one batch: records [begin, begin + count), opened together.
struct OpenBatch {
  std::size_t begin = 0, count = 0;
  std::array<platform::InputFile, kBatchFiles> inputs;  // of each record
  std::array<std::size_t, kBatchFiles> open{};          // the records to read, by place in `inputs`
  std::size_t openCount = 0;

  // Opens the batch's records; each that is not to be read gets its result.
  template <class Record>
  void Open(std::span<Record* const> records, std::span<FirstRead> results) {
    std::array<std::string, kBatchFiles> paths;
    std::array<platform::BatchedOpen, kBatchFiles> opens;
    for (std::size_t i = 0; i < count; ++i) {
      paths[i] = records[begin + i]->FullPath();
      opens[i].file = &inputs[i];
      opens[i].path = &paths[i];
    }
    ThreadWorkspace().batch.OpenAll({opens.data(), count});
    openCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (const auto failed = AsCollected(opens[i].result, inputs[i], *records[begin + i])) {
        results[begin + i] = *failed;
      } else {
        open[openCount++] = i;
      }
    }
  }

  void Close() { ThreadWorkspace().batch.CloseAll({inputs.data(), count}); }
};

}  // namespace

void HashSmallFiles(std::span<FileRecord* const> records, std::span<FirstRead> results, const ReadControl& control) {
  Workspace& workspace = ThreadWorkspace();
  OpenBatch batch;
  std::array<unsigned char*, kBatchFiles> rooms{};  // of each record of the batch
  std::array<platform::BatchedRead, kBatchFiles> reads;
  while (batch.begin + batch.count < records.size()) {
    batch.begin += batch.count;
    batch.count = 0;
    std::size_t used = 0;
    while (batch.begin + batch.count < records.size() && batch.count < kBatchFiles) {
      const auto size = static_cast<std::size_t>(records[batch.begin + batch.count]->size);
      rooms[batch.count] = TakeFromArena(used, size);
      if (rooms[batch.count] == nullptr) break;  // the first of the next batch
      ++batch.count;
    }
    if (batch.count == 0) throw std::logic_error("HashSmallFiles: a file larger than one buffer");
    batch.Open(records, results);
    for (std::size_t k = 0; k < batch.openCount; ++k) {
      const std::size_t i = batch.open[k];
      reads[k] = {&batch.inputs[i], 0, rooms[i], static_cast<std::size_t>(records[batch.begin + i]->size)};
    }
    ReadBatch({reads.data(), batch.openCount});
    for (std::size_t k = 0; k < batch.openCount; ++k) {
      const std::size_t i = batch.open[k];
      FileRecord& record = *records[batch.begin + i];
      FirstRead& result = results[batch.begin + i];
      const platform::BatchedRead& read = reads[k];
      if (read.result < 0) {
        result = FirstRead::Unreadable;
      } else if (static_cast<std::size_t>(read.result) != read.length || !StillAsCollected(batch.inputs[i], record)) {
        result = FirstRead::Changed;  // shrank while read, or edited
      } else {
        const auto* bytes = static_cast<const unsigned char*>(read.buffer);
        workspace.sha1.Reset();
        workspace.sha1.Update(bytes, read.length);
        result =
            FinishSha1(workspace.sha1, control.hooks, record.contentHash) ? FirstRead::Hashed : FirstRead::Unreadable;
        if (result == FirstRead::Hashed) {
          record.contentCheck = CheckOf(XXH3_128bits_withSeed(bytes, read.length, control.checkSeed));
        }
      }
    }
    batch.Close();
  }
}

FirstRead DigestLargeFile(FileRecord& record, FastDigest& fast, const ReadControl& control) {
  platform::InputFile file;
  if (const auto failed = OpenAsCollected(file, record)) return *failed;
  Workspace& workspace = ThreadWorkspace();
  unsigned char* const buffer = workspace.buffer;
  const auto size = static_cast<std::uint64_t>(record.size);
  XXH3_state_t* const state = workspace.xxh3.get();
  XXH3_128bits_reset(state);
  std::uint64_t total = 0;
  for (std::size_t buffers = 1; total < size; ++buffers) {
    if (StopBetweenBuffers(control, buffers, total)) return FirstRead::Unhashed;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBufferSize, size - total));
    const std::int64_t n = ReadFull(file, buffer, want, total);
    if (n < 0) return FirstRead::Unreadable;
    if (n == 0) return FirstRead::Changed;  // shrank while read
    XXH3_128bits_update(state, buffer, static_cast<std::size_t>(n));
    total += static_cast<std::uint64_t>(n);
  }
  // Grown while read: its content is not the one collected.
  const std::int64_t beyond = ReadFull(file, workspace.compareBuffer, 1, total);
  if (beyond < 0) return FirstRead::Unreadable;
  if (beyond != 0 || !StillAsCollected(file, record)) return FirstRead::Changed;
  const XXH128_hash_t digest = XXH3_128bits_digest(state);
  fast = {static_cast<std::int64_t>(total), digest.high64, digest.low64};
  return FirstRead::Digested;
}

void DigestHeadsAndTails(std::span<const FileRecord* const> records, std::span<std::uint64_t> digests,
                         std::span<FirstRead> results, const ReadControl& control) {
  static_assert(2 * kBatchFiles <= platform::BatchReader::kMaxReads, "a head and a tail per file");
  static_assert(2 * kBatchFiles * kHeadCheckBytes <= Workspace::kArenaSize, "a batch fits the arena");
  unsigned char* const arena = ThreadWorkspace().arena.get();
  OpenBatch batch;
  std::array<platform::BatchedRead, 2 * kBatchFiles> reads;
  std::array<std::size_t, kBatchFiles> first{};  // by place in the batch: its head's read; its tail's follows
  while (batch.begin + batch.count < records.size()) {
    batch.begin += batch.count;
    batch.count = std::min(kBatchFiles, records.size() - batch.begin);
    batch.Open(records, results);
    std::size_t readCount = 0;
    for (std::size_t k = 0; k < batch.openCount; ++k) {
      const std::size_t i = batch.open[k];
      const FileRecord& record = *records[batch.begin + i];
      // Head and tail side by side, so one digest covers both.
      unsigned char* const room = arena + 2 * kHeadCheckBytes * i;
      first[i] = readCount;
      reads[readCount++] = {&batch.inputs[i], 0, room, kHeadCheckBytes};
      if (record.size > static_cast<std::int64_t>(kReadBufferSize)) {
        reads[readCount++] = {&batch.inputs[i], record.size - static_cast<std::int64_t>(kHeadCheckBytes),
                              room + kHeadCheckBytes, kHeadCheckBytes};
      }
    }
    ReadBatch({reads.data(), readCount});
    for (std::size_t k = 0; k < batch.openCount; ++k) {
      const std::size_t i = batch.open[k];
      const platform::BatchedRead& head = reads[first[i]];
      const bool hasTail = records[batch.begin + i]->size > static_cast<std::int64_t>(kReadBufferSize);
      FirstRead& result = results[batch.begin + i];
      if (head.result < 0) {
        result = FirstRead::Unreadable;
      } else if (head.result != static_cast<std::int64_t>(kHeadCheckBytes)) {
        result = FirstRead::Changed;
      } else if (hasTail && reads[first[i] + 1].result < 0) {
        result = FirstRead::Unreadable;
      } else if (hasTail && reads[first[i] + 1].result != head.result) {
        result = FirstRead::Changed;
      } else {
        digests[batch.begin + i] =
            XXH3_64bits_withSeed(head.buffer, (hasTail ? 2 : 1) * kHeadCheckBytes, control.checkSeed);
        result = FirstRead::Digested;
      }
    }
    batch.Close();
  }
}

void HashAlikeFiles(std::vector<FileRecord*> pending, const ReadControl& control, const std::function<void()>& complete,
                    const std::function<void(const FileRecord*, FirstRead)>& leftOut) {
  constexpr std::size_t kMaxOpen = 16;
  Workspace& workspace = ThreadWorkspace();
  unsigned char* const lead = workspace.buffer;
  unsigned char* const other = workspace.compareBuffer;
  std::array<platform::InputFile, kMaxOpen> inputs;
  std::array<FileRecord*, kMaxOpen> files{};
  std::array<bool, kMaxOpen> alike{};
  std::string error;
  while (!pending.empty() && !control.stop.load(std::memory_order_relaxed)) {
    std::size_t opened = 0, taken = 0;
    for (; taken < pending.size() && opened < kMaxOpen; ++taken) {
      FileRecord* file = pending[taken];
      const auto result = inputs[opened].Open(file->FullPath(), error);
      if (result == platform::InputFile::OpenResult::Opened) {
        files[opened++] = file;
        continue;
      }
      // Gone or unreadable: left unhashed, so it joins no content group.
      file->contentHash.clear();
      if (result == platform::InputFile::OpenResult::Failed) leftOut(file, FirstRead::Unreadable);
      complete();
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
    if (opened == 0) continue;

    std::fill(alike.begin(), alike.begin() + static_cast<std::ptrdiff_t>(opened), true);
    std::uint64_t total = 0;  // bytes of the leader read so far
    // Whether the next `n` bytes of file `i`, from `total` on, are the leader's.
    auto sameNext = [&](std::size_t i, std::size_t n) {
      if (!alike[i]) return;
      // At the leader's end, one more byte must not be there.
      const std::size_t want = n == 0 ? 1 : n;
      alike[i] =
          ReadFull(inputs[i], other, want, total) == static_cast<std::int64_t>(n) && std::memcmp(lead, other, n) == 0;
    };
    bool leaderRead = true, leaderFailed = false, stopped = false;
    workspace.sha1.Reset();
    XXH3_state_t* const check = workspace.xxh3.get();
    XXH3_128bits_reset_withSeed(check, control.checkSeed);
    const auto size = static_cast<std::uint64_t>(files[0]->size);
    for (std::size_t buffers = 1; leaderRead && total < size; ++buffers) {
      if (StopBetweenBuffers(control, buffers, total)) {
        stopped = true;
        break;
      }
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBufferSize, size - total));
      const std::int64_t n = ReadFull(inputs[0], lead, want, total);
      if (n < 0) {
        leaderRead = false;
        leaderFailed = true;
        break;
      }
      const auto read = static_cast<std::size_t>(n);
      workspace.sha1.Update(lead, read);
      XXH3_128bits_update(check, lead, read);
      for (std::size_t i = 1; i < opened; ++i) sameNext(i, read);
      total += read;
      leaderRead = read == want;
    }
    if (leaderRead && !stopped) {
      // Past the collected size no byte may follow, in the leader or the others.
      const std::int64_t beyond = ReadFull(inputs[0], lead, 1, total);
      leaderFailed = beyond < 0;
      leaderRead = beyond == 0;
      for (std::size_t i = 1; i < opened; ++i) sameNext(i, 0);
    }
    if (stopped) {
      for (std::size_t i = 0; i < opened; ++i) {
        files[i]->contentHash.clear();
        inputs[i].Close();
      }
      return;
    }
    // The digests are those of the bytes read, so they belong to every file
    // that matched them and is still what was collected, the leader or not.
    Sha1Digest digest;
    std::array<std::uint64_t, 2> digestCheck{};
    if (leaderRead && !FinishSha1(workspace.sha1, control.hooks, digest)) {
      leaderRead = false;
      leaderFailed = true;
    }
    if (leaderRead) digestCheck = CheckOf(XXH3_128bits_digest(check));
    auto settle = [&](std::size_t i) {
      if (StillAsCollected(inputs[i], *files[i])) {
        files[i]->contentHash = digest;
        files[i]->contentCheck = digestCheck;
      } else {
        files[i]->contentHash.clear();
        leftOut(files[i], FirstRead::Changed);
      }
      complete();
    };
    if (leaderRead) {
      settle(0);
    } else {
      // Failed, or shrank or grew while read.
      files[0]->contentHash.clear();
      leftOut(files[0], leaderFailed ? FirstRead::Unreadable : FirstRead::Changed);
      complete();
    }
    for (std::size_t i = 1; i < opened; ++i) {
      if (leaderRead && alike[i]) {
        settle(i);
      } else {
        pending.push_back(files[i]);
      }
    }
    for (std::size_t i = 0; i < opened; ++i) inputs[i].Close();
  }
}

std::string HashFileSHA1(const std::string& path) {
  const UseWorkspace use;
  platform::InputFile file;
  std::string error;
  switch (file.Open(path, error)) {
    case platform::InputFile::OpenResult::NotAFile: return {};
    case platform::InputFile::OpenResult::Failed: throw std::runtime_error(error);
    case platform::InputFile::OpenResult::Opened: break;
  }
  Workspace& workspace = ThreadWorkspace();
  workspace.sha1.Reset();
  // Up to the size the file had when opened, so one that keeps growing ends.
  for (auto left = static_cast<std::uint64_t>(file.Size()); left > 0;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBufferSize, left));
    const std::int64_t n = file.Read(workspace.buffer, want, error);
    if (n < 0) throw std::runtime_error("Cannot read file \"" + path + "\": " + error);
    if (n == 0) break;
    workspace.sha1.Update(workspace.buffer, static_cast<std::size_t>(n));
    left -= static_cast<std::uint64_t>(n);
  }
  std::array<unsigned char, Sha1Digest::kSize> digest;
  if (!workspace.sha1.Finish(digest)) throw std::runtime_error("Cannot read file \"" + path + "\": SHA-1 failed");
  return Sha1Digest(digest).Hex();
}

}  // namespace orvanta
