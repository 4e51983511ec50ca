// The scalar value classes: null, boolean, integral numbers, doubles, raw
// numbers and strings.
#pragma once

#include "Vantor_cfgmgr/Value.h"

namespace Vantor_cfgmgr {

#define VANTOR_CFGMGR_OWN_ACCESSORS(Name, Class)                                \
    const Class* As##Name() const override { return this; }                     \
    bool As##Name(const Class*& out) const override                             \
    {                                                                           \
        out = this;                                                             \
        return true;                                                            \
    }                                                                           \
    bool As##Name(Class*& out) override                                         \
    {                                                                           \
        out = this;                                                             \
        return true;                                                            \
    }

#define VANTOR_CFGMGR_VALUE_COMMON()                                            \
    ValueGeneric* Clone(bool deep) const override;                              \
    bool Write(Writer* writer) const override;                                  \
    bool PrettyWrite(PrettyWriter* writer) const override;                      \
    bool IsEqualTo(const ValueGeneric* other) const override;                   \
    int SetValue(const JsonValue* newValue) override;                           \
    int SetValue(const ValueGeneric* other) override;                           \
    using ValueGeneric::SetValue;

class ValueNull : public ValueGeneric {
public:
    ValueNull() = default;
    bool IsNull() const override { return true; }
    VANTOR_CFGMGR_OWN_ACCESSORS(Null, ValueNull)
    VANTOR_CFGMGR_VALUE_COMMON()

private:
    template <class W> bool WriteTo(W* writer) const;
};

class ValueBool : public ValueGeneric {
public:
    explicit ValueBool(bool v = false) : value_(v) {}
    bool IsBool() const override { return true; }
    VANTOR_CFGMGR_OWN_ACCESSORS(Bool, ValueBool)
    VANTOR_CFGMGR_VALUE_COMMON()
    bool GetValue() const { return value_; }
    void SetValue(bool v) { value_ = v; }

private:
    template <class W> bool WriteTo(W* writer) const;
    bool value_;
};

// An integer of one of four subtypes. Int and Uint sit in the low 32 bits of
// the cell with the high half 0; Int64 and Uint64 use the whole cell.
class ValueIntegralNumber : public ValueGeneric {
public:
    ValueIntegralNumber(IntegralSubtype subtype, uint64_t cell);

    bool IsInt() const override { return subtype_ == subtypeInt; }
    bool IsUint() const override { return subtype_ == subtypeUint; }
    bool IsInt64() const override { return subtype_ == subtypeInt64; }
    bool IsUint64() const override { return subtype_ == subtypeUint64; }
    VANTOR_CFGMGR_OWN_ACCESSORS(IntegralNumber, ValueIntegralNumber)
    // The class-specific accessors answer when the subtype matches and the
    // value is of that class (values are always made as the class of their
    // subtype; after an in-place change of subtype use AsIntegralNumber).
    const ValueInt* AsInt() const override;
    bool AsInt(const ValueInt*& out) const override;
    bool AsInt(ValueInt*& out) override;
    const ValueUint* AsUint() const override;
    bool AsUint(const ValueUint*& out) const override;
    bool AsUint(ValueUint*& out) override;
    const ValueInt64* AsInt64() const override;
    bool AsInt64(const ValueInt64*& out) const override;
    bool AsInt64(ValueInt64*& out) override;
    const ValueUint64* AsUint64() const override;
    bool AsUint64(const ValueUint64*& out) const override;
    bool AsUint64(ValueUint64*& out) override;
    VANTOR_CFGMGR_VALUE_COMMON()

    virtual bool IsNonNegative() const;
    virtual bool IsZero() const;

    IntegralSubtype GetSubtype() const { return subtype_; }
    uint64_t GetCell() const { return cell_; }
    // The number read per subtype.
    int32_t GetInt() const { return static_cast<int32_t>(static_cast<uint32_t>(cell_)); }
    uint32_t GetUint() const { return static_cast<uint32_t>(cell_); }
    int64_t GetInt64() const { return static_cast<int64_t>(cell_); }
    uint64_t GetUint64() const { return cell_; }
    // Takes over subtype and cell (an unknown subtype throws std::domain_error).
    void SetNumber(IntegralSubtype subtype, uint64_t cell);

