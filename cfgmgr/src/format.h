// Private helpers shared by the library's sources.
#pragma once

#include <rapidjson/document.h>

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace Vantor_cfgmgr {
class ValueObject;
}

namespace Vantor_cfgmgr::detail {

// printf into a bounded buffer of N bytes (each message has its fixed
// buffer size); longer texts are cut, never overrun.
template <size_t N>
[[gnu::format(printf, 1, 2)]] std::string bounded(const char* fmt, ...)
{
    char buf[N];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return std::string(buf);
}

template <class E>
[[noreturn]] void raise(const std::string& text)
{
    throw E(text);
}

inline void requireNotNull(const void* p, const char* message)
{
    if (p == nullptr) {
        throw std::invalid_argument(message);
    }
}

// Depth beyond which parsed JSON is refused: deeper trees would exhaust the
// stack of the recursive walks (destroy, compare, write).
constexpr unsigned kMaxNesting = 1000;

// True when JSON text opens more than kMaxNesting containers at once
// (brackets inside strings do not count). Checked before a DOM is built,
// because building and destroying a DOM recurse as deep as the text nests.
bool exceedsNesting(const char* text, size_t length);

// Parses JSON text into doc (iteratively, numbers at full precision). 0 on
// success; otherwise the error is diagnosed on standard error and its
// non-zero code returned.
int parseText(rapidjson::Document& doc, const char* jsonText, size_t length);

// Raises every property's access class to the object's, as storing each one
// with SetProperty would; for objects filled wholesale.
void raiseToObjectClass(const ValueObject& object);

} // namespace Vantor_cfgmgr::detail
