#include "serial_port.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "device_io.h"
#include "system_log.h"

namespace {

// The RS-232 command port's descriptor (the process-wide port record).
// Opened, closed and read by the thread that serves the port; the settings
// dialog and the remote restart read and change its settings from other
// threads, so everything but the blocking reads and writes of that thread
// goes through portLock_.
int fd_ = -1;
std::mutex portLock_;

}  // namespace

int serial_open(const char* path) {
  const int fd = Device_open(path, O_RDWR);
  if (fd < 0) DIAGNOSTIC("open %s errno=%d\n", path, errno);
  return fd;
}

int serial_open_forsensor(const char* path) {
  const int fd = serial_open(path);
  if (fd >= 0) tty_set_attributes(fd);
  return fd;
}

int serial_open_forctrl(const char* path) { return serial_open_forsensor(path); }

int serial_getc(int fd) {
  unsigned char c = 0;
  const ssize_t n = Device_read(fd, &c, 1);
  if (n < 0) {
    DIAGNOSTIC("read errno=%d\n", errno);
    return -1;
  }
  return n == 0 ? SERIAL_TIMEOUT : c;
}

int serial_gets(int fd, char* buffer, std::size_t length) {
  const ssize_t n = Device_read(fd, buffer, length);
  if (n < 0) DIAGNOSTIC("read errno=%d\n", errno);
  return static_cast<int>(n);
}

int serial_puts(int fd, const char* text) {
  const std::size_t length = std::strlen(text);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = Device_write(fd, text + done, length - done);
    if (n < 0) {
      DIAGNOSTIC("write errno = %d\n", errno);
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int>(done);
}

int serial_close(int fd) {
  const int result = Device_close(fd);
  if (result < 0) DIAGNOSTIC("close errno = %d\n", errno);
  return result;
}

int tty_set_attributes(int fd) {
  struct termios tty {};
  if (::tcgetattr(fd, &tty) < 0) {
    DIAGNOSTIC("tcgetattr errno=%d\n", errno);
    return -1;
  }
  ::cfsetospeed(&tty, B9600);
  ::cfsetispeed(&tty, B9600);

  tty.c_cflag |= (CLOCAL | CREAD);
  tty.c_cflag &= ~CSIZE;
  tty.c_cflag |= CS8;
  tty.c_cflag &= ~(PARENB | CSTOPB | CRTSCTS);

  tty.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  tty.c_oflag &= ~OPOST;
  tty.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN);

  tty.c_cc[VMIN] = 0;
  tty.c_cc[VTIME] = 10;

  if (::tcsetattr(fd, TCSAFLUSH, &tty) < 0) {
    DIAGNOSTIC("tcsetattr errno=%d\n", errno);
    return -1;
  }
  return 0;
}

int tty_set_raw(int fd) {
  struct termios tty {};
  if (::tcgetattr(fd, &tty) < 0) {
    DIAGNOSTIC("tcgetattr errno=%d\n", errno);
    return -1;
  }
  ::cfmakeraw(&tty);
  tty.c_cc[VMIN] = 1;
  tty.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tty) < 0) {
    DIAGNOSTIC("tcsetattr errno=%d\n", errno);
    return -1;
  }
  return 0;
}

void tty_log_diag(int fd) {
  struct termios tty {};
  if (::tcgetattr(fd, &tty) < 0) {
    DIAGNOSTIC("tcgetattr errno=%d\n", errno);
    return;
  }
  DIAGNOSTIC("c_iflag=0x%08x\n", static_cast<unsigned>(tty.c_iflag));
  DIAGNOSTIC("c_oflag=0x%08x\n", static_cast<unsigned>(tty.c_oflag));
  DIAGNOSTIC("c_cflag=0x%08x\n", static_cast<unsigned>(tty.c_cflag));
  DIAGNOSTIC("c_lflag=0x%08x\n", static_cast<unsigned>(tty.c_lflag));
  DIAGNOSTIC("c_line=0x%02x\n", static_cast<unsigned>(tty.c_line));
  DIAGNOSTIC("c_ispeed=%d\n", static_cast<int>(::cfgetispeed(&tty)));
  DIAGNOSTIC("c_ospeed=%d\n", static_cast<int>(::cfgetospeed(&tty)));
}

