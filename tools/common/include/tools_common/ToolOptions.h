// Option state and message helpers shared by the configuration programs
// (vcfg, vprop). The programs are single-threaded and read their options
// once at start, so the state is one process-wide record.
#pragma once

#include "Vantor_cfgmgr/Lib.h"

#include <cstdio>
#include <string>

namespace Vantor_cfgmgr {

// How property names and values are printed and read.
enum PropertyFormat_t : unsigned {
    formatURL = 0,        // name=value lines
    formatLineJSON = 1,   // one compact JSON object on one line
    formatObjectJSON = 2, // one pretty-printed JSON object
};

struct ToolOptions {
    PropertyFormat_t propertyFormat = formatLineJSON;
    bool formatNoName = false;        // -n: values without property names
    bool notFoundOK = false;          // -N: a missing property is not an error
    std::string propertyIdFilename;   // -f
    std::string subsystemName;        // -s: the object the paths start from
    unsigned verbosity = 0;           // count of -v
};

extern ToolOptions toolOptions;

// Stores an option vcfg and vprop share (-f -v -n -u -j -J -N, with its
// argument) in toolOptions; false for any other option letter.
bool setSharedToolOption(int option, const char* argument);

// printf to the error stream of the program (standard error or the -o file).
[[gnu::format(printf, 1, 2)]] void toolError(const char* fmt, ...);
// toolError, then exit with status.
[[noreturn, gnu::format(printf, 2, 3)]] void toolFail(int status, const char* fmt, ...);
// printf to the output stream when at least one -v was given.
[[gnu::format(printf, 1, 2)]] void toolVerbose(const char* fmt, ...);
// The refusal of setting a "deleted" marker that a merged configuration
// holds (it never should): message, then exit with 2.
[[noreturn]] void toolFailDeletedInMerged(const std::string& id);
// perror(what), then exit with status.
[[noreturn]] void toolPerrorExit(const char* what, int status);

// Calls fn(index, record) for each record, in index order, that -s names
// (every record without -s) until fn answers false. False, after printing
// "No such subsystem as ...", when -s names none of them.
template <class Records, class Fn>
bool forEachSelectedSubsystem(const Records& records, Fn&& fn)
{
    const std::string& wanted = toolOptions.subsystemName;
    bool any = false;
    for (const auto& [index, record] : records) {
        if (!wanted.empty() && record->Name() != wanted) {
            continue;
        }
        any = true;
        if (!fn(index, *record)) {
            break;
        }
    }
    if (!wanted.empty() && !any) {
        std::fprintf(OutputStream(), "No such subsystem as \"%s\".\n", wanted.c_str());
        return false;
    }
    return true;
}

// The exit status a command reports for a child's raw wait status: the
// child's exit code, 128 + signal for a killed child, 254 when it could not
// be started at all. Never 0 for a non-zero wait status.
int exitCodeOfWaitStatus(int waitStatus);

} // namespace Vantor_cfgmgr
