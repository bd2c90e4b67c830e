#include "fileclones/content_hashing.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/scan_context.h"
#include "core/stage_progress.h"
#include "core/worker_pool.h"
#include "fileclones/hash_plan.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

// Shared by the workers and the polling thread. While workers run, only the
// atomics and the entries of what each worker claimed change.
struct HashingState {
  HashingState(const std::vector<FileRecord*>& targets, bool every, const std::atomic<bool>& stop, ScanHost* pump,
               const HashingOptions& options)
      : hashTargets(targets),
        hashEvery(every),
        stopRequested(stop),
        control{stop, pump, options.reads},
        stage(targets.size(), kNotReached),
        largeCandidates(LargeCandidates(targets)),
        fastDigests(largeCandidates.size()) {}

  const std::vector<FileRecord*>& hashTargets;
  const bool hashEvery;  // a large target with a fast digest no other has is hashed too
  const std::atomic<bool>& stopRequested;
  ReadControl control;
  std::vector<std::uint8_t> stage;             // per target
  std::vector<std::uint32_t> largeCandidates;  // positions, ascending
  std::vector<FastDigest> fastDigests;         // per large candidate
  SecondPassPlan secondPass;
  std::atomic<int> nextIndex{-1};
  std::atomic<int> completedCount{0};
};

void FirstPass(HashingState& state, std::size_t position, const std::function<void()>& complete) {
  FileRecord& file = *state.hashTargets[position];
  std::uint8_t& stage = state.stage[position];
  if (!file.contentHash.empty()) {
    stage = kHashedBefore;
    complete();
    return;
  }
  FastDigest fast;
  const FirstRead read = HashSmallOrDigestLarge(file, fast, state.control);
  if (read != FirstRead::Digested) {
    // Gone, changed or unreadable: left unhashed, so it joins no content group.
    if (read != FirstRead::Hashed) file.contentHash.clear();
    stage = read == FirstRead::Unreadable ? kUnreadable : read == FirstRead::Changed ? kChanged : kFinished;
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

void SecondPass(HashingState& state, std::size_t index, const std::function<void()>& complete) {
  const SecondPassItem& item = state.secondPass.items[index];
  if (!item.hash) {
    complete();
    return;
  }
  const std::vector<std::uint32_t>& positions = state.secondPass.targets;
  std::vector<FileRecord*> files;
  for (std::uint32_t i = item.begin; i < item.end; ++i) files.push_back(state.hashTargets[positions[i]]);
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

enum class Pass { First, Second };

// Claims items of the pass until none is left, Stop comes or a sibling failed.
void HashWorker(HashingState& state, const WorkerPool& pool, Pass pass, int count) {
  const UseWorkspace workspace;
  const std::function<void()> complete = [&state] { state.completedCount.fetch_add(1, std::memory_order_relaxed); };
  while (!state.stopRequested.load(std::memory_order_relaxed) && !pool.Stopping()) {
    const int index = state.nextIndex.fetch_add(1, std::memory_order_relaxed) + 1;
    if (index >= count) break;
    if (pass == Pass::First) {
      FirstPass(state, static_cast<std::size_t>(index), complete);
    } else {
      SecondPass(state, static_cast<std::size_t>(index), complete);
    }
  }
}

// On a cold cache the workers wait for the disk and leave the processors
// idle, and the disk answers sooner with more reads in flight: then more
// workers are started, up to four per processor. A warm cache keeps the
// processors busy, and no worker is added.
class ReaderScaling {
 public:
  explicit ReaderScaling(int processors) : processors_(processors) {}

  // Workers to add now, judged by the processor time used since the last call.
  int MoreWorkers(int running, bool allClaimed) {
    const auto now = std::chrono::steady_clock::now();
    const double cpu = platform::ProcessCpuSeconds();
    const double wall = std::chrono::duration<double>(now - lastTime_).count();
    const double busy = wall > 0 ? (cpu - lastCpu_) / wall : processors_;
    lastTime_ = now;
    lastCpu_ = cpu;
    const bool waiting = busy < 0.5 * processors_;
    return waiting && !allClaimed && running < kMaxPerProcessor * processors_ ? processors_ : 0;
  }

 private:
  static constexpr int kMaxPerProcessor = 4;
  int processors_;
  std::chrono::steady_clock::time_point lastTime_ = std::chrono::steady_clock::now();
  double lastCpu_ = platform::ProcessCpuSeconds();
};

void HashInParallel(ScanContext& scan, HashingState& state, const HashingOptions& options) {
  ScanHost& window = scan.window;
  const int count = static_cast<int>(state.hashTargets.size());
  window.SetProgressRange(0, count);
  window.SetProgressPosition(0);
  {
    // Torn down before `state`: however the polling ends, no worker outlives it.
    WorkerPool workers;
    Pass pass = Pass::First;
    int items = count;
    auto addWorkers = [&](int workerCount) {
      workers.Add(workerCount, [&state, &workers, pass, items] { HashWorker(state, workers, pass, items); });
    };
    auto allClaimed = [&] { return state.nextIndex.load(std::memory_order_relaxed) + 1 >= items; };
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
        if (options.betweenPasses) options.betweenPasses();
        PlanSecondPass(state);
        if (state.secondPass.items.empty()) break;
        pass = Pass::Second;
        items = static_cast<int>(state.secondPass.items.size());
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
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (scan.StopRequested()) return;
    const int before = completed;
    FirstPass(state, i, complete);
    // A large file completes only in the second pass; its read is long
    // enough that the window must answer, and Stop be seen, meanwhile.
    if (completed == before) window.PumpMessages();
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

// Hashes the targets in parallel or one by one, and names what was left out.
void HashTargetFiles(ScanContext& scan, const std::vector<FileRecord*>& targets, bool every,
                     const HashingOptions& options) {
  if (targets.empty() || scan.StopRequested()) return;
  const bool parallel = scan.settings.ParallelHashing();
  HashingState state(targets, every, scan.stopRequested, parallel ? nullptr : &scan.window, options);
  if (parallel) {
    HashInParallel(scan, state, options);
  } else {
    HashOneByOne(scan, state, options);
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
