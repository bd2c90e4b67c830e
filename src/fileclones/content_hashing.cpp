#include "fileclones/content_hashing.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "core/worker_pool.h"
#include "fileclones/digest_cache.h"
#include "fileclones/hash_plan.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// The slot of a target among candidates (positions, ascending); their count
// when it is not one of them.
std::size_t SlotIn(const std::vector<std::uint32_t>& candidates, std::size_t position) {
  const auto at = std::lower_bound(candidates.begin(), candidates.end(), position);
  return at != candidates.end() && *at == position ? static_cast<std::size_t>(at - candidates.begin())
                                                   : candidates.size();
}

// Shared by the workers and the polling thread. While workers run, only the
// atomics and the entries of what each worker claimed change.
struct HashingState {
  HashingState(const std::vector<FileRecord*>& targets, bool every, const std::atomic<bool>& stop, ScanHost* pump,
               const HashingOptions& options)
      : hashTargets(targets),
        hashEvery(every),
        stopRequested(stop),
        control{stop, pump, options.reads, options.cache != nullptr ? options.cache->CheckKey() : ProcessCheckSeed()},
        stage(targets.size(), kNotReached),
        fromCache(options.cache != nullptr ? targets.size() : 0, 0),
        headCandidates(every ? std::vector<std::uint32_t>() : HeadCandidates(targets)),
        headDigests(headCandidates.size()),
        headKnown(headCandidates.size(), 0),
        largeCandidates(LargeCandidates(targets)),
        fastDigests(largeCandidates.size()) {}

  // The slot of a large candidate.
  std::size_t SlotOf(std::size_t position) const { return SlotIn(largeCandidates, position); }
  void CompleteOne() { completedCount.fetch_add(1, std::memory_order_relaxed); }
  // The head candidate slot of a target; headCandidates.size() for none.
  std::size_t HeadSlotOf(std::size_t position) const { return SlotIn(headCandidates, position); }
  bool FromCache(std::size_t position) const { return !fromCache.empty() && fromCache[position] != 0; }

  const std::vector<FileRecord*>& hashTargets;
  const bool hashEvery;  // a large target with a fast digest no other has is hashed too
  const std::atomic<bool>& stopRequested;
  ReadControl control;
  std::vector<std::uint8_t> stage;             // per target
  std::vector<std::uint8_t> fromCache;         // per target with a cache: its digests came from there, unread
  std::vector<std::uint32_t> headCandidates;   // positions, ascending; none when every file is to be hashed
  std::vector<std::uint64_t> headDigests;      // per head candidate
  std::vector<std::uint8_t> headKnown;         // per head candidate: its digest read or from the cache
  std::vector<std::uint32_t> largeCandidates;  // positions, ascending
  std::vector<FastDigest> fastDigests;         // per large candidate
  SecondPassPlan secondPass;
  std::atomic<int> nextIndex{-1};
  std::atomic<int> completedCount{0};
};

// The stage a read that gave no digest leaves its file in.
std::uint8_t StageAfter(FirstRead read) {
  return read == FirstRead::Unreadable ? kUnreadable : read == FirstRead::Changed ? kChanged : kFinished;
}

// Digests the heads and tails of the head candidates in slots [begin, end),
// read together; one that cannot be read is settled here.
void HeadPass(HashingState& state, std::size_t begin, std::size_t end, const std::function<void()>& complete) {
  std::array<const FileRecord*, kBatchFiles> files;
  std::array<std::size_t, kBatchFiles> slots;
  std::array<std::uint64_t, kBatchFiles> digests;
  std::array<FirstRead, kBatchFiles> reads;
  std::size_t count = 0;
  for (std::size_t slot = begin; slot < end; ++slot) {
    const std::size_t position = state.headCandidates[slot];
    const FileRecord& file = *state.hashTargets[position];
    if (state.stage[position] != kNotReached || !file.contentHash.empty())
      continue;  // answered by the cache, or hashed before
    files[count] = &file;
    slots[count++] = slot;
  }
  DigestHeadsAndTails({files.data(), count}, {digests.data(), count}, {reads.data(), count}, state.control);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t slot = slots[i];
    std::uint8_t& stage = state.stage[state.headCandidates[slot]];
    if (reads[i] == FirstRead::Digested) {
      state.headDigests[slot] = digests[i];
      stage = kHeadRead;
      state.headKnown[slot] = 1;
    } else {
      stage = StageAfter(reads[i]);
      complete();
    }
  }
}

