// Device fixtures of the meter's tests: a pseudo-terminal that stands in for
// a serial port, linked into a scratch device root (scratch_root.h).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "scratch_root.h"

namespace test_support {

// The master side of a pseudo-terminal plays the device at the other end of
// the line; the slave is the meter's port.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    slave_ = ::ptsname(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() { ::close(master_); }

  int master() const { return master_; }
  const std::string& slavePath() const { return slave_; }

  // Makes devicePath under the root a link to the slave, as the simulator does.
  void linkAs(const ScratchRoot& root, std::string_view devicePath) const {
    const auto link = root / devicePath;
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink(slave_, link);
  }

  bool writeMaster(std::string_view bytes) const {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what the port sent, waiting at most timeoutMs for the first byte.
  std::string readMaster(std::size_t expected, int timeoutMs = 2000) const {
    std::string text;
    while (text.size() < expected) {
      struct pollfd p {master_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Waits until fd has input, at most timeoutMs.
inline bool waitReadable(int fd, int timeoutMs = 2000) {
  struct pollfd p {fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 1;
}

}  // namespace test_support
