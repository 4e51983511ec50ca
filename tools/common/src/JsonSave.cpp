#include "tools_common/JsonFile.h"
#include "tools_common/ToolOptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <memory>
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

private:
    int fd_;
};

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Writes the pretty JSON of value and a final newline to the new file and
// syncs it. False when the value cannot be written as JSON; a failing write
// ends the program.
bool writeNewFile(const ValueGeneric* value, const std::string& fresh)
{
    int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        toolPerrorExit("fileName open", 3);
    }
    std::unique_ptr<FILE, FileCloser> file(::fdopen(fd, "w"));
    if (!file) {
        ::close(fd);
        toolPerrorExit("fileName open", 3);
    }
    switch (writePrettyJson(value, file.get())) {
    case PrettyJsonResult::notJson: return false;
    case PrettyJsonResult::writeFailed: toolPerrorExit("fileName write", 2);
    case PrettyJsonResult::written: break;
    }
    std::fputc('\n', file.get());
    if (std::ferror(file.get()) != 0 || std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0) {
        toolPerrorExit("fileName write", 2);
    }
    if (std::fclose(file.release()) != 0) {
        toolPerrorExit("fileName close", 2);
    }
    return true;
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
    const std::string backup = std::string(fileName) + ".bak";
    const std::string fresh = std::string(fileName) + ".new";
    if (!writeNewFile(value, fresh)) {
        ::unlink(fresh.c_str());
        throw std::domain_error("value cannot be written as JSON");
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