// Settles the head candidates whose content no other target can have: they
// keep no digest, as a large file whose fast digest no other shares.
void SettleUniqueHeads(HashingState& state, const std::function<void()>& complete) {
  for (const std::uint32_t slot :
       UniqueHeads(state.hashTargets, state.stage, state.headCandidates, state.headDigests, state.headKnown)) {
    state.stage[state.headCandidates[slot]] = kFinished;
    complete();
  }
}

// Reads the targets at positions [begin, end) that are still to be read: the
// small ones together, which settles them; a large one streamed on its own
// into its fast digest, which the second pass compares.
void FirstPass(HashingState& state, std::size_t begin, std::size_t end, const std::function<void()>& complete) {
  std::array<FileRecord*, kBatchFiles> small;
  std::array<std::size_t, kBatchFiles> smallPositions;
  std::size_t smallCount = 0;
  for (std::size_t position = begin; position < end; ++position) {
    FileRecord& file = *state.hashTargets[position];
    std::uint8_t& stage = state.stage[position];
    // Answered by the cache: a small file is done, a large one has its fast digest.
    if (stage == kFromCache) {
      complete();
      continue;
    }
    if (stage == kLarge) continue;
    if (stage != kNotReached && stage != kHeadRead) continue;      // settled in the head pass
    if (state.FromCache(position)) state.fromCache[position] = 0;  // only its head was there: read after all
    if (!file.contentHash.empty()) {
      stage = kHashedBefore;
      complete();
      continue;
    }
    if (file.size <= static_cast<std::int64_t>(kReadBufferSize)) {
      small[smallCount] = &file;
      smallPositions[smallCount++] = position;
      continue;
    }
    // A large read looks at Stop only every few MiB: none starts after it.
    if (state.stopRequested.load(std::memory_order_relaxed)) break;
    FastDigest fast;
    const FirstRead read = DigestLargeFile(file, fast, state.control);
    if (read != FirstRead::Digested) {
      // Gone, changed or unreadable: left unhashed, so it joins no content group.
      file.contentHash.clear();
      stage = StageAfter(read);
      complete();
      continue;
    }
    // A large file completes in the second pass. Only a file collected larger
    // than a buffer gets here, and each such file has a slot.
    state.fastDigests[state.SlotOf(position)] = fast;
    stage = kLarge;
  }
  std::array<FirstRead, kBatchFiles> reads;
  HashSmallFiles({small.data(), smallCount}, {reads.data(), smallCount}, state.control);
  for (std::size_t i = 0; i < smallCount; ++i) {
    if (reads[i] != FirstRead::Hashed) small[i]->contentHash.clear();
    state.stage[smallPositions[i]] = StageAfter(reads[i]);
    complete();
  }
}

void SecondPass(HashingState& state, std::size_t index, const std::function<void()>& complete) {
  const SecondPassItem& item = state.secondPass.items[index];
  const std::vector<std::uint32_t>& positions = state.secondPass.targets;
  // A large file gets a digest only here, so one the cache gave its SHA-1 had
  // that set on entry; a file whose content no other shares keeps none, as
  // when the scan reads it.
  if (!item.hash) {
    state.hashTargets[positions[item.begin]]->contentHash.clear();
    complete();
    return;
  }
  std::vector<FileRecord*> files;
  for (std::uint32_t i = item.begin; i < item.end; ++i) {
    FileRecord* file = state.hashTargets[positions[i]];
    if (!file->contentHash.empty()) {
      complete();
      continue;
    }
    if (state.FromCache(positions[i])) state.fromCache[positions[i]] = 0;  // read after all
    files.push_back(file);
  }
  if (files.empty()) return;
  // Rare: a file that read well in the first pass and fails or changes now.
  auto leftOut = [&state, &item, &positions](const FileRecord* file, FirstRead why) {
    for (std::uint32_t i = item.begin; i < item.end; ++i) {
      if (state.hashTargets[positions[i]] == file)
        state.stage[positions[i]] = why == FirstRead::Unreadable ? kUnreadable : kChanged;
    }
  };
  HashAlikeFiles(std::move(files), state.control, complete, leftOut);
}

void PlanSecondPass(HashingState& state) {
  state.secondPass = PlanSecondPass(state.stage, state.largeCandidates, state.fastDigests, state.hashEvery);
}

