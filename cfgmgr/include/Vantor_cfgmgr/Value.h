// Typed, reference-counted JSON configuration values.
//
// Ownership: a value starts with reference count 1, owned by its creator.
// Containers take over the values handed to them (the count is not raised);
// to share a value already held elsewhere, call AddRef() first. Release()
// lowers the count and destroys the value at 0. Ref<T> below does this for
// callers that want scope-bound ownership. Texts are malloc'd and freed with
// free().
#pragma once

#include "Vantor_util/Vantor_util.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <regex.h>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace Vantor_cfgmgr {

enum AccessClass_t : uint32_t {
    readWrite = 0,
    readOnly = 1,
    constant = 2, // image "const"
    writeOnly = 3,
};

enum IntegralSubtype : uint32_t {
    subtypeInt = 1,
    subtypeUint = 2,
    subtypeInt64 = 3,
    subtypeUint64 = 4,
};

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
using PrettyWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;
using JsonValue = rapidjson::Value;

class ValueNull;
class ValueBool;
class ValueIntegralNumber;
class ValueInt;
class ValueUint;
class ValueInt64;
class ValueUint64;
class ValueDouble;
class ValueRawNumber;
class ValueString;
class ValueObject;
class ValueArray;

#define VANTOR_CFGMGR_ACCESSORS(Name, Class)                                    \
    virtual const Class* As##Name() const { return nullptr; }                   \
    virtual bool As##Name(const Class*& /*out*/) const { return false; }        \
    virtual bool As##Name(Class*& /*out*/) { return false; }

class ValueGeneric {
public:
    ValueGeneric(const ValueGeneric&) = delete;
    ValueGeneric& operator=(const ValueGeneric&) = delete;
    virtual ~ValueGeneric() = default;

    // Values come from the library's own pool of small blocks, sized per
    // class, without a malloc header each (a tree holds millions of them).
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size) noexcept;

    // A new value with count 1 (see the class comments for what is shared).
    virtual ValueGeneric* Clone(bool deep) const = 0;
    // Lowering prints a warning to standard error; above writeOnly throws.
    virtual void SetAccessClass(AccessClass_t newAccessClass);

    virtual bool IsNull() const { return false; }
    virtual bool IsBool() const { return false; }
    virtual bool IsInt() const { return false; }
    virtual bool IsUint() const { return false; }
    virtual bool IsInt64() const { return false; }
    virtual bool IsUint64() const { return false; }
    virtual bool IsDouble() const { return false; }
    virtual bool IsRawNumber() const { return false; }
    virtual bool IsString() const { return false; }
    virtual bool IsObject() const { return false; }
    virtual bool IsArray() const { return false; }

    VANTOR_CFGMGR_ACCESSORS(Null, ValueNull)
    VANTOR_CFGMGR_ACCESSORS(Bool, ValueBool)
    VANTOR_CFGMGR_ACCESSORS(IntegralNumber, ValueIntegralNumber)
    VANTOR_CFGMGR_ACCESSORS(Int, ValueInt)
    VANTOR_CFGMGR_ACCESSORS(Uint, ValueUint)
    VANTOR_CFGMGR_ACCESSORS(Int64, ValueInt64)
    VANTOR_CFGMGR_ACCESSORS(Uint64, ValueUint64)
    VANTOR_CFGMGR_ACCESSORS(Double, ValueDouble)
    VANTOR_CFGMGR_ACCESSORS(RawNumber, ValueRawNumber)
    VANTOR_CFGMGR_ACCESSORS(String, ValueString)
    VANTOR_CFGMGR_ACCESSORS(Object, ValueObject)
    VANTOR_CFGMGR_ACCESSORS(Array, ValueArray)

    // False when the value cannot be written (a NaN or infinite double).
    // A null writer throws std::invalid_argument.
    virtual bool Write(Writer* writer) const = 0;
    virtual bool PrettyWrite(PrettyWriter* writer) const = 0;
    // Writes the value as pretty JSON through fileName.new, keeping the old
    // file as fileName.bak; returns file_cmp(backup, fileName).
    virtual int Save(const char* fileName) const;
    virtual bool IsEqualTo(const ValueGeneric* other) const = 0;
    // 0 done, 3 when the JSON value is of another kind (value unchanged).
    virtual int SetValue(const JsonValue* newValue) = 0;
    // 0 done, 3 when other is of an incompatible class (value unchanged).
    virtual int SetValue(const ValueGeneric* other) = 0;

    // Parses JSON text and assigns it through SetValue(const JsonValue*);
    // a parse error is diagnosed on standard error and gives its non-zero
    // rapidjson code.
    int SetValue(const char* jsonText);
    int SetValue(const char* jsonText, size_t length);

    bool IsIntegralNumber() const { return IsInt() || IsUint() || IsInt64() || IsUint64(); }
    bool IsTypeCompatible(const ValueGeneric* other) const;
    bool IsTypeCompatible(const JsonValue* other) const;

    int32_t GetRefCount() const { return refCount_; }
    AccessClass_t GetAccessClass() const { return accessClass_; }
    // Shares the value: one more owner must Release() it.
    ValueGeneric* AddRef()
    {
        ++refCount_;
        return this;
    }
    // Drops one owner; destroys the value when it was the last.
    void Release();

    // Reads a JSON file whose root is an object or an array.
    static ValueGeneric* Load(const char* fileName);
    // An owned value of the class matching the JSON value's type; null in, null out.
    static ValueGeneric* NewValueGeneric(const JsonValue* newValue);
    static void ParseResultDiag(const rapidjson::ParseResult& result, const char* sourceName,
                                FILE* out);
    // Parses JSON text into doc as files are read: without recursion, at
    // most 1000 levels deep (deeper text is refused after a message on the
    // library's error stream), numbers correctly rounded and a number beyond
    // a double refused. Returns the reader's result; prints nothing else, so
    // the caller diagnoses an error under its own source name.
    static rapidjson::ParseResult ParseText(rapidjson::Document& doc, const char* jsonText, size_t length);
    static const Vantor_util::EnumImage_c& ParseErrorCodeImage();

protected:
    ValueGeneric() = default;
    // Used by subclasses that set the class without the lowering rules.
    void StoreAccessClass(AccessClass_t ac) { accessClass_ = ac; }

private:
    int32_t refCount_ = 1;
    AccessClass_t accessClass_ = readWrite;
};

#undef VANTOR_CFGMGR_ACCESSORS

// Scope-bound owner of one reference.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopted) : p_(adopted) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept
    {
        if (this != &o) {
            reset(o.p_);
            o.p_ = nullptr;
        }
        return *this;
    }
    ~Ref() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Gives up ownership (for handing the value to a container).
    T* release()
    {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void reset(T* adopted = nullptr)
    {
        if (p_ != nullptr) {
            p_->Release();
        }
        p_ = adopted;
    }

private:
    T* p_ = nullptr;
};

} // namespace Vantor_cfgmgr
