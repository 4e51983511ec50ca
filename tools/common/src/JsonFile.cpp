#include "tools_common/JsonFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Vantor_cfgmgr {

ValueGeneric* loadJsonFile(const char* fileName)
{
    GenericSAX handler;
    parseJsonFile(fileName, handler);
    return handler.ReleaseRoot();
}

void parseJsonFile(const char* fileName, GenericSAX& handler)
{
    try {
        handler.ParseFile(fileName);
    } catch (const std::runtime_error& e) {
        // Callers tell a missing file (ENOENT, ENODATA) from a broken one by
        // errno, and Load leaves errno as it was on a parse error: a stale
        // ENOENT must not make a malformed file look absent.
        if (std::strcmp(e.what(), "JSON Parse Error") == 0) {
            errno = EBADMSG;
        }
        throw;
    }
}

} // namespace Vantor_cfgmgr