enum class Pass { Head, First, Second };

// The items a pass has: head candidates, targets or second-pass groups.
std::size_t ItemsOf(const HashingState& state, Pass pass) {
  return pass == Pass::Head    ? state.headCandidates.size()
         : pass == Pass::First ? state.hashTargets.size()
                               : state.secondPass.items.size();
}

// Where the claims of a pass begin, and where the last one ends. The first
// passes claim up to kBatchFiles neighbours at a time, read together; in the
// first pass a large file still to be read ends its claim, so that long reads
// go to different workers. The second pass claims one group at a time.
std::vector<std::uint32_t> ClaimBounds(const HashingState& state, Pass pass) {
  const auto items = static_cast<std::uint32_t>(ItemsOf(state, pass));
  std::vector<std::uint32_t> bounds{0};
  for (std::uint32_t item = 0, begin = 0; item < items; ++item) {
    bool ends = pass == Pass::Second || item + 1 - begin == kBatchFiles;
    if (pass == Pass::First) {
      const FileRecord& file = *state.hashTargets[item];
      const std::uint8_t stage = state.stage[item];
      ends = ends || (file.size > static_cast<std::int64_t>(kReadBufferSize) &&
                      (stage == kNotReached || stage == kHeadRead) && file.contentHash.empty());
    }
    if (ends || item + 1 == items) {
      bounds.push_back(item + 1);
      begin = item + 1;
    }
  }
  return bounds;
}

// Claims the pass's claims until none is left, Stop comes or a sibling failed.
void HashWorker(HashingState& state, const WorkerPool& pool, Pass pass, const std::vector<std::uint32_t>& bounds) {
  const UseWorkspace workspace;
  const std::function<void()> complete = [&state] { state.CompleteOne(); };
  const auto claims = static_cast<int>(bounds.size()) - 1;
  while (!state.stopRequested.load(std::memory_order_relaxed) && !pool.Stopping()) {
    const int index = state.nextIndex.fetch_add(1, std::memory_order_relaxed) + 1;
    if (index >= claims) break;
    const std::size_t begin = bounds[static_cast<std::size_t>(index)];
    const std::size_t end = bounds[static_cast<std::size_t>(index) + 1];
    if (pass == Pass::Head) {
      HeadPass(state, begin, end, complete);
    } else if (pass == Pass::First) {
      FirstPass(state, begin, end, complete);
    } else {
      for (std::size_t item = begin; item < end; ++item) SecondPass(state, item, complete);
    }
  }
}

void HashInParallel(ScanContext& scan, HashingState& state, const HashingOptions& options) {
  ScanHost& window = scan.window;
  const int count = static_cast<int>(state.hashTargets.size());
  window.SetProgressRange(0, count);
  window.SetProgressPosition(0);
  {
    // Torn down before `state`: however the polling ends, no worker outlives it.
    WorkerPool workers;
    Pass pass = state.headCandidates.empty() ? Pass::First : Pass::Head;
    std::vector<std::uint32_t> bounds = ClaimBounds(state, pass);
    auto addWorkers = [&](int workerCount) {
      workers.Add(workerCount, [&state, &workers, pass, &bounds] { HashWorker(state, workers, pass, bounds); });
    };
    auto allClaimed = [&] {
      return state.nextIndex.load(std::memory_order_relaxed) + 1 >= static_cast<int>(bounds.size()) - 1;
    };
    const auto processors = static_cast<int>(platform::LogicalProcessorCount());
    ReaderScaling scaling(processors);
    addWorkers(processors);
    for (;;) {
      const int completed = state.completedCount.load(std::memory_order_relaxed);
      window.SetProgressPosition(completed);
      const std::string text = scan.StopRequested()
                                   ? TranslateText("Stopping SHA-1 hashing... %d / %d")
                                   : TranslateText("Computing SHA-1 hashes (size filtered)... %d / %d");
      ShowStatus(window, FormatText(text, {std::int64_t{completed}, std::int64_t{count}}));
      if (workers.AllFinished()) {
        // As many workers again for the second pass: a cold disk stays cold.
        const int workerCount = workers.Count();
        workers.Join();  // a worker's exception goes on from here
        if (pass == Pass::Second || scan.StopRequested()) break;
        if (pass == Pass::Head) {
          SettleUniqueHeads(state, [&state] { state.CompleteOne(); });
          pass = Pass::First;
        } else {
          if (options.betweenPasses) options.betweenPasses();
          PlanSecondPass(state);
          if (state.secondPass.items.empty()) break;
          pass = Pass::Second;
        }
        bounds = ClaimBounds(state, pass);
        state.nextIndex = -1;
        addWorkers(workerCount);
      }
      // The next poll in 30 ms; meanwhile look every few milliseconds whether
      // the workers finished, every millisecond once the pass has no item
      // left to claim, so that neither the second pass nor the caller waits
      // out the interval.
      const auto nextPoll = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
      while (!workers.AllFinished() && std::chrono::steady_clock::now() < nextPoll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(allClaimed() ? 1 : 5));
      }
      if (!scan.StopRequested()) addWorkers(scaling.MoreWorkers(workers.Count(), allClaimed()));
    }
  }
  window.SetProgressPosition(state.completedCount.load());
}

