#include "fileclones/content_hashing.h"

#include <xxhash.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// Per-thread digest contexts and read buffer: allocating them per file costs
// more than hashing a small file.
struct HashWorkspace {
  static constexpr std::size_t kBufferSize = 256 * 1024;
  // Page-aligned: malloc returns a block this large 16 bytes past a page
  // boundary, and some processors copy from the page cache into such a buffer
  // five times slower.
  static constexpr std::align_val_t kAlignment{4096};
  struct AlignedDelete {
    void operator()(unsigned char* p) const { ::operator delete[](p, kAlignment); }
  };
  struct StateDelete {
    void operator()(XXH3_state_t* p) const { XXH3_freeState(p); }
  };

  HashWorkspace() {
    if (!xxh3) throw std::bad_alloc();
  }

  platform::Sha1 sha1;
  std::unique_ptr<XXH3_state_t, StateDelete> xxh3{XXH3_createState()};
  std::unique_ptr<unsigned char[], AlignedDelete> buffer{new (kAlignment) unsigned char[kBufferSize]};
  // The second read of a large file; the other side of a byte comparison.
  std::unique_ptr<unsigned char[], AlignedDelete> compareBuffer{new (kAlignment) unsigned char[kBufferSize]};
};

// The calling thread's workspace, owned by its stack: a thread_local object
// with a destructor crashes at thread exit under MinGW's runtime, so threads
// keep only a pointer.
thread_local HashWorkspace* tWorkspace = nullptr;

class UseWorkspace {
 public:
  UseWorkspace() : previous_(tWorkspace) { tWorkspace = &own_; }
  ~UseWorkspace() { tWorkspace = previous_; }
  UseWorkspace(const UseWorkspace&) = delete;
  UseWorkspace& operator=(const UseWorkspace&) = delete;

 private:
  HashWorkspace own_;
  HashWorkspace* previous_;
};

HashWorkspace& Workspace() { return *tWorkspace; }

// Large reads look at the stop flag after this many buffers (4 MiB), so Stop
// takes effect within a fraction of a second on any file.
constexpr std::size_t kBuffersBetweenStopChecks = 16;

// Looked at inside long reads. One by one, the reading thread is the window's,
// so it also pumps: Stop is a button the window must get to handle.
struct StopPoll {
  const std::atomic<bool>& stop;
  ScanHost* pump = nullptr;

  bool operator()() const {
    if (pump != nullptr) pump->PumpMessages();
    return stop.load(std::memory_order_relaxed);
  }
};

std::atomic<const char*> gSha1Override{nullptr};

void FinishSha1(platform::Sha1& sha1, Sha1Digest& hash) {
  hash = Sha1Digest(sha1.Finish());
  if (const char* forced = gSha1Override.load(std::memory_order_relaxed)) hash = forced;
}

