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

// InternName through a reader's own small cache of the names it met last:
// a file repeats a few names over and over, and a cached name is shared
// without the table's lock. slots is a power of two; the cache holds each
// name it keeps once, until ReleaseCachedNames.
const char* InternCached(const char** cache, size_t slots, const char* text, size_t length);
void ReleaseCachedNames(const char** cache, size_t slots);

} // namespace Vantor_cfgmgr::detail
