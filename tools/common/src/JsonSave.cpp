#include "tools_common/JsonFile.h"
#include "tools_common/ToolOptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Vantor_cfgmgr {

namespace {

// Owns one descriptor.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now, reporting the result.
    int close()
    {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

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

std::string render(const ValueGeneric* value)
{
    rapidjson::StringBuffer buffer;
    PrettyWriter writer(buffer);
    writer.SetIndent(' ', 4);
    if (!value->PrettyWrite(&writer)) {
        throw std::domain_error("value cannot be written as JSON");
    }
    std::string text(buffer.GetString(), buffer.GetSize());
    text += '\n';
    return text;
}

// Makes the renames in the file's directory durable.
void syncDirectoryOf(const char* fileName)
{
    std::vector<char> copy(fileName, fileName + std::strlen(fileName) + 1);
    Fd dir(::open(::dirname(copy.data()), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

} // namespace

int saveJsonFile(const ValueGeneric* value, const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        throw std::invalid_argument("fileName must be non-NULL and non-empty");
    }
    const std::string text = render(value);
    const std::string backup = std::string(fileName) + ".bak";
    const std::string fresh = std::string(fileName) + ".new";

    Fd fd(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        toolPerrorExit("fileName open", 3);
    }
    if (!writeAll(fd.get(), text.data(), text.size()) || ::fsync(fd.get()) != 0) {
        toolPerrorExit("fileName write", 2);
    }
    if (fd.close() != 0) {
        toolPerrorExit("fileName close", 2);
    }
    if (::unlink(backup.c_str()) != 0 && errno != ENOENT) {
        toolPerrorExit("fileName backup delete", 2);
    }
    bool existed = true;
    if (::link(fileName, backup.c_str()) != 0) {
        if (errno != ENOENT) {
            toolPerrorExit("fileName move to backup", 2);
        }
        existed = false;
    }
    if (::rename(fresh.c_str(), fileName) != 0) {
        toolPerrorExit("fileNameNew move to active", 2);
    }
    syncDirectoryOf(fileName);
    return existed ? Vantor_util::file_cmp(backup.c_str(), fileName) : 1;
}

} // namespace Vantor_cfgmgr
