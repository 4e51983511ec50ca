// The typed property readers of objects: each checks class, conversion and
// range, and throws with a text that names the property.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace Vantor_cfgmgr {

namespace {

constexpr size_t kMessageSize = 4096;

[[noreturn]] void wrongClass(const char* name, const char* typeWord)
{
    throw std::invalid_argument(detail::bounded<kMessageSize>("property \"%s\" must be %s", name, typeWord));
}

const ValueString* stringProperty(const ValueObject& obj, const char* name)
{
    const ValueGeneric* v = obj.GetProperty(name);
    if (v == nullptr) {
        return nullptr;
    }
    const ValueString* s = v->AsString();
    if (s == nullptr) {
        wrongClass(name, "String");
    }
    return s;
}

const ValueIntegralNumber* integralProperty(const ValueObject& obj, const char* name, const char* typeWord)
{
    const ValueGeneric* v = obj.GetProperty(name);
    if (v == nullptr) {
        return nullptr;
    }
    const ValueIntegralNumber* n = v->AsIntegralNumber();
    if (n == nullptr) {
        wrongClass(name, typeWord);
    }
    return n;
}

void checkLength(const ValueString& s, const char* name, unsigned minLen, unsigned maxLen)
{
    unsigned len = s.GetLength();
    if (len < minLen || len > maxLen) {
        throw std::length_error(detail::bounded<kMessageSize>(
            "property \"%s\" had length %u, but must have length in [%lu, %lu]", name, len,
            static_cast<unsigned long>(minLen), static_cast<unsigned long>(maxLen)));
    }
}

void checkRegex(const ValueString& s, const char* name, const regex_t* regex)
{
    const char* text = s.GetValue() != nullptr ? s.GetValue() : "";
    if (::regexec(regex, text, 0, nullptr, 0) != 0) {
        throw std::invalid_argument(
            detail::bounded<kMessageSize>("property \"%s\" : \"%s\" does not match required regex", name, text));
    }
}

void checkEnum(const ValueString& s, const char* name, const Vantor_util::EnumImage_c& validEnum, unsigned* key)
{
    const char* text = s.GetValue() != nullptr ? s.GetValue() : "";
    int32_t k = validEnum.GetKey(text);
    if (k == -1) {
        throw std::invalid_argument(
            detail::bounded<kMessageSize>("illegal propValue \"%s\" for property \"%s\"", text, name));
    }
    if (key != nullptr) {
        *key = static_cast<unsigned>(k);
    }
}

void storeDup(char*& out, const ValueString& s)
{
    char* dup = s.GetValueDup();
    std::free(out);
    out = dup;
}

// The number as a signed 64-bit value, or throws overflow with tooLarge when
// it is a Uint64 above INT64_MAX.
int64_t asInt64(const ValueIntegralNumber& n, const char* tooLarge)
{
    switch (n.GetSubtype()) {
    case subtypeInt: return n.GetInt();
    case subtypeUint: return n.GetUint();
    case subtypeInt64: return n.GetInt64();
    case subtypeUint64:
        if (n.GetUint64() > static_cast<uint64_t>(INT64_MAX)) {
            throw std::overflow_error(tooLarge);
        }
        return static_cast<int64_t>(n.GetUint64());
    }
    throw std::domain_error("unexpected integral subtype");
}

// The number as an unsigned 64-bit value, or throws when it is negative.
uint64_t asUint64(const ValueIntegralNumber& n, const char* negative)
{
    if (!n.IsNonNegative()) {
        throw std::overflow_error(negative);
    }
    switch (n.GetSubtype()) {
    case subtypeInt: return static_cast<uint64_t>(n.GetInt());
    case subtypeUint: return n.GetUint();
    case subtypeInt64: return static_cast<uint64_t>(n.GetInt64());
    case subtypeUint64: return n.GetUint64();
    }
    throw std::domain_error("unexpected integral subtype");
}

} // namespace

bool ValueObject::UpdateValue(const char*& out, const char* name, unsigned minLen, unsigned maxLen) const
{
    const ValueString* s = stringProperty(*this, name);
    if (s == nullptr) {
        return false;
    }
    checkLength(*s, name, minLen, maxLen);
    out = s->GetValue();
    return true;
}

bool ValueObject::UpdateValue(const char*& out, const char* name, const regex_t* regex, unsigned minLen,
                              unsigned maxLen) const
{
    detail::requireNotNull(regex, "regex must not be NULL");
    const ValueString* s = stringProperty(*this, name);
    if (s == nullptr) {
        return false;
    }
    checkLength(*s, name, minLen, maxLen);
    checkRegex(*s, name, regex);
    out = s->GetValue();
    return true;
}

bool ValueObject::UpdateValue(const char*& out, const char* name, const Vantor_util::EnumImage_c* validEnum,
                              unsigned* key) const
{
    detail::requireNotNull(validEnum, "validEnum must not be NULL");
    const ValueString* s = stringProperty(*this, name);
    if (s == nullptr) {
        return false;
    }
    checkEnum(*s, name, *validEnum, key);
    out = s->GetValue();
    return true;
}

