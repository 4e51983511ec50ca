// Reading a JSON configuration file into a value tree.
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

namespace Vantor_cfgmgr {

// Reads fileName and returns its root (an object, or an array), owned by the
// caller. Failures throw std::runtime_error with errno telling why: "fileName
// not found" (errno of the read, ENOENT for a missing file), "fileName
// empty" (ENODATA), "JSON Parse Error" (after the diagnosis on the error
// stream; duplicate names in one object are refused).
ValueGeneric* loadJsonFile(const char* fileName);

} // namespace Vantor_cfgmgr
