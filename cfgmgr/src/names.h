// Property names, interned: every distinct name is stored once for the whole
// process and shared, with a count of its holders, by all objects that use
// it. Configuration trees repeat a few short names millions of times, so a
// property then costs one pointer for its name instead of a heap copy.
//
// An interned name is an ordinary NUL-terminated text; only these functions
// may create, share or release one.
#pragma once

#include <cstddef>

namespace Vantor_cfgmgr::detail {

// The interned copy of text[0..length) (which holds no NUL), with one more
// holder. Throws std::bad_alloc.
const char* InternName(const char* text, size_t length);
const char* InternName(const char* text);
// One more holder of an interned name (no lookup).
const char* ShareName(const char* name);
// One holder fewer; the last frees the text.
void ReleaseName(const char* name);

} // namespace Vantor_cfgmgr::detail
