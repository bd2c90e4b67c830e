// A file descriptor owned by one object and closed with it, and how a file
// is opened to read its contents.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace orvanta::platform::posix {

// O_NONBLOCK: a FIFO put in a file's place must not block the reader;
// O_NOFOLLOW: a link put there is not a file of the scan.
inline constexpr int kInputFileFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace orvanta::platform::posix
