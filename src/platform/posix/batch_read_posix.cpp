#include <liburing.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace orvanta::platform {

// The thread's io_uring; none where the kernel or a sandbox refuses one.
struct BatchReader::Queue {
  io_uring ring{};
  bool ready = false;
};

namespace {
std::atomic<bool> gOneByOne{false};
}  // namespace

void BatchReader::ReadOneByOneForTesting(bool oneByOne) { gOneByOne = oneByOne; }

BatchReader::BatchReader() : queue_(std::make_unique<Queue>()) {
  queue_->ready = !gOneByOne && io_uring_queue_init(static_cast<unsigned>(kMaxReads), &queue_->ring, 0) == 0;
}

BatchReader::~BatchReader() {
  if (queue_->ready) io_uring_queue_exit(&queue_->ring);
}

void BatchReader::ReadAll(std::span<BatchedRead> reads) {
  constexpr std::int64_t kNotDone = -2;
  for (BatchedRead& read : reads) read.result = kNotDone;
  if (queue_->ready) {
    io_uring& ring = queue_->ring;
    unsigned prepared = 0;
    for (std::size_t i = 0; i < reads.size(); ++i) {
      io_uring_sqe* entry = io_uring_get_sqe(&ring);
      if (entry == nullptr) break;
      const BatchedRead& read = reads[i];
      io_uring_prep_read(entry, read.file->fd_, read.buffer, static_cast<unsigned>(read.length),
                         static_cast<std::uint64_t>(read.offset));
      io_uring_sqe_set_data64(entry, i);
      ++prepared;
    }
    int submitted = io_uring_submit_and_wait(&ring, prepared);
    while (submitted == -EINTR) submitted = io_uring_submit_and_wait(&ring, prepared);
    if (submitted < static_cast<int>(prepared)) {
      // Entries the kernel did not take would go out with a later batch and
      // write into buffers that hold other files by then: this queue is done.
      queue_->ready = false;
    }
    // Every read submitted ends, well or not, and only then may its buffer be
    // used again; the wait fails only when a signal breaks it.
    for (int reaped = 0; reaped < submitted;) {
      io_uring_cqe* done = nullptr;
      const int waited = io_uring_wait_cqe(&ring, &done);
      if (waited == -EINTR || waited == -EAGAIN) continue;
      if (waited < 0) break;
      // An error leaves the read to the plain call below, which gives it its
      // own answer (or reads what io_uring would not).
      if (done->res >= 0) reads[io_uring_cqe_get_data64(done)].result = done->res;
      io_uring_cqe_seen(&ring, done);
      ++reaped;
    }
  }
  std::string error;
  for (BatchedRead& read : reads) {
    if (read.result == kNotDone) read.result = read.file->ReadAt(read.buffer, read.length, read.offset, error);
  }
}

}  // namespace orvanta::platform
