// Whole-file buffers, line walking and file comparison.
#include "Vantor_util/Vantor_util.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

} // namespace

namespace Vantor_util {

int file_to_buffer(const char* path, char** buffer, uint64_t* size)
{
    if (buffer == nullptr) {
        errno = EINVAL;
        return -1;
    }
    *buffer = nullptr;
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    File f(std::fopen(path, "rb"));
    if (!f) {
        return -1;
    }
    // Read in growing chunks rather than trusting st_size: files under /proc
    // and pipes report 0 and still have content.
    size_t capacity = 4096;
    size_t used = 0;
    std::unique_ptr<char, FreeDeleter> data(static_cast<char*>(std::malloc(capacity)));
    if (!data) {
        errno = ENOMEM;
        return -1;
    }
    for (;;) {
        if (used + 1 >= capacity) {
            capacity *= 2;
            char* grown = static_cast<char*>(std::realloc(data.get(), capacity));
            if (grown == nullptr) {
                errno = ENOMEM;
                return -1;
            }
            (void)data.release();
            data.reset(grown);
        }
        size_t n = std::fread(data.get() + used, 1, capacity - used - 1, f.get());
        used += n;
        if (n == 0) {
            if (std::ferror(f.get())) {
                return -1;
            }
            break;
        }
    }
    data.get()[used] = '\0';
    if (size != nullptr) {
        *size = used;
    }
    *buffer = data.release();
    return 0;
}

int buffer_split_lines(char* buffer, uint64_t size, bool stripCarriageReturn)
{
    if (buffer == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // A "\r\n" pair is squeezed to one terminator by moving the rest of the
    // text down; the freed tail is filled with NULs, so the buffer still ends
    // in NUL at buffer[size] and every line ends in exactly one NUL.
    uint64_t out = 0;
    int lines = 0;
    for (uint64_t in = 0; in < size; ++in) {
        char c = buffer[in];
        if (stripCarriageReturn && c == '\r' && in + 1 < size && buffer[in + 1] == '\n') {
            continue;
        }
        if (c == '\n') {
            c = '\0';
            ++lines;
        }
        buffer[out++] = c;
    }
    if (out > 0 && buffer[out - 1] != '\0') {
        ++lines; // last line without a final newline
    }
    std::memset(buffer + out, 0, size - out);
    return lines;
}

char* buffer_next_line(char* buffer, uint64_t size, char** cursor)
{
    if (buffer == nullptr || cursor == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char* end = buffer + size;
    char* line = *cursor;
    if (line == nullptr) {
        line = buffer;
    } else if (line < end) {
        line += std::strlen(line);
        if (line < end) {
            ++line; // the NUL that ended the current line
        }
    }
    // Past the last line only NULs remain (the tail freed by squeezing
    // "\r\n"); report them as the end rather than as empty lines.
    if (line < end && *line == '\0') {
        char* p = line;
        while (p < end && *p == '\0') {
            ++p;
        }
        if (p == end) {
            line = end;
        }
    }
    if (line > end) {
        line = end;
    }
    *cursor = line;
    return line;
}

int file_cmp(const char* pathA, const char* pathB)
{
    if (pathA == nullptr || pathB == nullptr) {
        return 2;
    }
    File a(std::fopen(pathA, "rb"));
    File b(std::fopen(pathB, "rb"));
    if (!a || !b) {
        return 2;
    }
    char chunkA[4096];
    char chunkB[4096];
    for (;;) {
        size_t na = std::fread(chunkA, 1, sizeof chunkA, a.get());
        size_t nb = std::fread(chunkB, 1, sizeof chunkB, b.get());
        if (std::ferror(a.get()) || std::ferror(b.get())) {
            return 2;
        }
        if (na != nb || std::memcmp(chunkA, chunkB, na) != 0) {
            return 1;
        }
        if (na == 0) {
            return 0;
        }
    }
}

int ensureDirAccess(const char* dir)
{
    if (dir == nullptr || *dir == '\0') {
        return EINVAL;
    }
    struct stat st {};
    if (::stat(dir, &st) != 0) {
        return errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    if (::access(dir, R_OK | X_OK) != 0) {
        return errno;
    }
    return 0;
}

} // namespace Vantor_util
