// What every value shares: reference counting, access classes, type
// compatibility and assignment from JSON text.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "slab.h"

#include <cstring>
#include <memory>

namespace Vantor_cfgmgr {

void* ValueGeneric::operator new(std::size_t size) { return detail::SlabAllocate(size); }

void ValueGeneric::operator delete(void* block, std::size_t size) noexcept { detail::SlabFree(block, size); }

void ValueGeneric::Release()
{
    if (--refCount_ <= 0) {
        // The only place a value is destroyed; creation is always by new
        // through the class constructors (heap objects, count 1).
        delete this;
    }
}

void ValueGeneric::SetAccessClass(AccessClass_t newAccessClass)
{
    if (newAccessClass < accessClass_) {
        std::fprintf(stderr, "*** Warning: Lowering of Property accessClass from \"%s\" to \"%s\"\n",
                     AccessClassImage(accessClass_), AccessClassImage(newAccessClass));
    }
    if (newAccessClass > writeOnly) {
        throw std::invalid_argument("unrecognized newAccessClass");
    }
    accessClass_ = newAccessClass;
}

namespace {

// The kind of value for compatibility: integral subtypes are one kind, raw
// numbers are compatible with nothing (kind 0).
int kindOf(const ValueGeneric* v)
{
    if (v->IsObject()) return 1;
    if (v->IsString()) return 2;
    if (v->IsBool()) return 3;
    if (v->IsIntegralNumber()) return 4;
    if (v->IsArray()) return 5;
    if (v->IsNull()) return 6;
    if (v->IsDouble()) return 7;
    return 0;
}

int kindOf(const JsonValue* v)
{
    if (v->IsObject()) return 1;
    if (v->IsString()) return 2;
    if (v->IsBool()) return 3;
    if (v->IsInt() || v->IsUint() || v->IsInt64() || v->IsUint64()) return 4;
    if (v->IsArray()) return 5;
    if (v->IsNull()) return 6;
    if (v->IsDouble()) return 7;
    return 0;
}

} // namespace

bool ValueGeneric::IsTypeCompatible(const ValueGeneric* other) const
{
    if (other == nullptr) {
        return false;
    }
    int k = kindOf(this);
    return k != 0 && k == kindOf(other);
}

bool ValueGeneric::IsTypeCompatible(const JsonValue* other) const
{
    if (other == nullptr) {
        return false;
    }
    int k = kindOf(this);
    return k != 0 && k == kindOf(other);
}

int ValueGeneric::SetValue(const char* jsonText)
{
    detail::requireNotNull(jsonText, "jsonText must not be NULL");
    return SetValue(jsonText, std::strlen(jsonText));
}

int ValueGeneric::SetValue(const char* jsonText, size_t length)
{
    detail::requireNotNull(jsonText, "jsonText must not be NULL");
    rapidjson::MemoryPoolAllocator<> allocator(1024);
    rapidjson::Document doc(&allocator);
    if (int r = detail::parseText(doc, jsonText, length); r != 0) {
        return r;
    }
    return SetValue(static_cast<const JsonValue*>(&doc));
}

} // namespace Vantor_cfgmgr