void HashOneByOne(ScanContext& scan, HashingState& state, const HashingOptions& options) {
  const UseWorkspace workspace;
  ScanHost& window = scan.window;
  const std::vector<FileRecord*>& targets = state.hashTargets;
  const int count = static_cast<int>(targets.size());
  window.SetProgressPosition(0);
  StageProgress progress(window, count, {.every = 10, .first = 1, .showLast = true});
  int completed = 0;
  const std::function<void()> complete = [&] {
    ++completed;
    progress.Step(completed, [&] {
      return FormatText(TranslateText("Computing SHA-1 hashes (size filtered)... %d / %d"),
                        {std::int64_t{completed}, std::int64_t{count}});
    });
  };
  // A claim at a time, as a worker claims them, the window answering between
  // claims; a large file's read looks at Stop, and pumps, on its own.
  const std::vector<std::uint32_t> heads = ClaimBounds(state, Pass::Head);
  for (std::size_t claim = 0; claim + 1 < heads.size(); ++claim) {
    if (scan.StopRequested()) return;
    HeadPass(state, heads[claim], heads[claim + 1], complete);
    window.PumpMessages();
  }
  SettleUniqueHeads(state, complete);
  const std::vector<std::uint32_t> firsts = ClaimBounds(state, Pass::First);
  for (std::size_t claim = 0; claim + 1 < firsts.size(); ++claim) {
    if (scan.StopRequested()) return;
    FirstPass(state, firsts[claim], firsts[claim + 1], complete);
    window.PumpMessages();
  }
  if (scan.StopRequested()) return;
  if (options.betweenPasses) options.betweenPasses();
  PlanSecondPass(state);
  for (std::size_t i = 0; i < state.secondPass.items.size(); ++i) {
    if (scan.StopRequested()) return;
    SecondPass(state, i, complete);
  }
}

// Files that could not be read, or changed while the scan read them, join no
// group; the stage says how many, and the host may name them. A stopped scan
// lists nothing, and its status keeps the stage's own stop text.
void ReportLeftOut(ScanContext& scan, const HashingState& state) {
  if (scan.StopRequested()) return;
  auto report = [&](std::uint8_t stage, std::vector<std::string>* paths, const std::string& one,
                    const std::string& many) {
    // A file the file clone run named is named once, when the folder clone run reads it again.
    std::unordered_set<std::string> named;
    if (paths != nullptr) named.insert(paths->begin(), paths->end());
    std::int64_t count = 0;
    for (std::size_t i = 0; i < state.stage.size(); ++i) {
      if (state.stage[i] != stage) continue;
      ++count;
      std::string path = state.hashTargets[i]->FullPath();
      if (paths != nullptr && named.insert(path).second) paths->push_back(std::move(path));
    }
    if (count > 0) scan.window.SetStatusText(FormatText(count == 1 ? one : many, {count}));
  };
  report(kUnreadable, scan.unreadableFiles, TranslateText("1 file could not be read."),
         TranslateText("%d files could not be read."));
  report(kChanged, scan.changedFiles, TranslateText("1 file changed during the scan."),
         TranslateText("%d files changed during the scan."));
}

