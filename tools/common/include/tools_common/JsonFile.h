// Reading a JSON configuration file into a value tree.
#pragma once

#include "Vantor_cfgmgr/GenericSAX.h"
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <cstdio>

namespace Vantor_cfgmgr {

// ValueGeneric::Load: reads fileName and returns its root (an object, or an
// array), owned by the caller. Failures throw std::runtime_error with errno
// telling why: "fileName not found" (errno of the read, ENOENT for a missing
// file), "fileName empty" (ENODATA), "JSON Parse Error" (EBADMSG, after the
// diagnosis on standard error; duplicate names in one object are refused).
ValueGeneric* loadJsonFile(const char* fileName);
// Feeds fileName to handler (GenericSAX::ParseFile) with the same failures
// and errno values as loadJsonFile.
void parseJsonFile(const char* fileName, GenericSAX& handler);

enum class PrettyJsonResult { written, notJson, writeFailed };

// Writes value to file as pretty JSON, four-space indentation, exactly as
// rapidjson's PrettyWriter lays it out, without a final newline. notJson
// when the tree holds a number JSON cannot (NaN, infinity): the file then
// holds part of the text. writeFailed when the file refused a write (errno
// tells why).
PrettyJsonResult writePrettyJson(const ValueGeneric* value, FILE* file);

// Writes value to fileName as pretty JSON (four-space indentation and a
// final newline), keeping the previous content as fileName + ".bak".
// Returns 1 when the content changed or the file is new, 0 when it is
// unchanged, 2 when the two could not be compared. A value that cannot be
// written as JSON throws std::domain_error before any file is touched; a
// failing write ends the program (status 3 when the new file cannot be
// created, else 2) with the previous content still in place.
//
// The file is never missing or half written, even when the program is
// killed: the new content goes to fileName + ".new" and is synced; the
// backup is made as a second link to the current file; then the new file
// is renamed over the current one in one step.
int saveJsonFile(const ValueGeneric* value, const char* fileName);

} // namespace Vantor_cfgmgr
