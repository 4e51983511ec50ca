#include "tools_common/ToolOptions.h"

#include "Vantor_cfgmgr/Lib.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace Vantor_cfgmgr {

ToolOptions toolOptions;

void toolError(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(ErrorStream(), fmt, ap);
    va_end(ap);
}

bool setSharedToolOption(int option, const char* argument)
{
    switch (option) {
    case 'f': toolOptions.propertyIdFilename = argument; return true;
    case 'v': ++toolOptions.verbosity; return true;
    case 'n': toolOptions.formatNoName = true; return true;
    case 'u': toolOptions.propertyFormat = formatURL; return true;
    case 'j': toolOptions.propertyFormat = formatLineJSON; return true;
    case 'J': toolOptions.propertyFormat = formatObjectJSON; return true;
    case 'N': toolOptions.notFoundOK = true; return true;
    default: return false;
    }
}

void toolFail(int status, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(ErrorStream(), fmt, ap);
    va_end(ap);
    std::exit(status);
}

void toolVerbose(const char* fmt, ...)
{
    if (toolOptions.verbosity == 0) {
        return;
    }
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(OutputStream(), fmt, ap);
    va_end(ap);
}

void toolFailDeletedInMerged(const std::string& id)
{
    toolFail(2,
             "*** Illegal configuration: \"deleted\" cannot occur within a merged configuration file, but did "
             "within \"%s\"\n",
             id.c_str());
}

void toolPerrorExit(const char* what, int status)
{
    // perror's text, but on the program's error stream so that -o catches it.
    int saved = errno;
    std::fprintf(ErrorStream(), "%s: %s\n", what, std::strerror(saved));
    std::exit(status);
}

int exitCodeOfWaitStatus(int waitStatus)
{
    if (waitStatus == 0) {
        return 0;
    }
    if (waitStatus < 0) {
        return 254;
    }
    if (WIFEXITED(waitStatus)) {
        int code = WEXITSTATUS(waitStatus);
        return code != 0 ? code : 2;
    }
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return 2;
}

} // namespace Vantor_cfgmgr