// Drawn once per process, so no one can prepare files whose checks agree.
std::uint64_t CheckSeed() {
  static const std::uint64_t seed = [] {
    std::random_device random;
    return std::uint64_t{random()} << 32 ^ random() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  return seed;
}

std::array<std::uint64_t, 2> CheckOf(XXH128_hash_t digest) { return {digest.high64, digest.low64}; }

// Files sharing a size with another collected file. They are read in
// collection order, so the files of one folder are read one after another.
std::vector<FileRecord*> BuildHashTargets(const ScanContext& scan) {
  std::vector<std::pair<std::int64_t, std::uint32_t>> sizes;  // size, index in files
  sizes.reserve(scan.files.size());
  for (std::size_t i = 0; i < scan.files.size(); ++i) {
    if (scan.StopRequested()) return {};
    if (scan.files[i].size >= 1) sizes.emplace_back(scan.files[i].size, static_cast<std::uint32_t>(i));
  }
  std::sort(sizes.begin(), sizes.end());
  std::vector<std::uint32_t> indexes;
  for (std::size_t begin = 0, end = 0; begin < sizes.size(); begin = end) {
    if (scan.StopRequested()) return {};
    for (end = begin + 1; end < sizes.size() && sizes[end].first == sizes[begin].first;) ++end;
    if (end - begin < 2) continue;
    for (std::size_t i = begin; i < end; ++i) indexes.push_back(sizes[i].second);
  }
  std::sort(indexes.begin(), indexes.end());
  std::vector<FileRecord*> targets;
  targets.reserve(indexes.size());
  for (const std::uint32_t index : indexes) targets.push_back(&scan.files[index]);
  return targets;
}

// Fills `buffer` with up to `capacity` bytes, fewer only at the end of the
// file; -1 when reading failed.
std::int64_t ReadFull(platform::InputFile& file, unsigned char* buffer, std::size_t capacity) {
  std::size_t filled = 0;
  std::string error;
  while (filled < capacity) {
    const std::int64_t n = file.Read(buffer + filled, capacity - filled, error);
    if (n < 0) return -1;
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(filled);
}

// XXH3-128 over the whole content of a file larger than one buffer, with the
// number of bytes read. Equal contents give equal digests, so a digest no
// other large file has proves that no other file has that content; SHA-1
// stays the only key files are grouped by.
struct FastDigest {
  std::int64_t length = 0;
  XXH128_hash_t xxh3{};

  std::tuple<std::int64_t, XXH64_hash_t, XXH64_hash_t> Key() const { return {length, xxh3.high64, xxh3.low64}; }
};

enum class FirstRead {
  Hashed,      // a file of at most one buffer: SHA-1 and check set
  Digested,    // a larger file: its fast digest set
  Unhashed,    // gone, changed since it was collected, or Stop came
  Unreadable,  // could not be opened or read
};

// Reads a collected file, never past the size it had then. One of at most one
// buffer gets its SHA-1 and check from one open and one read; a larger one is
// streamed through XXH3 into `fast`, looking at the stop flag as it goes.
FirstRead HashSmallOrDigestLarge(FileRecord& record, FastDigest& fast, const StopPoll& stopped) {
  platform::InputFile file;
  std::string error;
  switch (file.Open(record.FullPath(), error)) {
    case platform::InputFile::OpenResult::NotAFile: return FirstRead::Unhashed;
    case platform::InputFile::OpenResult::Failed: return FirstRead::Unreadable;
    case platform::InputFile::OpenResult::Opened: break;
  }
  if (file.Size() != record.size) return FirstRead::Unhashed;
  HashWorkspace& workspace = Workspace();
  unsigned char* const buffer = workspace.buffer.get();
  constexpr std::size_t kBufferSize = HashWorkspace::kBufferSize;
  const auto size = static_cast<std::uint64_t>(record.size);
  if (size <= kBufferSize) {
    const std::int64_t filled = ReadFull(file, buffer, static_cast<std::size_t>(size));
    if (filled < 0) return FirstRead::Unreadable;
    if (static_cast<std::uint64_t>(filled) != size) return FirstRead::Unhashed;  // shrank while read
    workspace.sha1.Reset();
    workspace.sha1.Update(buffer, static_cast<std::size_t>(filled));
    FinishSha1(workspace.sha1, record.contentHash);
    record.contentCheck = CheckOf(XXH3_128bits_withSeed(buffer, static_cast<std::size_t>(filled), CheckSeed()));
    return FirstRead::Hashed;
  }
  XXH3_state_t* const state = workspace.xxh3.get();
  XXH3_128bits_reset(state);
  std::uint64_t total = 0;
  for (std::size_t buffers = 1; total < size; ++buffers) {
    if (buffers % kBuffersBetweenStopChecks == 0 && stopped()) return FirstRead::Unhashed;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, size - total));
    const std::int64_t n = ReadFull(file, buffer, want);
    if (n < 0) return FirstRead::Unreadable;
    if (n == 0) return FirstRead::Unhashed;  // shrank while read
    XXH3_128bits_update(state, buffer, static_cast<std::size_t>(n));
    total += static_cast<std::uint64_t>(n);
  }
  // Grown while read: its content is not the one collected.
  const std::int64_t beyond = ReadFull(file, workspace.compareBuffer.get(), 1);
  if (beyond < 0) return FirstRead::Unreadable;
  if (beyond != 0) return FirstRead::Unhashed;
  fast = {static_cast<std::int64_t>(total), XXH3_128bits_digest(state)};
  return FirstRead::Digested;
}

