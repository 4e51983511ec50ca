#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <utility>

#include "device_io.h"
#include "log_manager.h"
#include "platform.h"

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Links followed before the chain is taken for a loop.
constexpr int kMaxLinkDepth = 8;

// The file a path stands for. A file kept as a symbolic link (a system file
// pointing into a writable partition, say) must stay a link: its new content
// goes beside the file the link points to, not over the link.
std::string linkTarget(const std::string& path, int depth = 0) {
  struct stat entry {};
  if (depth >= kMaxLinkDepth || ::lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) return path;
  std::error_code error;
  std::filesystem::path target = std::filesystem::read_symlink(path, error);
  if (error) return path;
  if (target.is_relative()) target = std::filesystem::path(path).parent_path() / target;
  return linkTarget(target.string(), depth + 1);
}

int fail(const char* step, const std::string& path, const std::string& temp) {
  const int saved = errno;
  DIAGNOSTIC("%s %s errno=%d\n", step, path.c_str(), saved);
  if (!temp.empty()) ::unlink(temp.c_str());
  errno = saved;
  return -1;
}

// One writer at a time in this process: every writer goes through the same
// ".new" name beside its file.
std::mutex& writersLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

int AtomicFile_replace(const std::string& givenPath, std::string_view content, mode_t newFileMode) {
  std::lock_guard turn(writersLock());
  const std::string path = linkTarget(givenPath);
  mode_t mode = newFileMode;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;

  const std::string temp = path + ".new";
  UniqueFd fd(Device_open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode));
  if (!fd.valid()) return fail("open", temp, std::string());
  // The umask applied at creation must not narrow the old file's permissions.
  if (::fchmod(fd.get(), mode) != 0) return fail("fchmod", temp, temp);
  if (!Device_writeAll(fd.get(), content)) return fail("write", temp, temp);
  if (::fsync(fd.get()) != 0) return fail("fsync", temp, temp);
  if (fd.close() != 0) return fail("close", temp, temp);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("rename", path, temp);

  // Without this the rename may be lost at a power failure even though the
  // content itself is on the disk.
  UniqueFd folder(Device_open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.valid()) ::fsync(folder.get());
  return 0;
}

bool AtomicFile_read(const std::string& path, std::string& content, std::size_t maxBytes) {
  UniqueFd fd(Device_open(path.c_str(), O_RDONLY));
  if (!fd.valid()) return false;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = Device_read(fd.get(), buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - text.size()) {
      errno = EFBIG;
      return false;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  content = std::move(text);
  return true;
}
