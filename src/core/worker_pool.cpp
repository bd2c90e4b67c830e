#include "core/worker_pool.h"

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

}  // namespace orvanta
