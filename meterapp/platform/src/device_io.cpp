#include "device_io.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform.h"
#include "unique_fd.h"

namespace {

// Runs `call` again while it fails with EINTR.
template <typename Call>
auto retryInterrupted(Call call) {
  for (;;) {
    auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace

int Device_open(const char* path, int flags, mode_t mode) {
  return retryInterrupted([&] { return ::open(path, flags | O_NOCTTY | O_CLOEXEC, mode); });
}

int Device_openDevice(std::string_view devicePath, int flags, mode_t mode) {
  const std::string path = Platform_path(devicePath);
  return Device_open(path.c_str(), flags, mode);
}

ssize_t Device_read(int fd, void* buffer, std::size_t length) {
  return retryInterrupted([&] { return ::read(fd, buffer, length); });
}

ssize_t Device_write(int fd, const void* data, std::size_t length) {
  return retryInterrupted([&] { return ::write(fd, data, length); });
}

bool Device_writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = Device_write(fd, data.data(), data.size());
    if (n < 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int Device_poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return retryInterrupted([&] { return ::poll(fds, count, timeoutMs); });
}

int Device_ioctl(int fd, unsigned long request) {
  return retryInterrupted([&] { return ::ioctl(fd, request); });
}

int Device_ioctl(int fd, unsigned long request, void* argument) {
  return retryInterrupted([&] { return ::ioctl(fd, request, argument); });
}

int Device_ioctlValue(int fd, unsigned long request, unsigned long value) {
  return retryInterrupted([&] { return ::ioctl(fd, request, value); });
}

int Device_close(int fd) { return ::close(fd); }

bool Device_fileId(const std::string& path, DeviceFileId* id) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  *id = {info.st_dev, info.st_ino};
  return true;
}

bool Device_descriptorId(int fd, DeviceFileId* id) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  *id = {info.st_dev, info.st_ino};
  return true;
}

bool Device_readSmallFile(const std::string& path, std::size_t limit, std::string* text) {
  const UniqueFd fd(Device_open(path.c_str(), O_RDONLY));
  if (!fd.valid()) return false;
  std::string buffer(limit, '\0');
  const ssize_t n = Device_read(fd.get(), buffer.data(), limit);
  if (n < 0) return false;
  buffer.resize(static_cast<std::size_t>(n));
  *text = std::move(buffer);
  return true;
}
