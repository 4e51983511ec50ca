// Null, boolean, double, raw number and string values.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "slab.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Vantor_cfgmgr {

namespace {

template <class W>
W* checkedWriter(W* writer)
{
    detail::requireNotNull(writer, "writer must not be NULL");
    return writer;
}

} // namespace

// ---- ValueNull

ValueGeneric* ValueNull::Clone(bool) const
{
    auto* c = new ValueNull();
    c->StoreAccessClass(GetAccessClass());
    return c;
}

template <class W> bool ValueNull::WriteTo(W* writer) const { return checkedWriter(writer)->Null(); }
bool ValueNull::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueNull::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }
bool ValueNull::IsEqualTo(const ValueGeneric* other) const { return other != nullptr && other->IsNull(); }

int ValueNull::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    return newValue->IsNull() ? 0 : 3;
}

int ValueNull::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    return other->IsNull() ? 0 : 3;
}

// ---- ValueBool

ValueGeneric* ValueBool::Clone(bool) const
{
    auto* c = new ValueBool(value_);
    c->StoreAccessClass(GetAccessClass());
    return c;
}

template <class W> bool ValueBool::WriteTo(W* writer) const { return checkedWriter(writer)->Bool(value_); }
bool ValueBool::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueBool::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueBool::IsEqualTo(const ValueGeneric* other) const
{
    const ValueBool* b = other != nullptr ? other->AsBool() : nullptr;
    return b != nullptr && b->value_ == value_;
}

int ValueBool::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsBool()) {
        return 3;
    }
    value_ = newValue->GetBool();
    return 0;
}

int ValueBool::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueBool* b = other->AsBool();
    if (b == nullptr) {
        return 3;
    }
    value_ = b->value_;
    return 0;
}

// ---- ValueDouble

ValueGeneric* ValueDouble::Clone(bool) const
{
    auto* c = new ValueDouble(value_);
    c->StoreAccessClass(GetAccessClass());
    return c;
}

template <class W> bool ValueDouble::WriteTo(W* writer) const { return checkedWriter(writer)->Double(value_); }
bool ValueDouble::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueDouble::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueDouble::IsEqualTo(const ValueGeneric* other) const
{
    const ValueDouble* d = other != nullptr ? other->AsDouble() : nullptr;
    return d != nullptr && d->value_ == value_;
}

int ValueDouble::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsDouble()) {
        return 3;
    }
    value_ = newValue->GetDouble();
    return 0;
}

int ValueDouble::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueDouble* d = other->AsDouble();
    if (d == nullptr) {
        return 3;
    }
    value_ = d->value_;
    return 0;
}

// ---- TextHolder

void TextHolder::Clear()
{
    if (owns_) {
        detail::SlabFree(text_, size_t{length_} + 1);
    }
    text_ = nullptr;
    length_ = 0;
    owns_ = false;
}

void TextHolder::Set(const char* text, uint32_t length, bool copy)
{
    if (text == nullptr) {
        Clear();
        return;
    }
    char* stored = nullptr;
    if (copy) {
        // Owned texts are never handed out to be freed elsewhere (GetValueDup
        // makes a malloc'd copy), so they come from the value pool too.
        stored = static_cast<char*>(detail::SlabAllocate(size_t{length} + 1));
        std::memcpy(stored, text, length);
        stored[length] = '\0';
    } else {
        // Referenced texts are never written or freed through this pointer.
        stored = const_cast<char*>(text);
    }
    Clear();
    text_ = stored;
    length_ = length;
    owns_ = copy;
}

bool TextHolder::SameText(const TextHolder& o) const
{
    if (text_ == nullptr || o.text_ == nullptr) {
        return text_ == o.text_;
    }
    return length_ == o.length_ && std::memcmp(text_, o.text_, length_) == 0;
}

// ---- ValueRawNumber

ValueRawNumber::ValueRawNumber(const char* text, uint32_t length, bool copy) { SetText(text, length, copy); }

void ValueRawNumber::SetText(const char* text, uint32_t length, bool copy)
{
    if (text != nullptr && std::strlen(text) != length) {
        throw std::invalid_argument("Embedded 0x00 not allowed in RawNumber value");
    }
    text_.Set(text, length, copy);
}

ValueGeneric* ValueRawNumber::Clone(bool) const
{
    auto* c = new ValueRawNumber();
    c->text_.Set(text_.Text(), text_.Length(), text_.OwnsText());
    c->StoreAccessClass(GetAccessClass());
    return c;
}

template <class W> bool ValueRawNumber::WriteTo(W* writer) const
{
    const char* t = text_.Text() != nullptr ? text_.Text() : "";
    return checkedWriter(writer)->RawNumber(t, text_.Length(), true);
}
bool ValueRawNumber::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueRawNumber::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueRawNumber::IsEqualTo(const ValueGeneric* other) const
{
    const ValueRawNumber* r = other != nullptr ? other->AsRawNumber() : nullptr;
    return r != nullptr && r->text_.SameText(text_);
}

int ValueRawNumber::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsString()) {
        return 3;
    }
    SetText(newValue->GetString(), newValue->GetStringLength(), true);
    return 0;
}

int ValueRawNumber::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueRawNumber* r = other->AsRawNumber();
    if (r == nullptr) {
        return 3;
    }
    if (r != this) {
        text_.Set(r->text_.Text(), r->text_.Length(), true);
    }
    return 0;
}

// ---- ValueString

ValueString::ValueString(const char* text, bool copy) { SetValue(text, copy); }

ValueString::ValueString(const char* text, uint32_t length, bool copy) { SetValue(text, length, copy); }

void ValueString::SetValue(const char* text, bool copy)
{
    text_.Set(text, text != nullptr ? static_cast<uint32_t>(std::strlen(text)) : 0, copy);
}

void ValueString::SetValue(const char* text, uint32_t length, bool copy) { text_.Set(text, length, copy); }

char* ValueString::GetValueDup() const
{
    if (text_.Text() == nullptr) {
        return nullptr;
    }
    auto* dup = static_cast<char*>(std::malloc(size_t{text_.Length()} + 1));
    if (dup == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(dup, text_.Text(), text_.Length());
    dup[text_.Length()] = '\0';
    return dup;
}

ValueGeneric* ValueString::Clone(bool deep) const
{
    auto* c = new ValueString();
    if (deep) {
        c->text_.Set(text_.Text(), text_.Length(), true);
    } else {
        c->text_.Set(text_.Text(), text_.Length(), text_.OwnsText());
        c->StoreAccessClass(GetAccessClass());
    }
    return c;
}

template <class W> bool ValueString::WriteTo(W* writer) const
{
    const char* t = text_.Text() != nullptr ? text_.Text() : "";
    return checkedWriter(writer)->String(t, text_.Length(), true);
}
bool ValueString::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueString::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueString::IsEqualTo(const ValueGeneric* other) const
{
    const ValueString* s = other != nullptr ? other->AsString() : nullptr;
    return s != nullptr && s->text_.SameText(text_);
}

int ValueString::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsString()) {
        return 3;
    }
    text_.Set(newValue->GetString(), newValue->GetStringLength(), true);
    return 0;
}

int ValueString::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueString* s = other->AsString();
    if (s == nullptr) {
        return 3;
    }
    if (s != this) {
        text_.Set(s->text_.Text(), s->text_.Length(), true);
    }
    return 0;
}

} // namespace Vantor_cfgmgr
