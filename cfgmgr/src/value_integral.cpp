// Integral numbers of four subtypes sharing one 64-bit cell.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

#include <limits>

namespace Vantor_cfgmgr {

namespace {

// A mathematical integer as sign and magnitude, so that numbers of any two
// subtypes compare without overflow.
struct SignedMagnitude {
    bool negative;
    uint64_t magnitude;
    bool operator==(const SignedMagnitude&) const = default;
};

SignedMagnitude valueOf(const ValueIntegralNumber& n)
{
    int64_t s = 0;
    switch (n.GetSubtype()) {
    case subtypeInt: s = n.GetInt(); break;
    case subtypeInt64: s = n.GetInt64(); break;
    case subtypeUint: return {false, n.GetUint()};
    case subtypeUint64: return {false, n.GetUint64()};
    }
    if (s < 0) {
        // Two's complement negation in unsigned arithmetic: exact for INT64_MIN.
        return {true, 0 - static_cast<uint64_t>(s)};
    }
    return {false, static_cast<uint64_t>(s)};
}

void checkSubtype(IntegralSubtype subtype)
{
    if (subtype < subtypeInt || subtype > subtypeUint64) {
        throw std::domain_error("unexpected integral subtype");
    }
}

// Int and Uint keep the high half of the cell 0.
uint64_t normalisedCell(IntegralSubtype subtype, uint64_t cell)
{
    return (subtype == subtypeInt || subtype == subtypeUint) ? (cell & 0xFFFFFFFFu) : cell;
}

template <class Concrete, class Base>
const Concrete* exactClass(const Base* self, bool subtypeMatches)
{
    return subtypeMatches ? dynamic_cast<const Concrete*>(self) : nullptr;
}

} // namespace

ValueIntegralNumber::ValueIntegralNumber(IntegralSubtype subtype, uint64_t cell)
    : cell_(normalisedCell(subtype, cell)), subtype_(subtype)
{
    checkSubtype(subtype);
}

ValueIntegralNumber* ValueIntegralNumber::Make(IntegralSubtype subtype, uint64_t cell)
{
    switch (subtype) {
    case subtypeInt: return new ValueInt(static_cast<int32_t>(static_cast<uint32_t>(cell)));
    case subtypeUint: return new ValueUint(static_cast<uint32_t>(cell));
    case subtypeInt64: return new ValueInt64(static_cast<int64_t>(cell));
    case subtypeUint64: return new ValueUint64(cell);
    }
    throw std::domain_error("unexpected integral subtype");
}

void ValueIntegralNumber::SetNumber(IntegralSubtype subtype, uint64_t cell)
{
    checkSubtype(subtype);
    subtype_ = subtype;
    cell_ = normalisedCell(subtype, cell);
}

#define VANTOR_INTEGRAL_ACCESSORS(Name, Class, Subtype)                                      \
    const Class* ValueIntegralNumber::As##Name() const                                       \
    {                                                                                        \
        return exactClass<Class>(this, subtype_ == Subtype);                                 \
    }                                                                                        \
    bool ValueIntegralNumber::As##Name(const Class*& out) const                              \
    {                                                                                        \
        const Class* p = As##Name();                                                         \
        if (p != nullptr) {                                                                  \
            out = p;                                                                         \
        }                                                                                    \
        return p != nullptr;                                                                 \
    }                                                                                        \
    bool ValueIntegralNumber::As##Name(Class*& out)                                          \
    {                                                                                        \
        Class* p = subtype_ == Subtype ? dynamic_cast<Class*>(this) : nullptr;               \
        if (p != nullptr) {                                                                  \
            out = p;                                                                         \
        }                                                                                    \
        return p != nullptr;                                                                 \
    }

VANTOR_INTEGRAL_ACCESSORS(Int, ValueInt, subtypeInt)
VANTOR_INTEGRAL_ACCESSORS(Uint, ValueUint, subtypeUint)
VANTOR_INTEGRAL_ACCESSORS(Int64, ValueInt64, subtypeInt64)
VANTOR_INTEGRAL_ACCESSORS(Uint64, ValueUint64, subtypeUint64)
#undef VANTOR_INTEGRAL_ACCESSORS

bool ValueIntegralNumber::IsNonNegative() const
{
    switch (subtype_) {
    case subtypeInt: return GetInt() >= 0;
    case subtypeInt64: return GetInt64() >= 0;
    default: return true;
    }
}

bool ValueIntegralNumber::IsZero() const
{
    return (subtype_ == subtypeInt || subtype_ == subtypeUint) ? GetUint() == 0 : cell_ == 0;
}

ValueGeneric* ValueIntegralNumber::Clone(bool) const
{
    ValueIntegralNumber* c = Make(subtype_, cell_);
    c->StoreAccessClass(GetAccessClass());
    return c;
}

template <class W> bool ValueIntegralNumber::WriteTo(W* writer) const
{
    detail::requireNotNull(writer, "writer must not be NULL");
    switch (subtype_) {
    case subtypeInt: return writer->Int(GetInt());
    case subtypeUint: return writer->Uint(GetUint());
    case subtypeInt64: return writer->Int64(GetInt64());
    case subtypeUint64: return writer->Uint64(GetUint64());
    }
    throw std::domain_error("unexpected integral subtype");
}
bool ValueIntegralNumber::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueIntegralNumber::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueIntegralNumber::IsEqualTo(const ValueGeneric* other) const
{
    const ValueIntegralNumber* n = other != nullptr ? other->AsIntegralNumber() : nullptr;
    return n != nullptr && valueOf(*n) == valueOf(*this);
}

int ValueIntegralNumber::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (newValue->IsInt()) {
        SetNumber(subtypeInt, CellOfInt(newValue->GetInt()));
    } else if (newValue->IsUint()) {
        SetNumber(subtypeUint, newValue->GetUint());
    } else if (newValue->IsInt64()) {
        SetNumber(subtypeInt64, static_cast<uint64_t>(newValue->GetInt64()));
    } else if (newValue->IsUint64()) {
        SetNumber(subtypeUint64, newValue->GetUint64());
    } else {
        return 3;
    }
    return 0;
}

int ValueIntegralNumber::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueIntegralNumber* n = other->AsIntegralNumber();
    if (n == nullptr) {
        return 3;
    }
    SetNumber(n->subtype_, n->cell_);
    return 0;
}

} // namespace Vantor_cfgmgr
