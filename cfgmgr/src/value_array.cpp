// Arrays: ordered elements, iteration with predicates, and conversion to C
// arrays of texts or enumeration keys.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Vantor_cfgmgr {

ValueArray::~ValueArray() { Clear(); }

void ValueArray::Clear()
{
    std::vector<ValueGeneric*> old;
    old.swap(elements_);
    for (ValueGeneric* v : old) {
        v->Release();
    }
}

bool ValueArray::AsArray(const ValueArray*& out) const
{
    out = this;
    return true;
}

bool ValueArray::AsArray(ValueArray*& out)
{
    out = this;
    return true;
}

void ValueArray::Adopt(ValueGeneric* v)
{
    if (v->GetAccessClass() < GetAccessClass()) {
        v->SetAccessClass(GetAccessClass());
    }
}

void ValueArray::AddElement(ValueGeneric* v)
{
    detail::requireNotNull(v, "newValue must not be NULL");
    Adopt(v);
    elements_.push_back(v);
}

void ValueArray::SetElement(unsigned idx, ValueGeneric* v)
{
    detail::requireNotNull(v, "newValue must not be NULL");
    if (idx >= elements_.size()) {
        throw std::out_of_range(detail::bounded<100>("elemIdx was %u, but must be in the range [0..%u]", idx,
                                                     static_cast<unsigned>(elements_.size())));
    }
    Adopt(v);
    ValueGeneric* old = elements_[idx];
    elements_[idx] = v;
    old->Release();
}

bool ValueArray::RemoveElement(unsigned idx)
{
    if (idx >= elements_.size()) {
        return false;
    }
    ValueGeneric* old = elements_[idx];
    elements_.erase(elements_.begin() + idx);
    old->Release();
    return true;
}

ValueGeneric* ValueArray::Clone(bool deep) const
{
    Ref<ValueArray> c(new ValueArray());
    c->elements_.reserve(elements_.size());
    for (ValueGeneric* v : elements_) {
        c->elements_.push_back(deep ? v->Clone(true) : v->AddRef());
    }
    return c.release();
}

template <class W> bool ValueArray::WriteTo(W* writer) const
{
    detail::requireNotNull(writer, "writer must not be NULL");
    if (!writer->StartArray()) {
        return false;
    }
    for (const ValueGeneric* v : elements_) {
        bool ok = false;
        if constexpr (std::is_same_v<W, PrettyWriter>) {
            ok = v->PrettyWrite(writer);
        } else {
            ok = v->Write(writer);
        }
        if (!ok) {
            return false;
        }
    }
    return writer->EndArray(static_cast<rapidjson::SizeType>(elements_.size()));
}
bool ValueArray::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueArray::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueArray::IsEqualTo(const ValueGeneric* other) const
{
    const ValueArray* a = other != nullptr ? other->AsArray() : nullptr;
    if (a == nullptr || a->elements_.size() != elements_.size()) {
        return false;
    }
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (!elements_[i]->IsEqualTo(a->elements_[i])) {
            return false;
        }
    }
    return true;
}

int ValueArray::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueArray* a = other->AsArray();
    if (a == nullptr) {
        return 3;
    }
    if (a == this) {
        return 0;
    }
    // Hold the source while emptying ourselves: it may live inside us.
    Ref<ValueGeneric> keep(const_cast<ValueGeneric*>(other)->AddRef());
    Clear();
    for (ValueGeneric* v : a->elements_) {
        AddElement(v->AddRef());
    }
    return 0;
}

namespace {

// The shared walk of both IterateElements forms.
template <class Elements, class Call>
int iterate(const Elements& elements, bool stopOnFirst, Call call)
{
    int remembered = 0;
    for (auto* v : elements) {
        int r = 0;
        try {
            r = call(v);
        } catch (const std::exception&) {
            if (stopOnFirst) {
                throw;
            }
            r = -1;
        }
        if (r != 0) {
            if (stopOnFirst) {
                return r;
            }
            if (remembered == 0) {
                remembered = r;
            }
        }
    }
    return remembered;
}

// The text of a string element, or throws the element messages.
const char* elementText(const ValueGeneric* v)
{
    const ValueString* s = v->AsString();
    if (s == nullptr) {
        throw std::invalid_argument("all array elements must be ValueString");
    }
    if (s->GetValue() == nullptr) {
        throw std::invalid_argument("all array elements must be non-NULL Strings");
    }
    return s->GetValue();
}

} // namespace

