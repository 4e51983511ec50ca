// Vantor_util: helpers shared by libVantor_cfgmgr and the configuration tools.
//
// Conventions: texts handed back to the caller are malloc'd and released with
// free(); functions that can fail report through their result and errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

namespace Vantor_util {

// Runs argv[0] (a path; no PATH search, no shell) with the argument vector
// argv. envp is the child's environment; null means "inherit ours". With
// wait true the call waits and returns the raw wait status (0 on success,
// status >> 8 is the exit code; a program that cannot be started exits 127).
// With wait false it returns 0 at once and stores the child in *pidOut.
// With a stream, the child's standard output goes to it: straight to its
// descriptor when it has one, else through a pipe copied until the child
// ends (not until every process holding the pipe has: a daemon the child
// starts never delays the return).
// statusOut, when given, receives the wait status too. -1 with errno when the
// child cannot be created.
int call_executable(char* const argv[], char* const envp[], bool wait, pid_t* pidOut,
                    FILE* stream, int* statusOut);

// Reads the whole file into a new buffer with a NUL after its last byte
// (freed with free()). 0 on success; -1 with errno set on failure, *buffer
// then null. size may be null.
int file_to_buffer(const char* path, char** buffer, uint64_t* size);

// Splits a file_to_buffer buffer into lines in place (each '\n' becomes NUL;
// with stripCarriageReturn a '\r' before it too). Returns the number of
// lines, -1 with errno EINVAL for a null buffer.
int buffer_split_lines(char* buffer, uint64_t size, bool stripCarriageReturn);

// Walks the lines of a split buffer. *cursor null starts at the first line;
// each call moves *cursor to the next line and returns it. At the end it
// returns the empty text at buffer[size]; an empty line is an empty text too
// (empty lines at the very end of the buffer are reported as the end).
char* buffer_next_line(char* buffer, uint64_t size, char** cursor);

// 0 same content, 1 different, 2 one of them cannot be read.
int file_cmp(const char* pathA, const char* pathB);

// 0 when dir is an existing directory we may read and enter; otherwise the
// errno value that tells why (ENOENT, ENOTDIR, EACCES, ...).
int ensureDirAccess(const char* dir);

// Writes text as a quoted JSON string literal into buffer (capacity bytes,
// NUL included). Quotes, backslashes and control characters are escaped;
// other bytes, UTF-8 included, pass unchanged. Callers size the buffer as
// 2 * strlen(text) + 3, which fits every text without control characters
// other than \b \f \n \r \t; anything that does not fit fails with ENOBUFS.
// 0 on success, -1 with errno set (EINVAL for null arguments).
int toSafeJSON(char* buffer, size_t capacity, const char* text);

// Decodes a quoted JSON string literal (nothing may follow the closing
// quote) into buffer; strlen(literal) - 1 bytes always suffice. \u escapes
// become UTF-8. Refused with EINVAL: missing quotes, bad escapes, raw
// control characters, unpaired surrogates and \u0000 (it would cut the text
// short). ENOBUFS when the buffer is too small. 0 on success, -1 on failure.
int fromSafeJSON(char* buffer, size_t capacity, const char* literal);

// True when the length bytes at text are strict UTF-8: shortest forms only,
// no surrogate code points, nothing above U+10FFFF. The one rule for every
// text a configuration may hold, in files and on command lines alike.
bool isStrictUtf8(const char* text, size_t length);

// strcmp order for maps keyed by C texts.
struct MapCompareChar {
    bool operator()(const char* a, const char* b) const;
};

// One row of an enumeration table; a table ends with key -1.
struct EnumPair_t {
    int32_t key;
    const char* image;
};

using EnumCompare_t = int (*)(const char*, const char*);

// Two-way map between the keys of an enumeration and their images. The table
// is referenced, not copied: it must outlive the map (tables are static).
class EnumImage_c {
public:
    explicit EnumImage_c(const EnumPair_t* table, EnumCompare_t compare = nullptr);
    virtual ~EnumImage_c() = default;

    // Key whose image matches (by the comparison function), or -1.
    int32_t GetKey(const char* image) const;
    // Image of key, or null.
    const char* GetValue(int32_t key) const;
    // Image of key; keys not in the table give "(unknown)" and found false.
    const char* GetImageSafe(int32_t key, bool* found = nullptr) const;
    // Number of rows before the terminator.
    size_t Size() const;
    const EnumPair_t* Table() const { return table_; }

    // A map with no rows.
    static const EnumImage_c& EmptyEnumImage();

private:
    const EnumPair_t* table_;
    EnumCompare_t compare_;
};

class EnumMap_c : public EnumImage_c {
public:
    EnumMap_c(const EnumPair_t* table, EnumCompare_t compare);
};

} // namespace Vantor_util

// Runs program with up to four arguments (a null ends the list early), waits,
// and returns the wait status (0 on success).
int Vantor_util__call_executable_5(const char* program, const char* arg1 = nullptr,
                                   const char* arg2 = nullptr, const char* arg3 = nullptr,
                                   const char* arg4 = nullptr);

// The first path of the null-terminated list that access(2) grants mode
// for, or null.
const char* Vantor_util__access_list(const char* const* paths, int mode);