    // A value of the concrete class of the subtype.
    static ValueIntegralNumber* Make(IntegralSubtype subtype, uint64_t cell);
    static uint64_t CellOfInt(int32_t v) { return static_cast<uint32_t>(v); }

private:
    template <class W> bool WriteTo(W* writer) const;
    uint64_t cell_;
    IntegralSubtype subtype_;
};

class ValueInt : public ValueIntegralNumber {
public:
    explicit ValueInt(int32_t v = 0) : ValueIntegralNumber(subtypeInt, CellOfInt(v)) {}
};

class ValueUint : public ValueIntegralNumber {
public:
    explicit ValueUint(uint32_t v = 0) : ValueIntegralNumber(subtypeUint, v) {}
};

class ValueInt64 : public ValueIntegralNumber {
public:
    explicit ValueInt64(int64_t v = 0) : ValueIntegralNumber(subtypeInt64, static_cast<uint64_t>(v)) {}
};

class ValueUint64 : public ValueIntegralNumber {
public:
    explicit ValueUint64(uint64_t v = 0) : ValueIntegralNumber(subtypeUint64, v) {}
};

class ValueDouble : public ValueGeneric {
public:
    explicit ValueDouble(double v = 0.0) : value_(v) {}
    bool IsDouble() const override { return true; }
    VANTOR_CFGMGR_OWN_ACCESSORS(Double, ValueDouble)
    VANTOR_CFGMGR_VALUE_COMMON()
    double GetValue() const { return value_; }
    void SetValue(double v) { value_ = v; }

private:
    template <class W> bool WriteTo(W* writer) const;
    double value_;
};

// Common part of raw numbers and strings: a text that is either owned (a
// heap copy freed with the value) or referenced (kept alive elsewhere).
class TextHolder {
public:
    TextHolder() = default;
    TextHolder(const TextHolder&) = delete;
    TextHolder& operator=(const TextHolder&) = delete;
    ~TextHolder() { Clear(); }
    const char* Text() const { return text_; }
    uint32_t Length() const { return length_; }
    bool OwnsText() const { return owns_; }
    // Stores text[0..length) (copied when copy is set, else referenced).
    void Set(const char* text, uint32_t length, bool copy);
    void Clear();
    bool SameText(const TextHolder& o) const;

private:
    char* text_ = nullptr;
    uint32_t length_ = 0;
    bool owns_ = false;
};

// A number kept as its source text.
class ValueRawNumber : public ValueGeneric {
public:
    ValueRawNumber() = default;
    // Refuses a text with an embedded NUL (std::invalid_argument).
    ValueRawNumber(const char* text, uint32_t length, bool copy);
    bool IsRawNumber() const override { return true; }
    VANTOR_CFGMGR_OWN_ACCESSORS(RawNumber, ValueRawNumber)
    VANTOR_CFGMGR_VALUE_COMMON()
    void SetText(const char* text, uint32_t length, bool copy);
    const char* GetValue() const { return text_.Text(); }
    uint32_t GetLength() const { return text_.Length(); }
    bool OwnsText() const { return text_.OwnsText(); }

private:
    template <class W> bool WriteTo(W* writer) const;
    TextHolder text_;
};

class ValueString : public ValueGeneric {
public:
    ValueString() = default;
    // text may be null (an empty, absent text). Copied when copy is set.
    ValueString(const char* text, bool copy);
    ValueString(const char* text, uint32_t length, bool copy);
    bool IsString() const override { return true; }
    VANTOR_CFGMGR_OWN_ACCESSORS(String, ValueString)
    VANTOR_CFGMGR_VALUE_COMMON()
    // Frees an owned old text and stores the new one.
    void SetValue(const char* text, bool copy);
    void SetValue(const char* text, uint32_t length, bool copy);
    const char* GetValue() const { return text_.Text(); }
    uint32_t GetLength() const { return text_.Length(); }
    bool OwnsText() const { return text_.OwnsText(); }
    // A fresh heap copy of the text (free() it), or null for a null text.
    char* GetValueDup() const;

private:
    template <class W> bool WriteTo(W* writer) const;
    TextHolder text_;
};

#undef VANTOR_CFGMGR_OWN_ACCESSORS

} // namespace Vantor_cfgmgr
