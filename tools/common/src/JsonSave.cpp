#include "tools_common/JsonFile.h"
#include "tools_common/ToolOptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <memory>
#include <rapidjson/filewritestream.h>
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

using FilePrettyWriter = rapidjson::PrettyWriter<rapidjson::FileWriteStream>;

// Writes value through writer as ValueGeneric::PrettyWrite does, but
// straight into the file: a large configuration is never held a second
// time as text in memory. False for a value JSON cannot hold (NaN).
bool writeValue(const ValueGeneric* value, FilePrettyWriter& writer)
{
    if (const ValueObject* object = value->AsObject()) {
        writer.StartObject();
        for (const auto& [name, property] : object->GetProperties()) {
            writer.Key(name, static_cast<rapidjson::SizeType>(std::strlen(name)));
            if (!writeValue(property, writer)) {
                return false;
            }
        }
        return writer.EndObject();
    }
    if (const ValueArray* array = value->AsArray()) {
        writer.StartArray();
        for (const ValueGeneric* element : array->GetElements()) {
            if (!writeValue(element, writer)) {
                return false;
            }
        }
        return writer.EndArray();
    }
    if (const ValueString* string = value->AsString()) {
        return writer.String(string->GetValue() != nullptr ? string->GetValue() : "", string->GetLength());
    }
    if (const ValueIntegralNumber* number = value->AsIntegralNumber()) {
        switch (number->GetSubtype()) {
        case subtypeInt: return writer.Int(number->GetInt());
        case subtypeUint: return writer.Uint(number->GetUint());
        case subtypeInt64: return writer.Int64(number->GetInt64());
        case subtypeUint64: return writer.Uint64(number->GetUint64());
        }
        throw std::domain_error("unexpected integral subtype");
    }
    if (const ValueDouble* d = value->AsDouble()) {
        return writer.Double(d->GetValue());
    }
    if (const ValueBool* b = value->AsBool()) {
        return writer.Bool(b->GetValue());
    }
    if (const ValueRawNumber* raw = value->AsRawNumber()) {
        return writer.String(raw->GetValue() != nullptr ? raw->GetValue() : "", raw->GetLength());
    }
    return writer.Null();
}

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
    std::vector<char> chunk(1 << 16);
    rapidjson::FileWriteStream stream(file.get(), chunk.data(), chunk.size());
    FilePrettyWriter writer(stream);
    writer.SetIndent(' ', 4);
    if (!writeValue(value, writer)) {
        return false;
    }
    stream.Put('\n');
    stream.Flush();
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