// Files with equal fast digests and sizes, almost surely equal. SHA-1 and the
// check are computed once, for the first file of a round, while the others
// are compared with it byte by byte, several times cheaper than hashing them;
// each that matched every byte gets the digests of exactly those bytes. A file
// that differs, or could not be read, goes to a later round, where it may
// lead. Every round settles its leader, so the rounds end. Reads stop at the
// collected size; a file that shrank or grew meanwhile stays unhashed, and
// one that could not be opened or read as leader is passed to `unreadable`.
template <typename Complete, typename Unreadable>
void HashAlikeFiles(std::vector<FileRecord*> pending, const StopPoll& stopPoll, Complete&& complete,
                    Unreadable&& unreadable) {
  constexpr std::size_t kMaxOpen = 16;
  constexpr std::size_t kBufferSize = HashWorkspace::kBufferSize;
  HashWorkspace& workspace = Workspace();
  unsigned char* const lead = workspace.buffer.get();
  unsigned char* const other = workspace.compareBuffer.get();
  std::array<platform::InputFile, kMaxOpen> inputs;
  std::array<FileRecord*, kMaxOpen> files{};
  std::array<bool, kMaxOpen> alike{};
  std::string error;
  while (!pending.empty() && !stopPoll.stop.load(std::memory_order_relaxed)) {
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
      if (result == platform::InputFile::OpenResult::Failed) unreadable(file);
      complete();
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
    if (opened == 0) continue;

    std::fill(alike.begin(), alike.begin() + static_cast<std::ptrdiff_t>(opened), true);
    auto sameNext = [&](std::size_t i, std::size_t n) {
      if (!alike[i]) return;
      // At the leader's end, one more byte must not be there.
      const std::size_t want = n == 0 ? 1 : n;
      alike[i] = ReadFull(inputs[i], other, want) == static_cast<std::int64_t>(n) && std::memcmp(lead, other, n) == 0;
    };
    bool leaderRead = true, leaderFailed = false, stopped = false;
    workspace.sha1.Reset();
    XXH3_state_t* const check = workspace.xxh3.get();
    XXH3_128bits_reset_withSeed(check, CheckSeed());
    const auto size = static_cast<std::uint64_t>(files[0]->size);
    std::uint64_t total = 0;
    for (std::size_t buffers = 1; leaderRead && total < size; ++buffers) {
      if (buffers % kBuffersBetweenStopChecks == 0 && stopPoll()) {
        stopped = true;
        break;
      }
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, size - total));
      const std::int64_t n = ReadFull(inputs[0], lead, want);
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
      const std::int64_t beyond = ReadFull(inputs[0], lead, 1);
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
    if (leaderRead) {
      FinishSha1(workspace.sha1, files[0]->contentHash);
      files[0]->contentCheck = CheckOf(XXH3_128bits_digest(check));
    } else {
      files[0]->contentHash.clear();
      if (leaderFailed) unreadable(files[0]);
    }
    complete();
    for (std::size_t i = 1; i < opened; ++i) {
      if (leaderRead && alike[i]) {
        files[i]->contentHash = files[0]->contentHash;
        files[i]->contentCheck = files[0]->contentCheck;
        complete();
      } else {
        pending.push_back(files[i]);
      }
    }
    for (std::size_t i = 0; i < opened; ++i) inputs[i].Close();
  }
}

// What the first pass learnt of a target.
enum Stage : std::uint8_t {
  kNotReached,    // Stop came first
  kFinished,      // hashed from its first buffer, gone, or changed
  kUnreadable,    // could not be opened or read
  kLarge,         // larger than one buffer; its fast digest is in its slot
  kHashedBefore,  // had a digest on entry
};

// Large targets of one fast digest, to be hashed together; or a single one,
// hashed only when `hash` says so.
struct SecondPassItem {
  std::uint32_t begin, end;  // in secondPassTargets
  bool hash;
};

// Shared by the workers and the polling thread. While workers run, only the
// atomics and the entries of what each worker claimed change.
struct HashingState {
  HashingState(const std::vector<FileRecord*>& targets, const std::atomic<bool>& stop, ScanHost* pump)
      : hashTargets(targets), stopRequested(stop), stopPoll{stop, pump}, stage(targets.size(), kNotReached) {
    // Only files collected larger than one buffer get a slot: a digest per
    // target would cost memory on trees of many small files.
    for (std::size_t i = 0; i < targets.size(); ++i) {
      if (targets[i]->size > static_cast<std::int64_t>(HashWorkspace::kBufferSize)) {
        largeCandidates.push_back(static_cast<std::uint32_t>(i));
      }
    }
    fastDigests.resize(largeCandidates.size());
  }

