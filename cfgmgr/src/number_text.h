// Numbers read from their text, in front of a SAX handler.
//
// The library's reader checks the JSON grammar of a number and hands over
// its text (the reader runs with kParseNumbersAsStringsFlag); the value is
// made here. rapidjson's own full-precision conversion gives wrong values
// for a zero significand with a large exponent ("0e100" read as about
// -2e146) and lets a number that rounds beyond the largest double through
// as infinity, which can then never be written back. Here the conversion is
// correctly rounded (std::from_chars), a zero stays zero, and a number
// beyond a double is refused as the reader refuses one with too many
// digits. Integers take the same kinds as the reader gives them.
#pragma once

#include <rapidjson/reader.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace Vantor_cfgmgr::detail {

// The value of a number text whose grammar the reader has checked.
struct NumberValue {
    enum Kind { kInt, kUint, kInt64, kUint64, kDouble, kTooBig } kind = kTooBig;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
};

inline double parseDoubleText(const char* text, size_t length, bool& tooBig)
{
    double d = 0;
    const auto [end, ec] = std::from_chars(text, text + length, d);
    tooBig = false;
    if (ec == std::errc() && end == text + length) {
        return d;
    }
    // Out of range one way or the other: strtod in the C locale tells an
    // underflow (a tiny or zero value, kept) from an overflow (refused).
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string copy(text, length);
    d = ::strtod_l(copy.c_str(), nullptr, cLocale);
    tooBig = std::isinf(d);
    return d;
}

inline NumberValue numberOfText(const char* text, size_t length)
{
    NumberValue n;
    const bool minus = length > 0 && text[0] == '-';
    uint64_t magnitude = 0;
    bool integral = true;
    for (size_t k = minus ? 1 : 0; k < length && integral; ++k) {
        const char c = text[k];
        if (c < '0' || c > '9') {
            integral = false;
        } else if (magnitude > (UINT64_MAX - static_cast<uint64_t>(c - '0')) / 10) {
            integral = false; // beyond 64 bits: a double, as the reader makes it
        } else {
            magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        }
    }
    if (integral && !minus) {
        n.kind = magnitude <= UINT32_MAX ? NumberValue::kUint : NumberValue::kUint64;
        n.u = magnitude;
        return n;
    }
    if (integral && magnitude <= (uint64_t{1} << 63)) {
        n.kind = magnitude <= (uint64_t{1} << 31) ? NumberValue::kInt : NumberValue::kInt64;
        n.i = static_cast<int64_t>(~magnitude + 1);
        return n;
    }
    bool tooBig = false;
    n.d = parseDoubleText(text, length, tooBig);
    n.kind = tooBig ? NumberValue::kTooBig : NumberValue::kDouble;
    return n;
}

// Forwards every event to handler, numbers made from their text. Stream is
// the reader's input, asked where a refused number began.
template <class Handler, class Stream>
class NumberText {
public:
    NumberText(Handler& handler, const Stream& stream) : handler_(handler), stream_(stream) {}

    bool Null() { return handler_.Null(); }
    bool Bool(bool b) { return handler_.Bool(b); }
    bool Int(int i) { return handler_.Int(i); }
    bool Uint(unsigned u) { return handler_.Uint(u); }
    bool Int64(int64_t i) { return handler_.Int64(i); }
    bool Uint64(uint64_t u) { return handler_.Uint64(u); }
    bool Double(double d) { return handler_.Double(d); }
    bool String(const char* text, rapidjson::SizeType length, bool copy) { return handler_.String(text, length, copy); }
    bool StartObject() { return handler_.StartObject(); }
    bool Key(const char* text, rapidjson::SizeType length, bool copy) { return handler_.Key(text, length, copy); }
    bool EndObject(rapidjson::SizeType members) { return handler_.EndObject(members); }
    bool StartArray() { return handler_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) { return handler_.EndArray(elements); }

    bool RawNumber(const char* text, rapidjson::SizeType length, bool)
    {
        const NumberValue n = numberOfText(text, length);
        switch (n.kind) {
        case NumberValue::kUint: return handler_.Uint(static_cast<unsigned>(n.u));
        case NumberValue::kUint64: return handler_.Uint64(n.u);
        case NumberValue::kInt: return handler_.Int(static_cast<int>(n.i));
        case NumberValue::kInt64: return handler_.Int64(n.i);
        case NumberValue::kDouble: return handler_.Double(n.d);
        case NumberValue::kTooBig: break;
        }
        // The reader has just taken the number's last character.
        tooBigAt_ = stream_.Tell() - length;
        return false;
    }

    // Turns the stop at a refused number into the reader's own error.
    void Explain(rapidjson::ParseResult& result) const
    {
        if (result.Code() == rapidjson::kParseErrorTermination && tooBigAt_ != kNone) {
            result.Set(rapidjson::kParseErrorNumberTooBig, tooBigAt_);
        }
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    Handler& handler_;
    const Stream& stream_;
    size_t tooBigAt_ = kNone;
};

} // namespace Vantor_cfgmgr::detail
