// Helpers for tests that talk to a simulator through its device root.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "scratch.h"
#include "unique_fd.h"

using test_support::ScratchDir;

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Opens a device node of the root the way the meter does, in raw mode with
// reads that give up after `tenths` of a second.
inline UniqueFd openRaw(const std::string& path, int tenths = 3) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return fd;
  termios tio{};
  ::tcgetattr(fd.get(), &tio);
  ::cfmakeraw(&tio);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = static_cast<cc_t>(tenths);
  ::tcsetattr(fd.get(), TCSANOW, &tio);
  return fd;
}

// Reads until `count` bytes arrived or a read comes back empty.
inline std::string readCount(int fd, std::size_t count) {
  std::string out;
  char bytes[256];
  while (out.size() < count) {
    const ssize_t n = ::read(fd, bytes, std::min(sizeof bytes, count - out.size()));
    if (n <= 0) break;
    out.append(bytes, static_cast<std::size_t>(n));
  }
  return out;
}

inline std::string exchange(int fd, const std::string& sent, std::size_t expected) {
  if (::write(fd, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return "<write failed>";
  return readCount(fd, expected);
}
