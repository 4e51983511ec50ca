// Owner of one open file descriptor: the descriptor is closed when its owner
// goes. Header-only, so that the simulator and the tests share it with the
// meter without linking any meter code.
#pragma once

#include <unistd.h>

#include <utility>

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }

  // Closes the descriptor held (if any) and takes `fd` instead.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  // Closes now and returns close()'s result, so that a failed close (the
  // last chance to hear of a failed write) is not lost.
  int close() {
    const int fd = release();
    return fd >= 0 ? ::close(fd) : 0;
  }

 private:
  int fd_ = -1;
};