int ValueArray::IterateElements(ConstAction action, const void* arg, bool stopOnFirst) const
{
    if (action == nullptr) {
        throw std::invalid_argument("action must not be NULL");
    }
    return iterate(elements_, stopOnFirst, [&](const ValueGeneric* v) { return action(v, arg); });
}

int ValueArray::IterateElements(Action action, void* arg, bool stopOnFirst)
{
    if (action == nullptr) {
        throw std::invalid_argument("action must not be NULL");
    }
    return iterate(elements_, stopOnFirst, [&](ValueGeneric* v) { return action(v, arg); });
}

char** ValueArray::ToStringArray() const
{
    if (elements_.empty()) {
        return nullptr;
    }
    auto** out = static_cast<char**>(std::calloc(elements_.size() + 1, sizeof(char*)));
    if (out == nullptr) {
        throw std::bad_alloc();
    }
    try {
        for (size_t i = 0; i < elements_.size(); ++i) {
            out[i] = ::strdup(elementText(elements_[i]));
            if (out[i] == nullptr) {
                throw std::bad_alloc();
            }
        }
    } catch (...) {
        DeleteStringArray(out);
        throw;
    }
    return out;
}

void ValueArray::DeleteStringArray(char** array)
{
    if (array == nullptr) {
        return;
    }
    for (char** p = array; *p != nullptr; ++p) {
        std::free(*p);
    }
    std::free(array);
}

bool ValueArray::HasElement(const char* checkValue) const
{
    detail::requireNotNull(checkValue, "checkValue must not be NULL");
    for (const ValueGeneric* v : elements_) {
        if (std::strcmp(elementText(v), checkValue) == 0) {
            return true;
        }
    }
    return false;
}

int32_t* ValueArray::ToEnumArray(const Vantor_util::EnumImage_c* validEnum) const
{
    detail::requireNotNull(validEnum, "validEnum must not be NULL");
    if (elements_.empty()) {
        return nullptr;
    }
    auto* out = static_cast<int32_t*>(std::malloc((elements_.size() + 1) * sizeof(int32_t)));
    if (out == nullptr) {
        throw std::bad_alloc();
    }
    try {
        for (size_t i = 0; i < elements_.size(); ++i) {
            int32_t key = validEnum->GetKey(elementText(elements_[i]));
            if (key == -1) {
                throw std::invalid_argument("array element is not a valid enumeration image");
            }
            out[i] = key;
        }
    } catch (...) {
        std::free(out);
        throw;
    }
    out[elements_.size()] = -1;
    return out;
}

// ---- element predicates

#define VANTOR_PREDICATE(Name, Test)                                                                 \
    int Name(const ValueGeneric* v, const void*) { return (v != nullptr && v->Test()) ? 0 : 1; }

VANTOR_PREDICATE(ValueIsNull, IsNull)
VANTOR_PREDICATE(ValueIsBool, IsBool)
VANTOR_PREDICATE(ValueIsInt, IsInt)
VANTOR_PREDICATE(ValueIsUint, IsUint)
VANTOR_PREDICATE(ValueIsInt64, IsInt64)
VANTOR_PREDICATE(ValueIsUint64, IsUint64)
VANTOR_PREDICATE(ValueIsIntegralNumber, IsIntegralNumber)
VANTOR_PREDICATE(ValueIsDouble, IsDouble)
VANTOR_PREDICATE(ValueIsRawNumber, IsRawNumber)
VANTOR_PREDICATE(ValueIsString, IsString)
VANTOR_PREDICATE(ValueIsObject, IsObject)
VANTOR_PREDICATE(ValueIsArray, IsArray)
#undef VANTOR_PREDICATE

int ValueIsEnum(const ValueGeneric* v, const void* arg)
{
    detail::requireNotNull(arg, "validEnumArg must not be NULL");
    const auto* validEnum = static_cast<const Vantor_util::EnumMap_c*>(arg);
    const ValueString* s = v != nullptr ? v->AsString() : nullptr;
    if (s == nullptr || s->GetValue() == nullptr) {
        return 1;
    }
    return validEnum->GetKey(s->GetValue()) == -1 ? 1 : 0;
}

} // namespace Vantor_cfgmgr
