// Writing a value to its file: pretty JSON through fileName.new, the old
// content kept as fileName.bak, so a configuration file is never left half
// written.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace Vantor_cfgmgr {

namespace {

[[noreturn]] void fail(const char* what, int status)
{
    std::perror(what);
    std::exit(status);
}

// Writes all of data, retrying short writes and interruptions.
bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int ValueGeneric::Save(const char* fileName) const
{
    if (fileName == nullptr || *fileName == '\0') {
        throw std::invalid_argument("fileName must be non-NULL and non-empty");
    }
    rapidjson::StringBuffer buffer;
    PrettyWriter writer(buffer);
    writer.SetIndent(' ', 4);
    if (!PrettyWrite(&writer)) {
        // Nothing has been touched yet; a value that cannot be written as
        // JSON (NaN, infinity) must not replace a good file.
        throw std::domain_error("value cannot be written as JSON");
    }
    std::string text(buffer.GetString(), buffer.GetSize());
    text += '\n';

    std::string backup = detail::bounded<4096>("%s%s", fileName, ".bak");
    std::string fresh = detail::bounded<4096>("%s%s", fileName, ".new");

    if (::unlink(backup.c_str()) != 0 && errno == EACCES) {
        fail("fileName backup delete", 2);
    }
    int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail("fileName open", 3);
    }
    if (!writeAll(fd, text.data(), text.size())) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        fail("fileName write", 2);
    }
    // The new content must be on disk before the renames make it current.
    if (::fsync(fd) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        fail("fileName write", 2);
    }
    if (::close(fd) != 0) {
        fail("fileName close", 2);
    }
    // The backup is made as a second name of the current file, so the file
    // name never disappears: the rename below replaces it in one step.
    // Where hard links are not possible the current file is moved instead.
    bool hadOldFile = true;
    if (::link(fileName, backup.c_str()) != 0) {
        if (errno == ENOENT) {
            hadOldFile = false;
        } else if (::rename(fileName, backup.c_str()) != 0) {
            if (errno != ENOENT) {
                fail("fileName move to backup", 2);
            }
            hadOldFile = false;
        }
    }
    if (::rename(fresh.c_str(), fileName) != 0) {
        fail("fileNameNew move to active", 2);
    }
    ::sync();
    // A file written for the first time has no backup to compare with; its
    // content is new, which is a change and not a failed comparison.
    if (!hadOldFile) {
        return 1;
    }
    return Vantor_util::file_cmp(backup.c_str(), fileName);
}

} // namespace Vantor_cfgmgr
