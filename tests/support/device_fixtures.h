// Test helpers shared by the meter's serial and settings tests: a scratch
// device root and a pseudo-terminal that stands in for a serial port.
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

#include "platform.h"

namespace test_support {

// A fresh temporary folder made the device root; removed again at the end.
class ScratchRoot {
 public:
  ScratchRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "meter-root-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    Platform_setRoot(path_.string());
  }
  ScratchRoot(const ScratchRoot&) = delete;
  ScratchRoot& operator=(const ScratchRoot&) = delete;
  ~ScratchRoot() {
    Platform_setRoot("");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  // A device path ("/etc/x") under the root.
  std::filesystem::path operator/(std::string_view devicePath) const {
    return path_ / std::filesystem::path(devicePath).relative_path();
  }
  void write(std::string_view devicePath, const std::string& text) const {
    const auto file = *this / devicePath;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string read(std::string_view devicePath) const {
    std::ifstream in(*this / devicePath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The system-log messages mirrored under the root so far.
  std::string messages() const { return read("/var/log/messages"); }

 private:
  std::filesystem::path path_;
};

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
