#include <liburing.h>
#include <limits.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/fd.h"

namespace orvanta::platform {

// The thread's io_uring; none where the kernel or a sandbox refuses one.
struct BatchReader::Queue {
  io_uring ring{};
  bool ready = false;

  static constexpr int kNotDone = INT_MIN;

  // Hands `count` operations to the kernel at once, prepare(i, entry) filling
  // each, and waits for all of them. results[i] gets each one's result (a
  // negative errno when it failed), or kNotDone where the kernel did not take
  // it: the caller then does it itself.
  template <class Prepare>
  void Run(std::size_t count, Prepare prepare, std::array<int, kMaxReads>& results) {
    for (std::size_t i = 0; i < count; ++i) results[i] = kNotDone;
    if (!ready || count == 0) return;
    unsigned prepared = 0;
    for (std::size_t i = 0; i < count; ++i) {
      io_uring_sqe* entry = io_uring_get_sqe(&ring);
      if (entry == nullptr) break;
      prepare(i, entry);
      io_uring_sqe_set_data64(entry, i);
      ++prepared;
    }
    int submitted = io_uring_submit_and_wait(&ring, prepared);
    while (submitted == -EINTR) submitted = io_uring_submit_and_wait(&ring, prepared);
    if (submitted < static_cast<int>(prepared)) {
      // Entries the kernel did not take would go out with a later batch and
      // act on buffers and handles that belong to others by then: this queue
      // is done.
      ready = false;
    }
    // Every operation submitted ends, well or not, and only then may its
    // buffer be used again; the wait fails only when a signal breaks it.
    for (int reaped = 0; reaped < submitted;) {
      io_uring_cqe* done = nullptr;
      const int waited = io_uring_wait_cqe(&ring, &done);
      if (waited == -EINTR || waited == -EAGAIN) continue;
      if (waited < 0) break;
      results[io_uring_cqe_get_data64(done)] = done->res;
      io_uring_cqe_seen(&ring, done);
      ++reaped;
    }
  }
};

namespace {

std::atomic<bool> gOneByOne{false};

// ThreadSanitizer follows file handles through the calls that make and close
// them. It never sees the handles io_uring makes and closes, and takes another
// thread's later use of the same number for a race: under it, opens and
// closes go one by one (reads still go through the queue).
#if defined(__SANITIZE_THREAD__)
constexpr bool kHandlesThroughQueue = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kHandlesThroughQueue = false;
#else
constexpr bool kHandlesThroughQueue = true;
#endif
#else
constexpr bool kHandlesThroughQueue = true;
#endif

}  // namespace

void BatchReader::ReadOneByOneForTesting(bool oneByOne) { gOneByOne = oneByOne; }

BatchReader::BatchReader() : queue_(std::make_unique<Queue>()) {
  queue_->ready = !gOneByOne && io_uring_queue_init(static_cast<unsigned>(kMaxReads), &queue_->ring, 0) == 0;
}

BatchReader::~BatchReader() {
  if (queue_->ready) io_uring_queue_exit(&queue_->ring);
}

void BatchReader::OpenAll(std::span<BatchedOpen> opens) {
  std::array<int, kMaxReads> results;
  // A path the kernel takes in one call; a longer one is opened piece by piece below.
  auto fits = [&](std::size_t i) { return opens[i].path->size() < PATH_MAX; };
  queue_->Run(
      kHandlesThroughQueue ? opens.size() : 0,
      [&](std::size_t i, io_uring_sqe* entry) {
        if (fits(i)) {
          io_uring_prep_openat(entry, AT_FDCWD, opens[i].path->c_str(), posix::kInputFileFlags, 0);
        } else {
          io_uring_prep_nop(entry);
        }
      },
      results);
  for (std::size_t i = 0; i < opens.size(); ++i) {
    BatchedOpen& open = opens[i];
    if (!kHandlesThroughQueue || results[i] == Queue::kNotDone || !fits(i)) {
      open.result = open.file->Open(*open.path, open.error);
    } else {
      open.result = open.file->Adopt(results[i] >= 0 ? results[i] : -1, -results[i], *open.path, open.error);
    }
  }
}

void BatchReader::ReadAll(std::span<BatchedRead> reads) {
  std::array<int, kMaxReads> results;
  queue_->Run(
      reads.size(),
      [&](std::size_t i, io_uring_sqe* entry) {
        const BatchedRead& read = reads[i];
        io_uring_prep_read(entry, read.file->fd_, read.buffer, static_cast<unsigned>(read.length),
                           static_cast<std::uint64_t>(read.offset));
      },
      results);
  std::string error;
  for (std::size_t i = 0; i < reads.size(); ++i) {
    BatchedRead& read = reads[i];
    // A failed read is done again by the plain call, which gives it its own
    // answer (or reads what io_uring would not).
    if (results[i] >= 0) {
      read.result = results[i];
    } else {
      read.result = read.file->ReadAt(read.buffer, read.length, read.offset, error);
    }
  }
}

void BatchReader::CloseAll(std::span<InputFile> files) {
  std::array<int, kMaxReads> results;
  queue_->Run(
      kHandlesThroughQueue ? files.size() : 0,
      [&](std::size_t i, io_uring_sqe* entry) {
        if (files[i].fd_ >= 0) {
          io_uring_prep_close(entry, files[i].fd_);
        } else {
          io_uring_prep_nop(entry);
        }
      },
      results);
  for (std::size_t i = 0; i < files.size(); ++i) {
    // Closed by the kernel, well or not: the handle is gone either way.
    if (kHandlesThroughQueue && results[i] != Queue::kNotDone) files[i].fd_ = -1;
    files[i].Close();
  }
}

}  // namespace orvanta::platform