  const std::vector<FileRecord*>& hashTargets;
  const std::atomic<bool>& stopRequested;
  StopPoll stopPoll;
  std::vector<std::uint8_t> stage;             // per target
  std::vector<std::uint32_t> largeCandidates;  // positions, ascending
  std::vector<FastDigest> fastDigests;         // per large candidate
  std::vector<std::uint32_t> secondPassTargets;
  std::vector<SecondPassItem> secondPass;
  std::atomic<int> nextIndex{-1};
  std::atomic<int> completedCount{0};
  std::atomic<int> finishedWorkers{0};
  std::atomic<bool> abandoned{false};  // the polling thread failed: claim nothing more
};

template <typename Complete>
void FirstPass(HashingState& state, std::size_t position, Complete&& complete) {
  FileRecord& file = *state.hashTargets[position];
  std::uint8_t& stage = state.stage[position];
  if (!file.contentHash.empty()) {
    stage = kHashedBefore;
    complete();
    return;
  }
  FastDigest fast;
  const FirstRead read = HashSmallOrDigestLarge(file, fast, state.stopPoll);
  if (read != FirstRead::Digested) {
    // Gone, changed or unreadable: left unhashed, so it joins no content group.
    if (read != FirstRead::Hashed) file.contentHash.clear();
    stage = read == FirstRead::Unreadable ? kUnreadable : kFinished;
    complete();
    return;
  }
  // A large file completes in the second pass. Only a file collected larger
  // than a buffer gets here, and each such file has a slot.
  const auto& candidates = state.largeCandidates;
  const auto slot = std::lower_bound(candidates.begin(), candidates.end(), position);
  state.fastDigests[static_cast<std::size_t>(slot - candidates.begin())] = fast;
  stage = kLarge;
}

template <typename Complete>
void SecondPass(HashingState& state, std::size_t index, Complete&& complete) {
  const SecondPassItem& item = state.secondPass[index];
  if (!item.hash) {
    complete();
    return;
  }
  std::vector<FileRecord*> files;
  for (std::uint32_t i = item.begin; i < item.end; ++i) files.push_back(state.hashTargets[state.secondPassTargets[i]]);
  // Rare: a file that read well in the first pass and fails now.
  auto unreadable = [&state, &item](const FileRecord* file) {
    for (std::uint32_t i = item.begin; i < item.end; ++i) {
      const std::uint32_t position = state.secondPassTargets[i];
      if (state.hashTargets[position] == file) state.stage[position] = kUnreadable;
    }
  };
  HashAlikeFiles(std::move(files), state.stopPoll, complete, unreadable);
}

// After the first pass: the large targets by fast digest. Those sharing one
// get their SHA-1; one whose digest no other has keeps an empty digest, as no
// collected file can have its content (a small file's fits in one buffer).
void PlanSecondPass(HashingState& state) {
  const std::vector<std::uint8_t>& stage = state.stage;
  // A digest from an earlier call has no fast digest to compare with: then
  // every large target gets its SHA-1.
  const bool hashAll = std::any_of(stage.begin(), stage.end(), [](std::uint8_t s) { return s == kHashedBefore; });
  std::vector<std::pair<decltype(FastDigest{}.Key()), std::uint32_t>> keyed;  // key, position
  for (std::size_t slot = 0; slot < state.largeCandidates.size(); ++slot) {
    const std::uint32_t position = state.largeCandidates[slot];
    if (stage[position] == kLarge) keyed.emplace_back(state.fastDigests[slot].Key(), position);
  }
  std::sort(keyed.begin(), keyed.end());
  auto& targets = state.secondPassTargets;
  auto& items = state.secondPass;
  for (std::size_t begin = 0, end = 0; begin < keyed.size(); begin = end) {
    for (end = begin + 1; end < keyed.size() && keyed[end].first == keyed[begin].first;) ++end;
    const auto first = static_cast<std::uint32_t>(targets.size());
    for (std::size_t i = begin; i < end; ++i) targets.push_back(keyed[i].second);
    items.push_back({first, static_cast<std::uint32_t>(targets.size()), hashAll || end - begin >= 2});
  }
  // In collection order of their first files.
  std::sort(items.begin(), items.end(),
            [&](const auto& a, const auto& b) { return targets[a.begin] < targets[b.begin]; });
}

enum class Pass { First, Second };

