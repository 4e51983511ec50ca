// The meter's system-call edge: opening device nodes and files, reading,
// writing, waiting and driver requests.
//
// Every primitive follows one rule: a call interrupted by a signal (EINTR) is
// made again; any other failure returns -1 with errno set, and nothing is
// logged here (the caller knows what the failure means). No other module of
// the meter calls open, read, write, poll or ioctl itself.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

// Opens `path` exactly as given (already mapped with Platform_path) with
// O_NOCTTY and O_CLOEXEC added, so that a device that goes away never sends
// the meter a hang-up signal and no child inherits the descriptor.
int Device_open(const char* path, int flags, mode_t mode = 0);
// Opens a device path ("/dev/ttyS1"), mapped under the device root first.
int Device_openDevice(std::string_view devicePath, int flags, mode_t mode = 0);

// One read of at most `length` bytes: the count (0 at end of file or a
// terminal's time-out), or -1.
ssize_t Device_read(int fd, void* buffer, std::size_t length);
// One write: the count written, or -1.
ssize_t Device_write(int fd, const void* data, std::size_t length);
// Writes all of `data`, completing partial writes. False (errno set) when a
// write fails.
bool Device_writeAll(int fd, std::string_view data);
// Waits for the descriptors' events. An interrupted wait starts again with
// the full time-out. Returns the number of ready descriptors, 0 on time-out,
// or -1.
int Device_poll(pollfd* fds, nfds_t count, int timeoutMs);
// A driver request without argument, or with one pointer argument.
int Device_ioctl(int fd, unsigned long request);
int Device_ioctl(int fd, unsigned long request, void* argument);
// A driver request whose argument is a plain number (an I2C slave address).
int Device_ioctlValue(int fd, unsigned long request, unsigned long value);
// Closes; a close interrupted by a signal is not retried (the descriptor is
// gone either way on Linux). Returns close()'s result.
int Device_close(int fd);

// Which file a path or a descriptor names: device and inode. A node that
// vanished and came back (a re-plugged USB sensor) is another file even
// under the same name.
struct DeviceFileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const DeviceFileId&) const = default;
};
// Follows links. False (errno set) when the path does not exist.
bool Device_fileId(const std::string& path, DeviceFileId* id);
// False (errno set) when the descriptor is not open.
bool Device_descriptorId(int fd, DeviceFileId* id);

// Reads at most `limit` bytes of a small file (sysfs attributes, one-line
// records) in one read. False when it cannot be opened or read.
bool Device_readSmallFile(const std::string& path, std::size_t limit, std::string* text);
