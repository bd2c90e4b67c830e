// Threads started for one piece of work and joined together. A job that
// throws does not end the program: the pool keeps the first exception, tells
// the other jobs to stop, and Join rethrows it on the owner's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvanta {

class WorkerPool {
 public:
  WorkerPool() = default;
  // Tells the jobs to stop and joins them; an exception a job threw is dropped
  // here (the owner is already leaving by one of its own).
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Starts `count` more threads, each running `job` once.
  void Add(int count, const std::function<void()>& job);
  // Waits for every thread, then rethrows the first exception a job threw.
  // The pool is empty and ready for new jobs afterwards.
  void Join();

  // Threads started since the last Join.
  int Count() const { return static_cast<int>(threads_.size()); }
  // Every thread started since the last Join has returned; what the jobs
  // wrote is visible to the owner once this is true.
  bool AllFinished() const { return finished_.load(std::memory_order_acquire) == Count(); }
  // A job threw, or the pool is being torn down: jobs look at this between
  // steps and return early.
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }

 private:
  void Run(const std::function<void()>& job);

  std::vector<std::thread> threads_;
  std::atomic<int> finished_{0};
  std::atomic<bool> stopping_{false};
  std::mutex errorMutex_;
  std::exception_ptr error_;
};

// How many workers reading from disk to add. On a cold disk the workers wait
// for it and leave the processors idle, and the disk answers sooner with more
// requests in flight: then more workers are started, up to four per
// processor. A warm cache keeps the processors busy, and none is added.
class ReaderScaling {
 public:
  // Starts measuring the process's processor time from now.
  explicit ReaderScaling(int processors);

  // Workers to add now, judged by the processor time used since the last call.
  int MoreWorkers(int running, bool allClaimed);

 private:
  static constexpr int kMaxPerProcessor = 4;
  int processors_;
  std::chrono::steady_clock::time_point lastTime_;
  double lastCpu_;
};

}  // namespace orvanta
