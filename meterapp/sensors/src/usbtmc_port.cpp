#include "usbtmc_port.h"

#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "device_io.h"
#include "log_manager.h"
#include "platform.h"

namespace {

// The driver's ioctls; a terminal (the simulated sensor) has none of them and
// counts as cleared.
int clearRequest(int fd, unsigned long request, const char* name) {
  if (::isatty(fd) == 1) return 0;
  if (Device_ioctl(fd, request) < 0) {
    DIAGNOSTIC("%s failed on fd %d, errno=%d (%s)\n", name, fd, errno, std::strerror(errno));
    return -1;
  }
  return 0;
}

}  // namespace

int UsbTmcPort_Open(int port, std::string_view devicePath) {
  const std::string path = Platform_path(devicePath);
  int fd = Device_open(path.c_str(), O_RDWR);
  if (fd < 0) {
    DIAGNOSTIC("USB port %d: open %s errno=%d (%s)\n", port, path.c_str(), errno, std::strerror(errno));
    return -1;
  }
  // Descriptor 0 means "not open" to every caller; should standard input have
  // been closed, the node would land there and be taken for a closed port.
  if (fd == 0) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    Device_close(fd);
    if (moved < 0) {
      DIAGNOSTIC("USB port %d: dup errno=%d (%s)\n", port, errno, std::strerror(errno));
      return -1;
    }
    fd = moved;
  }
  logManager_printToLog(SensorCommunications, "UsbTmcPort_Open: port %d %s fd %d\n", port, path.c_str(), fd);
  return fd;
}

void UsbTmcPort_Close(int fd) {
  if (fd <= 0) return;
  if (Device_close(fd) < 0) DIAGNOSTIC("close errno = %d\n", errno);
}

int UsbTmcPort_Send(int fd, const char* text) {
  if (fd <= 0 || text == nullptr) return -1;
  const std::size_t length = std::strlen(text);
  const ssize_t n = Device_write(fd, text, length);
  if (n < 0) {
    const int error = errno;
    DIAGNOSTIC("write errno = %d (%s)\n", error, std::strerror(error));
    errno = error;  // callers look for a broken pipe
    return -1;
  }
  logManager_printToLog(SensorCommunications, "usbtmc %d > %s", fd, text);
  return static_cast<int>(n);
}

int UsbTmcPort_Receive(int fd, char* buffer, std::size_t size) {
  if (fd <= 0 || buffer == nullptr || size == 0) return -1;
  const ssize_t n = Device_read(fd, buffer, size - 1);
  if (n < 0) {
    const int error = errno;
    buffer[0] = '\0';
    DIAGNOSTIC("read errno=%d (%s)\n", error, std::strerror(error));
    clearRequest(fd, USBTMC_IOCTL_CLEAR, "USBTMC_IOCTL_CLEAR");
    errno = error;  // callers look for a broken pipe
    return -1;
  }
  buffer[n] = '\0';
  logManager_printToLog(SensorCommunications, "usbtmc %d < %s\n", fd, buffer);
  return static_cast<int>(n);
}

int handleUsbTmcClear(int fd) {
  if (fd <= 0) return -1;
  if (clearRequest(fd, USBTMC_IOCTL_CLEAR_OUT_HALT, "USBTMC_IOCTL_CLEAR_OUT_HALT") < 0) return -1;
  if (clearRequest(fd, USBTMC_IOCTL_CLEAR_IN_HALT, "USBTMC_IOCTL_CLEAR_IN_HALT") < 0) return -1;
  if (clearRequest(fd, USBTMC_IOCTL_CLEAR, "USBTMC_IOCTL_CLEAR") < 0) return -1;
  return 0;
}
