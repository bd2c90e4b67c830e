#include "core/worker_pool.h"

#include "platform/platform.h"

namespace orvanta {

WorkerPool::~WorkerPool() {
  stopping_ = true;
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Add(int count, const std::function<void()>& job) {
  for (int i = 0; i < count; ++i) threads_.emplace_back([this, job] { Run(job); });
}

void WorkerPool::Run(const std::function<void()>& job) {
  try {
    job();
  } catch (...) {
    {
      const std::lock_guard<std::mutex> lock(errorMutex_);
      if (!error_) error_ = std::current_exception();
    }
    stopping_ = true;
  }
  // Release: the owner reads the jobs' results once it sees every thread finished.
  finished_.fetch_add(1, std::memory_order_release);
}

void WorkerPool::Join() {
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  finished_ = 0;
  stopping_ = false;
  std::exception_ptr error;
  std::swap(error, error_);
  if (error) std::rethrow_exception(error);
}

ReaderScaling::ReaderScaling(int processors)
    : processors_(processors), lastTime_(std::chrono::steady_clock::now()), lastCpu_(platform::ProcessCpuSeconds()) {}

int ReaderScaling::MoreWorkers(int running, bool allClaimed) {
  const auto now = std::chrono::steady_clock::now();
  const double cpu = platform::ProcessCpuSeconds();
  const double wall = std::chrono::duration<double>(now - lastTime_).count();
  const double busy = wall > 0 ? (cpu - lastCpu_) / wall : processors_;
  lastTime_ = now;
  lastCpu_ = cpu;
  const bool waiting = busy < 0.5 * processors_;
  return waiting && !allClaimed && running < kMaxPerProcessor * processors_ ? processors_ : 0;
}

}  // namespace orvanta
