// Enumeration image maps over static {key, image} tables ended by key -1.
#include "Vantor_util/Vantor_util.h"

#include <cstring>

namespace Vantor_util {

bool MapCompareChar::operator()(const char* a, const char* b) const
{
    return std::strcmp(a, b) < 0;
}

EnumImage_c::EnumImage_c(const EnumPair_t* table, EnumCompare_t compare)
    : table_(table), compare_(compare != nullptr ? compare : &std::strcmp)
{
}

int32_t EnumImage_c::GetKey(const char* image) const
{
    if (image == nullptr || table_ == nullptr) {
        return -1;
    }
    for (const EnumPair_t* row = table_; row->key != -1; ++row) {
        if (row->image != nullptr && compare_(row->image, image) == 0) {
            return row->key;
        }
    }
    return -1;
}

const char* EnumImage_c::GetValue(int32_t key) const
{
    if (table_ == nullptr || key == -1) {
        return nullptr;
    }
    for (const EnumPair_t* row = table_; row->key != -1; ++row) {
        if (row->key == key) {
            return row->image;
        }
    }
    return nullptr;
}

const char* EnumImage_c::GetImageSafe(int32_t key, bool* found) const
{
    const char* image = GetValue(key);
    if (found != nullptr) {
        *found = image != nullptr;
    }
    return image != nullptr ? image : "(unknown)";
}

size_t EnumImage_c::Size() const
{
    size_t n = 0;
    if (table_ != nullptr) {
        while (table_[n].key != -1) {
            ++n;
        }
    }
    return n;
}

const EnumImage_c& EnumImage_c::EmptyEnumImage()
{
    static const EnumPair_t noRows[] = {{-1, nullptr}};
    static const EnumImage_c empty(noRows);
    return empty;
}

EnumMap_c::EnumMap_c(const EnumPair_t* table, EnumCompare_t compare) : EnumImage_c(table, compare) {}

} // namespace Vantor_util