// The char*& forms check exactly as the const char*& forms and then hand out
// a fresh copy of the text.
bool ValueObject::UpdateValue(char*& out, const char* name, unsigned minLen, unsigned maxLen) const
{
    const char* text = nullptr;
    if (!UpdateValue(text, name, minLen, maxLen)) {
        return false;
    }
    storeDup(out, *GetProperty(name)->AsString());
    return true;
}

bool ValueObject::UpdateValue(char*& out, const char* name, const regex_t* regex, unsigned minLen,
                              unsigned maxLen) const
{
    const char* text = nullptr;
    if (!UpdateValue(text, name, regex, minLen, maxLen)) {
        return false;
    }
    storeDup(out, *GetProperty(name)->AsString());
    return true;
}

bool ValueObject::UpdateValue(char*& out, const char* name, const Vantor_util::EnumImage_c* validEnum,
                              unsigned* key) const
{
    const char* text = nullptr;
    if (!UpdateValue(text, name, validEnum, key)) {
        return false;
    }
    storeDup(out, *GetProperty(name)->AsString());
    return true;
}

bool ValueObject::UpdateValue(int& out, const char* name, int min, int max) const
{
    const ValueIntegralNumber* n = integralProperty(*this, name, "Integer");
    if (n == nullptr) {
        return false;
    }
    int64_t v = asInt64(*n, "number too large for Integer");
    if (v > INT_MAX) {
        throw std::overflow_error("number too large for Integer");
    }
    if (v < INT_MIN) {
        throw std::overflow_error("number too negative for Integer");
    }
    if (v < min || v > max) {
        throw std::invalid_argument(detail::bounded<kMessageSize>(
            "property \"%s\" had propValue %d, but must have propValue in [%d, %d]", name, static_cast<int>(v), min,
            max));
    }
    out = static_cast<int>(v);
    return true;
}

bool ValueObject::UpdateValue(unsigned& out, const char* name, unsigned min, unsigned max) const
{
    const ValueIntegralNumber* n = integralProperty(*this, name, "Unsigned Integer");
    if (n == nullptr) {
        return false;
    }
    uint64_t v = asUint64(*n, "Unsigned Integer must be non-negative");
    if (v > UINT_MAX) {
        throw std::overflow_error("number too large for Unsigned Integer");
    }
    if (v < min || v > max) {
        throw std::invalid_argument(detail::bounded<kMessageSize>(
            "property \"%s\" had propValue %u, but must have propValue in [%u, %u]", name,
            static_cast<unsigned>(v), min, max));
    }
    out = static_cast<unsigned>(v);
    return true;
}

bool ValueObject::UpdateValue(long long& out, const char* name, long long min, long long max) const
{
    const ValueIntegralNumber* n = integralProperty(*this, name, "64-bit Integer");
    if (n == nullptr) {
        return false;
    }
    int64_t v = asInt64(*n, "number too large for 64-bit Integer");
    if (v < min || v > max) {
        throw std::invalid_argument(detail::bounded<kMessageSize>(
            "property \"%s\" had propValue %lld, but must have propValue in [%lld, %lld]", name,
            static_cast<long long>(v), min, max));
    }
    out = v;
    return true;
}

bool ValueObject::UpdateValue(unsigned long long& out, const char* name, unsigned long long min,
                              unsigned long long max) const
{
    const ValueIntegralNumber* n = integralProperty(*this, name, "Unsigned 64-bit Integer");
    if (n == nullptr) {
        return false;
    }
    uint64_t v = asUint64(*n, "Unsigned 64-bit Integer must be non-negative");
    if (v < min || v > max) {
        throw std::invalid_argument(detail::bounded<kMessageSize>(
            "property \"%s\" had propValue %llu, but must have propValue in [%llu, %llu]", name,
            static_cast<unsigned long long>(v), min, max));
    }
    out = v;
    return true;
}

bool ValueObject::UpdateValue(double& out, const char* name) const
{
    const ValueGeneric* v = GetProperty(name);
    if (v == nullptr) {
        return false;
    }
    const ValueDouble* d = v->AsDouble();
    if (d == nullptr) {
        wrongClass(name, "Double");
    }
    out = d->GetValue();
    return true;
}

bool ValueObject::UpdateValue(bool& out, const char* name) const
{
    const ValueGeneric* v = GetProperty(name);
    if (v == nullptr) {
        return false;
    }
    const ValueBool* b = v->AsBool();
    if (b == nullptr) {
        wrongClass(name, "Boolean");
    }
    out = b->GetValue();
    return true;
}

bool ValueObject::UpdateValue(ValueObject*& out, const char* name) const
{
    ValueGeneric* v = GetProperty(name);
    if (v == nullptr) {
        return false;
    }
    ValueObject* o = nullptr;
    if (!v->AsObject(o)) {
        wrongClass(name, "Object");
    }
    out = o;
    return true;
}

bool ValueObject::UpdateValue(ValueArray*& out, const char* name) const
{
    ValueGeneric* v = GetProperty(name);
    if (v == nullptr) {
        return false;
    }
    ValueArray* a = nullptr;
    if (!v->AsArray(a)) {
        wrongClass(name, "Array");
    }
    out = a;
    return true;
}

} // namespace Vantor_cfgmgr
