// A configuration program's own configuration file (its "environment
// file"): reading it, and checking it against its JSON schema (-S).
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

namespace Vantor_cfgmgr {

struct FreeBuffer {
    void operator()(char* p) const { std::free(p); }
};

// The file's text, NUL-terminated, with its size.
struct EnvironmentText {
    std::unique_ptr<char, FreeBuffer> text;
    uint64_t size = 0;
};

// Reads the environment file; an unreadable file ends the program with
// status 3 after "env open: ...".
EnvironmentText readEnvironmentFile(const std::string& envFile);

// Validates envFile against schemaFile and ends the program: status 0 after
// "<program> environment file "<envFile>" conforms to schema"; 2 after the
// parse diagnosis and the three "Invalid environment ..." lines for a file
// that breaks the schema, or after the diagnosis of unparsable JSON; 3 when
// a file cannot be opened.
[[noreturn]] void checkEnvironmentSchema(const char* programPath, const std::string& envFile,
                                         const std::string& schemaFile);

} // namespace Vantor_cfgmgr