void HashWorker(HashingState& state, Pass pass, int count) {
  const UseWorkspace workspace;
  auto complete = [&state] { state.completedCount.fetch_add(1, std::memory_order_relaxed); };
  while (!state.stopRequested.load(std::memory_order_relaxed) && !state.abandoned.load(std::memory_order_relaxed)) {
    const int index = state.nextIndex.fetch_add(1, std::memory_order_relaxed) + 1;
    if (index >= count) break;
    if (pass == Pass::First) {
      FirstPass(state, static_cast<std::size_t>(index), complete);
    } else {
      SecondPass(state, static_cast<std::size_t>(index), complete);
    }
  }
  // Release: the polling thread reads the results only after seeing every worker finished.
  state.finishedWorkers.fetch_add(1, std::memory_order_release);
}

// Joins every worker however the polling ends, so no worker outlives the targets.
class WorkerGroup {
 public:
  explicit WorkerGroup(HashingState& state) : state_(state) {}
  ~WorkerGroup() {
    if (std::uncaught_exceptions() > 0) state_.abandoned = true;
    Join();
  }
  WorkerGroup(const WorkerGroup&) = delete;
  WorkerGroup& operator=(const WorkerGroup&) = delete;

  // One pass over `count` items; no worker may be running.
  void Start(int workerCount, Pass pass, int count) {
    count_ = count;
    pass_ = pass;
    state_.nextIndex = -1;
    state_.finishedWorkers = 0;
    Add(workerCount);
  }
  // More workers for the pass under way; they claim from the same counter.
  void Add(int workerCount) {
    for (int i = 0; i < workerCount; ++i) workers_.emplace_back(HashWorker, std::ref(state_), pass_, count_);
  }
  int Count() const { return static_cast<int>(workers_.size()); }
  void Join() {
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }
  bool AllFinished() const {
    return state_.finishedWorkers.load(std::memory_order_acquire) == static_cast<int>(workers_.size());
  }
  bool AllClaimed() const { return state_.nextIndex.load(std::memory_order_relaxed) + 1 >= count_; }

 private:
  HashingState& state_;
  int count_ = 0;
  Pass pass_ = Pass::First;
  std::vector<std::thread> workers_;
};

// On a cold cache the workers wait for the disk and leave the processors
// idle, and the disk answers sooner with more reads in flight: then more
// workers are started, up to four per processor. A warm cache keeps the
// processors busy, and no worker is added.
class ReaderScaling {
 public:
  explicit ReaderScaling(int processors) : processors_(processors) {}

  // Workers to add now, judged by the processor time used since the last call.
  int MoreWorkers(const WorkerGroup& workers) {
    const auto now = std::chrono::steady_clock::now();
    const double cpu = platform::ProcessCpuSeconds();
    const double wall = std::chrono::duration<double>(now - lastTime_).count();
    const double busy = wall > 0 ? (cpu - lastCpu_) / wall : processors_;
    lastTime_ = now;
    lastCpu_ = cpu;
    const bool waiting = busy < 0.5 * processors_;
    return waiting && !workers.AllClaimed() && workers.Count() < kMaxPerProcessor * processors_ ? processors_ : 0;
  }

 private:
  static constexpr int kMaxPerProcessor = 4;
  int processors_;
  std::chrono::steady_clock::time_point lastTime_ = std::chrono::steady_clock::now();
  double lastCpu_ = platform::ProcessCpuSeconds();
};

void HashInParallel(ScanContext& scan, HashingState& state) {
  ScanHost& window = scan.window;
  const int count = static_cast<int>(state.hashTargets.size());
  window.SetProgressRange(0, count);
  window.SetProgressPosition(0);
  {
    WorkerGroup workers(state);
    const auto processors = static_cast<int>(platform::LogicalProcessorCount());
    ReaderScaling scaling(processors);
    workers.Start(processors, Pass::First, count);
    bool secondPassStarted = false;
    for (;;) {
      const int completed = state.completedCount.load(std::memory_order_relaxed);
      window.SetProgressPosition(completed);
      const std::string text = scan.StopRequested() ? TranslateText("Stopping SHA-1 hashing... %d / %d")
                                                    : TranslateText("Computing SHA-1 hashes (size filtered)... %d / %d");
      ShowStatus(window, FormatText(text, {std::int64_t{completed}, std::int64_t{count}}));
      if (workers.AllFinished()) {
        if (secondPassStarted || scan.StopRequested()) break;
        // As many workers again: a cold disk stays cold.
        const int workerCount = workers.Count();
        workers.Join();
        PlanSecondPass(state);
        if (state.secondPass.empty()) break;
        workers.Start(workerCount, Pass::Second, static_cast<int>(state.secondPass.size()));
        secondPassStarted = true;
      }
      // The next poll in 30 ms; meanwhile look every few milliseconds whether
      // the workers finished, every millisecond once the pass has no item
      // left to claim, so that neither the second pass nor the caller waits
      // out the interval.
      const auto nextPoll = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
      while (!workers.AllFinished() && std::chrono::steady_clock::now() < nextPoll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(workers.AllClaimed() ? 1 : 5));
      }
      if (!scan.StopRequested()) workers.Add(scaling.MoreWorkers(workers));
    }
  }
  window.SetProgressPosition(state.completedCount.load());
}