namespace {

// The four settings the user chooses for the command port: speed, data bits,
// stop bits, parity. They live in the settings file, so a reopen must not
// fall back to the raw-mode defaults. The port also remembers the values it
// was last given: a pseudo-terminal (the simulated device's port) reports
// every line as 8 bits without parity whatever it was set to, and the
// settings file and the queries must still see what the user chose.
struct LineSettings {
  speed_t ispeed = B9600;
  speed_t ospeed = B9600;
  tcflag_t cflag = 0;
};
constexpr tcflag_t kLineBits = CSIZE | CSTOPB | PARENB | PARODD;

// Line settings last applied to the open port (process-wide, with fd_).
bool appliedValid_ = false;
LineSettings applied_;
std::string appliedPath_;

LineSettings LineSettings_of(const struct termios& tty) {
  return {::cfgetispeed(&tty), ::cfgetospeed(&tty), tty.c_cflag & kLineBits};
}

void LineSettings_put(struct termios* tty, const LineSettings& settings) {
  ::cfsetispeed(tty, settings.ispeed);
  ::cfsetospeed(tty, settings.ospeed);
  tty->c_cflag = (tty->c_cflag & ~kLineBits) | settings.cflag;
}

void remember(const struct termios& tty) {
  applied_ = LineSettings_of(tty);
  appliedValid_ = true;
}

// Applies the settings and remembers the line part. The C library reports
// EINVAL when the driver kept some flags of its own (a pseudo-terminal keeps 8
// bits without parity); the call still went through when the speeds took.
int applyAndRemember(int fd, int action, const struct termios& tty) {
  int result = ::tcsetattr(fd, action, &tty);
  if (result < 0 && errno == EINVAL) {
    struct termios now {};
    if (::tcgetattr(fd, &now) == 0 && ::cfgetispeed(&now) == ::cfgetispeed(&tty) &&
        ::cfgetospeed(&now) == ::cfgetospeed(&tty)) {
      result = 0;
    }
  }
  if (result == 0) remember(tty);
  return result;
}

// The device's own settings are the truth for the speeds and the stop bits,
// which every port holds (and which may have been changed behind our back).
// Data bits and parity are taken from what the port was given only when the
// device shows a pseudo-terminal's fixed 8 bits without parity.
void keepUnheldBits(struct termios* config) {
  constexpr tcflag_t kUnheld = CSIZE | PARENB | PARODD;
  const bool fixedEightNone = (config->c_cflag & CSIZE) == CS8 && (config->c_cflag & PARENB) == 0;
  if (!fixedEightNone) return;
  config->c_cflag = (config->c_cflag & ~kUnheld) | (applied_.cflag & kUnheld);
}

int LineSettings_apply(int fd, const LineSettings& settings) {
  struct termios tty {};
  if (::tcgetattr(fd, &tty) < 0) {
    DIAGNOSTIC("tcgetattr errno=%d\n", errno);
    return -1;
  }
  LineSettings_put(&tty, settings);
  if (applyAndRemember(fd, TCSANOW, tty) < 0) {
    DIAGNOSTIC("tcsetattr errno=%d\n", errno);
    return -1;
  }
  return 0;
}

}  // namespace

namespace {

int getConfigLocked(struct termios* config) {
  if (fd_ < 0) return -1;
  const int result = ::tcgetattr(fd_, config);
  if (result < 0) {
    DIAGNOSTIC("tcgetattr errno = %d\n", errno);
    return result;
  }
  if (appliedValid_) keepUnheldBits(config);
  return result;
}

int closeLocked() {
  if (fd_ < 0) return 0;
  const int result = serial_close(fd_);
  fd_ = -1;
  return result;
}

}  // namespace

int SerialPort_Open(const char* path) {
  std::lock_guard guard(portLock_);
  // The settings of the port open so far, or of this same port when it was
  // last open, win over what the device node reports: a real UART may reset
  // on the last close, and a pseudo-terminal never reports them.
  LineSettings kept;
  bool haveKept = false;
  struct termios before {};
  if (getConfigLocked(&before) == 0) {
    kept = LineSettings_of(before);
    haveKept = true;
  } else if (appliedValid_ && appliedPath_ == path) {
    kept = applied_;
    haveKept = true;
  }
  closeLocked();
  appliedValid_ = false;
  const int fd = serial_open(path);
  if (fd < 0) return fd;
  appliedPath_ = path;
  if (!haveKept && ::tcgetattr(fd, &before) == 0) {
    kept = LineSettings_of(before);
    haveKept = true;
  }
  tty_set_raw(fd);
  struct termios raw {};
  if (::tcgetattr(fd, &raw) == 0) remember(raw);
  if (haveKept) LineSettings_apply(fd, kept);
  fd_ = fd;
  return fd_;
}

int SerialPort_getc() { return serial_getc(fd_); }

int SerialPort_gets(char* buffer, std::size_t length) { return serial_gets(fd_, buffer, length); }

int SerialPort_puts(const char* text) { return serial_puts(fd_, text); }

int SerialPort_flush() {
  std::lock_guard guard(portLock_);
  const int result = ::tcflush(fd_, TCIOFLUSH);
  if (result < 0) DIAGNOSTIC("tcflush errno = %d\n", errno);
  return result;
}

int SerialPort_flushInput() {
  std::lock_guard guard(portLock_);
  const int result = ::tcflush(fd_, TCIFLUSH);
  if (result < 0) DIAGNOSTIC("tcflush errno = %d\n", errno);
  return result;
}

int* SerialPort_getfd() { return &fd_; }

bool SerialPort_isOpen() {
  std::lock_guard guard(portLock_);
  return fd_ >= 0;
}

int SerialPort_GetConfig(struct termios* config) {
  std::lock_guard guard(portLock_);
  return getConfigLocked(config);
}

int SerialPort_SetConfig(const struct termios* config) {
  std::lock_guard guard(portLock_);
  if (fd_ < 0) return -1;
  const int result = applyAndRemember(fd_, TCSAFLUSH, *config);
  if (result < 0) DIAGNOSTIC("tcsetattr errno = %d\n", errno);
  return result;
}

int SerialPort_Close() {
  std::lock_guard guard(portLock_);
  return closeLocked();
}
