#include "pty.h"

#include <fcntl.h>
#include <termios.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void fail(const char* what) { throw std::runtime_error(std::string(what) + ": " + std::strerror(errno)); }

}  // namespace

Pty::Pty(int readTimeoutTenths) {
  master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master_.valid()) fail("posix_openpt");
  if (::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) fail("unlockpt");
  std::array<char, 128> name{};
  if (::ptsname_r(master_.get(), name.data(), name.size()) != 0) fail("ptsname_r");
  slavePath_ = name.data();
  slave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave_.valid()) fail("open pty slave");

  // Bytes pass unchanged in both directions.
  termios tio{};
  if (::tcgetattr(slave_.get(), &tio) != 0) fail("tcgetattr");
  ::cfmakeraw(&tio);
  ::cfsetspeed(&tio, B9600);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = readTimeoutTenths > 0 ? 0 : 1;
  tio.c_cc[VTIME] = static_cast<cc_t>(readTimeoutTenths > 0 ? std::min(readTimeoutTenths, 255) : 0);
  if (::tcsetattr(slave_.get(), TCSANOW, &tio) != 0) fail("tcsetattr");

  const int flags = ::fcntl(master_.get(), F_GETFL);
  ::fcntl(master_.get(), F_SETFL, flags | O_NONBLOCK);
}

void Pty::flushTowardsSlave() { ::tcflush(slave_.get(), TCIFLUSH); }