// Gives the targets the cache knows unchanged their digests, as the head
// and first passes would have: a head candidate its head digest, a small one
// its SHA-1 and check, a large one its fast digest (and its SHA-1 and check,
// which the second pass keeps only where it would have computed them). One
// the cache knows only by its head is decided with the others of its size.
void TakeFromCache(HashingState& state, DigestCache& cache) {
  cache.Find(state.hashTargets, [&state](std::size_t position, const CachedDigests& digests) {
    FileRecord& file = *state.hashTargets[position];
    if (!file.contentHash.empty()) return;  // had a digest on entry
    const std::size_t slot = state.HeadSlotOf(position);
    const bool headCandidate = slot < state.headCandidates.size();
    if (headCandidate && digests.haveHead) {
      state.headDigests[slot] = digests.head;
      state.headKnown[slot] = 1;
    }
    const bool large = file.size > static_cast<std::int64_t>(kReadBufferSize);
    if (large ? !digests.haveFast : digests.sha1.empty()) {
      if (!headCandidate || !digests.haveHead) return;
      state.stage[position] = kHeadRead;
    } else {
      file.contentHash = digests.sha1;
      file.contentCheck = digests.check;
      if (large) state.fastDigests[state.SlotOf(position)] = digests.fast;
      state.stage[position] = large ? kLarge : kFromCache;
    }
    state.fromCache[position] = 1;
  });
}

// Keeps what this scan read of files written long enough before the read:
// the head digest of each head candidate read, and the digests of each file
// read through.
void StoreInCache(const HashingState& state, DigestCache& cache, std::int64_t settledBefore) {
  std::size_t position = 0;
  cache.Store([&](const FileRecord*& next, CachedDigests& digests) {
    for (; position < state.hashTargets.size(); ++position) {
      const FileRecord& file = *state.hashTargets[position];
      const std::uint8_t stage = state.stage[position];
      if (state.FromCache(position) || std::max(file.modified, file.changed) >= settledBefore) continue;
      digests = {};
      const std::size_t slot = state.HeadSlotOf(position);
      if (slot < state.headCandidates.size() && state.headKnown[slot] != 0) {
        digests.haveHead = true;
        digests.head = state.headDigests[slot];
      }
      if (stage == kLarge) {
        digests.haveFast = true;
        digests.fast = state.fastDigests[state.SlotOf(position)];
      } else if (stage != kFinished || (file.contentHash.empty() && !digests.haveHead)) {
        continue;  // gone, changed, unreadable or not reached
      }
      digests.sha1 = file.contentHash;
      digests.check = file.contentCheck;
      next = &file;
      ++position;
      return true;
    }
    return false;
  });
}

// Hashes the targets in parallel or one by one (those the cache holds
// unchanged from there), and names what was left out.
void HashTargetFiles(ScanContext& scan, const std::vector<FileRecord*>& targets, bool every,
                     const HashingOptions& options) {
  if (targets.empty() || scan.StopRequested()) return;
  const bool parallel = scan.settings.ParallelHashing();
  HashingState state(targets, every, scan.stopRequested, parallel ? nullptr : &scan.window, options);
  const std::int64_t readStart = platform::FileTimeNow();
  if (options.cache != nullptr) TakeFromCache(state, *options.cache);
  if (parallel) {
    HashInParallel(scan, state, options);
  } else {
    HashOneByOne(scan, state, options);
  }
  for (std::size_t position = 0; position < targets.size(); ++position) {
    if (state.FromCache(position)) {
      ++scan.filesFromCache;
    } else if (state.stage[position] != kNotReached && state.stage[position] != kHashedBefore) {
      ++scan.filesRead;
    }
  }
  if (options.cache != nullptr && !scan.StopRequested()) {
    StoreInCache(state, *options.cache, readStart - options.cacheSettleTime);
  }
  ReportLeftOut(scan, state);
}

}  // namespace

void ComputeAllHashes(ScanContext& scan, const HashingOptions& options) {
  if (scan.files.empty()) return;
  ScanHost& window = scan.window;
  ShowStatus(window, TranslateText("Computing SHA-1 hashes (size filtered)..."));
  HashTargetFiles(scan, HashTargets(scan.files, scan.stopRequested), false, options);
  window.SetProgressPosition(0);
}

void HashEveryFile(ScanContext& scan, const std::vector<FileRecord*>& files, const HashingOptions& options) {
  if (files.empty()) return;
  ShowStatus(scan.window, TranslateText("Computing SHA-1 hashes (size filtered)..."));
  HashTargetFiles(scan, files, true, options);
  scan.window.SetProgressPosition(0);
}

}  // namespace orvanta