void HashOneByOne(ScanContext& scan, HashingState& state) {
  const UseWorkspace workspace;
  ScanHost& window = scan.window;
  const std::vector<FileRecord*>& targets = state.hashTargets;
  const int count = static_cast<int>(targets.size());
  window.SetProgressPosition(0);
  StageProgress progress(window, count, {.every = 10, .first = 1, .showLast = true});
  int completed = 0;
  auto complete = [&] {
    ++completed;
    progress.Step(completed, [&] {
      return FormatText(TranslateText("Computing SHA-1 hashes (size filtered)... %d / %d"),
                        {std::int64_t{completed}, std::int64_t{count}});
    });
  };
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (scan.StopRequested()) return;
    const int before = completed;
    FirstPass(state, i, complete);
    // A large file completes only in the second pass; its read is long
    // enough that the window must answer, and Stop be seen, meanwhile.
    if (completed == before) window.PumpMessages();
  }
  if (scan.StopRequested()) return;
  PlanSecondPass(state);
  for (std::size_t i = 0; i < state.secondPass.size(); ++i) {
    if (scan.StopRequested()) return;
    SecondPass(state, i, complete);
  }
}

// Files that could not be opened or read join no group; the stage says how
// many, and the host may name them.
void ReportUnreadable(ScanContext& scan, const HashingState& state) {
  std::int64_t count = 0;
  for (std::size_t i = 0; i < state.stage.size(); ++i) {
    if (state.stage[i] != kUnreadable) continue;
    ++count;
    if (scan.unreadableFiles != nullptr) scan.unreadableFiles->push_back(state.hashTargets[i]->FullPath());
  }
  if (count > 0) scan.window.SetStatusText(FormatText(TranslateText("%d files could not be read."), {count}));
}

}  // namespace

std::string HashFileSHA1(const std::string& path) {
  const UseWorkspace use;
  platform::InputFile file;
  std::string error;
  switch (file.Open(path, error)) {
    case platform::InputFile::OpenResult::NotAFile: return {};
    case platform::InputFile::OpenResult::Failed: throw std::runtime_error(error);
    case platform::InputFile::OpenResult::Opened: break;
  }
  HashWorkspace& workspace = Workspace();
  workspace.sha1.Reset();
  // Up to the size the file had when opened, so one that keeps growing ends.
  for (auto left = static_cast<std::uint64_t>(file.Size()); left > 0;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(HashWorkspace::kBufferSize, left));
    const std::int64_t n = file.Read(workspace.buffer.get(), want, error);
    if (n < 0) throw std::runtime_error("Cannot read file \"" + path + "\": " + error);
    if (n == 0) break;
    workspace.sha1.Update(workspace.buffer.get(), static_cast<std::size_t>(n));
    left -= static_cast<std::uint64_t>(n);
  }
  Sha1Digest hash;
  FinishSha1(workspace.sha1, hash);
  return hash.Hex();
}

void ForceSha1ForTesting(const char* digest) { gSha1Override.store(digest, std::memory_order_relaxed); }

void ComputeAllHashes(ScanContext& scan) {
  if (scan.files.empty()) return;
  ScanHost& window = scan.window;
  ShowStatus(window, TranslateText("Computing SHA-1 hashes (size filtered)..."));

  const std::vector<FileRecord*> targets = BuildHashTargets(scan);
  if (!targets.empty() && !scan.StopRequested()) {
    HashingState state(targets, scan.stopRequested, scan.settings.ParallelHashing() ? nullptr : &window);
    if (scan.settings.ParallelHashing()) {
      HashInParallel(scan, state);
    } else {
      HashOneByOne(scan, state);
    }
    ReportUnreadable(scan, state);
  }
  window.SetProgressPosition(0);
}

}  // namespace orvanta
