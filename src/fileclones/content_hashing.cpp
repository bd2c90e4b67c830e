#include "fileclones/content_hashing.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/scan_context.h"
#include "platform/platform.h"
#include "translation/translate.h"

namespace orvanta {
namespace {

// Per-thread digest context and read buffer: allocating them per file costs
// more than hashing a small file.
struct HashWorkspace {
  static constexpr std::size_t kBufferSize = 256 * 1024;
  platform::Sha1 sha1;
  std::unique_ptr<unsigned char[]> buffer{new unsigned char[kBufferSize]};
};

HashWorkspace& Workspace() {
  thread_local HashWorkspace workspace;
  return workspace;
}

// Files sharing a size with another collected file. They are read in
// collection order, so the files of one folder are read one after another.
std::vector<TFileInfo*> BuildHashTargets(const ScanContext& scan) {
  std::vector<std::pair<std::int64_t, std::uint32_t>> sizes;  // size, index in FFiles
  sizes.reserve(scan.FFiles.size());
  for (std::size_t i = 0; i < scan.FFiles.size(); ++i) {
    if (scan.StopRequested()) return {};
    if (scan.FFiles[i]->Size >= 1) sizes.emplace_back(scan.FFiles[i]->Size, static_cast<std::uint32_t>(i));
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
  std::vector<TFileInfo*> targets;
  targets.reserve(indexes.size());
  for (const std::uint32_t index : indexes) targets.push_back(scan.FFiles[index].get());
  return targets;
}

// Hashes into `hash`; empty when no file is at the path any more.
void HashFileInto(const std::string& path, Sha1Text& hash) {
  platform::InputFile file;
  std::string error;
  switch (file.Open(path, error)) {
    case platform::InputFile::OpenResult::NotAFile:
      hash.clear();
      return;
    case platform::InputFile::OpenResult::Failed: throw std::runtime_error(error);
    case platform::InputFile::OpenResult::Opened: break;
  }
  HashWorkspace& workspace = Workspace();
  workspace.sha1.Reset();
  std::int64_t total = 0;
  for (;;) {
    const std::int64_t n = file.Read(workspace.buffer.get(), HashWorkspace::kBufferSize, error);
    if (n < 0) throw std::runtime_error("Cannot read file \"" + path + "\": " + error);
    if (n == 0) break;
    workspace.sha1.Update(workspace.buffer.get(), static_cast<std::size_t>(n));
    total += n;
    // A short read that reaches the size the file had when opened is its end:
    // this saves the final empty read, the dearest call for small files.
    if (static_cast<std::size_t>(n) < HashWorkspace::kBufferSize && total >= file.Size()) break;
  }
  workspace.sha1.FinishHex(hash.data());
}

void HashTarget(TFileInfo& file) {
  if (!file.ContentHash.empty()) return;
  try {
    HashFileInto(file.FullPath, file.ContentHash);
  } catch (...) {
    // Unreadable: left unhashed, so it joins no content group.
    file.ContentHash.clear();
  }
}

// Shared by the workers and the polling thread; only atomics change while they run.
struct HashingState {
  const std::vector<TFileInfo*>& hashTargets;
  const std::atomic<bool>& FStopRequested;
  std::atomic<int> nextIndex{-1};
  std::atomic<int> completedCount{0};
  std::atomic<int> finishedWorkers{0};
  std::atomic<bool> abandoned{false};  // the polling thread failed: claim nothing more
};

void HashWorker(HashingState& state) {
  const int count = static_cast<int>(state.hashTargets.size());
  while (!state.FStopRequested.load(std::memory_order_relaxed) && !state.abandoned.load(std::memory_order_relaxed)) {
    const int index = state.nextIndex.fetch_add(1, std::memory_order_relaxed) + 1;
    if (index >= count) break;
    HashTarget(*state.hashTargets[static_cast<std::size_t>(index)]);
    state.completedCount.fetch_add(1, std::memory_order_relaxed);
  }
  // Release: the polling thread reads the hashes only after seeing every worker finished.
  state.finishedWorkers.fetch_add(1, std::memory_order_release);
}

// Joins every worker however the polling ends, so no worker outlives the targets.
class WorkerGroup {
 public:
  explicit WorkerGroup(HashingState& state) : state_(state) {}
  ~WorkerGroup() {
    if (std::uncaught_exceptions() > 0) state_.abandoned = true;
    for (std::thread& worker : workers_) worker.join();
  }
  WorkerGroup(const WorkerGroup&) = delete;
  WorkerGroup& operator=(const WorkerGroup&) = delete;

  void Start(int count) {
    workers_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) workers_.emplace_back(HashWorker, std::ref(state_));
  }
  bool AllFinished() const {
    return state_.finishedWorkers.load(std::memory_order_acquire) == static_cast<int>(workers_.size());
  }

 private:
  HashingState& state_;
  std::vector<std::thread> workers_;
};

void HashInParallel(ScanContext& scan, const std::vector<TFileInfo*>& targets) {
  WindowOperations& window = scan.window;
  const int count = static_cast<int>(targets.size());
  HashingState state{targets, scan.FStopRequested};
  window.SetProgressRange(0, count);
  window.SetProgressPosition(0);
  {
    WorkerGroup workers(state);
    workers.Start(static_cast<int>(platform::LogicalProcessorCount()));
    for (;;) {
      const int completed = state.completedCount.load(std::memory_order_relaxed);
      window.SetProgressPosition(completed);
      const char* text = scan.StopRequested() ? "Stopping SHA-1 hashing... %d / %d"
                                              : "Computing SHA-1 hashes (size filtered)... %d / %d";
      window.SetStatusText(FormatText(TranslateText(text), {std::int64_t{completed}, std::int64_t{count}}));
      window.PumpMessages();
      if (workers.AllFinished()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }
  window.SetProgressPosition(state.completedCount.load());
}

void HashOneByOne(ScanContext& scan, const std::vector<TFileInfo*>& targets) {
  WindowOperations& window = scan.window;
  const int count = static_cast<int>(targets.size());
  window.SetProgressPosition(0);
  window.SetProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    if (scan.StopRequested()) break;
    HashTarget(*targets[static_cast<std::size_t>(i)]);
    window.SetProgressPosition(i + 1);
    if (i % 10 == 0 || i == count - 1) {
      window.SetStatusText(FormatText(TranslateText("Computing SHA-1 hashes (size filtered)... %d / %d"),
                                      {std::int64_t{i + 1}, std::int64_t{count}}));
      window.PumpMessages();
    }
  }
}

}  // namespace

std::string HashFileSHA1(const std::string& path) {
  Sha1Text hash;
  HashFileInto(path, hash);
  return std::string(hash.view());
}

void ComputeAllHashes(ScanContext& scan) {
  if (scan.FFiles.empty()) return;
  WindowOperations& window = scan.window;
  window.SetStatusText(TranslateText("Computing SHA-1 hashes (size filtered)..."));
  window.PumpMessages();

  const std::vector<TFileInfo*> targets = BuildHashTargets(scan);
  if (!targets.empty() && !scan.StopRequested()) {
    if (scan.settings.ParallelHashing()) {
      HashInParallel(scan, targets);
    } else {
      HashOneByOne(scan, targets);
    }
  }
  window.SetProgressPosition(0);
}

}  // namespace orvanta
