// The container value classes: objects (properties in strcmp name order)
// and arrays.
#pragma once

#include "Vantor_cfgmgr/Scalars.h"

#include <string>
#include <utility>
#include <vector>

namespace Vantor_cfgmgr {

// One property: its name and its value.
using PropertyEntry = std::pair<const char*, ValueGeneric*>;

// The properties of an object: a vector sorted by name in strcmp order, names
// unique, read like a map. A flat vector costs 16 bytes a property and is
// walked in order without chasing pointers; objects change it only through
// their own operations. Names are shared texts that stay valid as long as
// any object holds them.
class PropertyMap {
public:
    using value_type = PropertyEntry;
    using const_iterator = std::vector<PropertyEntry>::const_iterator;
    using iterator = const_iterator;

    PropertyMap() = default;
    // Not copyable: the entries hold references that only their object
    // counts.
    PropertyMap(const PropertyMap&) = delete;
    PropertyMap& operator=(const PropertyMap&) = delete;
    PropertyMap(PropertyMap&&) noexcept = default;
    PropertyMap& operator=(PropertyMap&&) noexcept = default;

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The entry of name (binary search), or end().
    const_iterator find(const char* name) const;
    // The first entry whose name is not before name.
    const_iterator lower_bound(const char* name) const;

private:
    friend class ValueObject;
    std::vector<PropertyEntry> entries_;
};

class ValueObject : public ValueGeneric {
public:
    ValueObject() = default;
    // Copies the names; values are cloned deep when deep, else shared. A null
    // map gives an empty object.
    ValueObject(const PropertyMap* properties, bool deep);
    ~ValueObject() override;

    bool IsObject() const override { return true; }
    const ValueObject* AsObject() const override { return this; }
    bool AsObject(const ValueObject*& out) const override;
    bool AsObject(ValueObject*& out) override;
    ValueGeneric* Clone(bool deep) const override;
    bool Write(Writer* writer) const override;
    bool PrettyWrite(PrettyWriter* writer) const override;
    bool IsEqualTo(const ValueGeneric* other) const override;
    int SetValue(const JsonValue* newValue) override;
    int SetValue(const ValueGeneric* other) override;
    using ValueGeneric::SetValue;
    // Replaces all properties by those of the map (see the constructor).
    void SetValue(const PropertyMap* properties, bool deep);

    // Typed readers: false (out untouched) when the property is absent;
    // std::invalid_argument / overflow_error / length_error when it is
    // present but of the wrong class or outside the range; else true.
    virtual bool UpdateValue(const char*& out, const char* name, unsigned minLen, unsigned maxLen) const;
    virtual bool UpdateValue(const char*& out, const char* name, const regex_t* regex, unsigned minLen,
                             unsigned maxLen) const;
    virtual bool UpdateValue(const char*& out, const char* name, const Vantor_util::EnumImage_c* validEnum,
                             unsigned* key) const;
    // The char*& forms free the previous out text and store a fresh copy.
    virtual bool UpdateValue(char*& out, const char* name, unsigned minLen, unsigned maxLen) const;
    virtual bool UpdateValue(char*& out, const char* name, const regex_t* regex, unsigned minLen,
                             unsigned maxLen) const;
    virtual bool UpdateValue(char*& out, const char* name, const Vantor_util::EnumImage_c* validEnum,
                             unsigned* key) const;
    virtual bool UpdateValue(int& out, const char* name, int min, int max) const;
    virtual bool UpdateValue(unsigned& out, const char* name, unsigned min, unsigned max) const;
    virtual bool UpdateValue(long long& out, const char* name, long long min, long long max) const;
    virtual bool UpdateValue(unsigned long long& out, const char* name, unsigned long long min,
                             unsigned long long max) const;
    virtual bool UpdateValue(double& out, const char* name) const;
    virtual bool UpdateValue(bool& out, const char* name) const;
    virtual bool UpdateValue(ValueObject*& out, const char* name) const;
    virtual bool UpdateValue(ValueArray*& out, const char* name) const;

    // True when every property of other is here with an equal value; without
    // exact, nested objects may hold extra properties at every depth.
    virtual bool AreLikePropertiesEqual(const ValueGeneric* other, bool exact) const;
    // Applies a higher layer onto this object; true when anything changed.
    virtual bool Overlay(const ValueObject* higher);
    // Fills this (empty) object with the layer that turns lower into higher.
    virtual void Diff(const ValueObject* lower, const ValueObject* higher);
    // Removes empty objects, recursively (not inside arrays).
    virtual void Trim();

    // The stored value, or null. A null name throws std::invalid_argument.
    ValueGeneric* GetProperty(const char* name) const;
    // Stores value under name; true when the name existed. The value is taken
    // over as is. A null value removes the property. With copyName false the
    // object takes over name, which must be a malloc'd text (freed here when
    // it is not stored).
    bool SetProperty(const char* name, ValueGeneric* value, bool copyName = true);
    // Stores many properties at once, as SetProperty with copied names does
    // for each in turn (a later entry of a name wins over an earlier one).
    // The values are taken over and the batch is left empty, also when an
    // exception leaves (the values not stored are then released).
    void SetProperties(std::vector<std::pair<std::string, ValueGeneric*>>& batch);
    // Removes the property; true when it existed.
    bool RemoveProperty(const char* name) { return SetProperty(name, nullptr, true); }
    // Releases every property.
    void Clear();

    const PropertyMap& GetProperties() const { return properties_; }
    size_t GetPropertyCount() const { return properties_.size(); }
    bool IsEmpty() const { return properties_.empty(); }

    // Updates existing properties only: 0 done, 3 source not an object or a
    // property of incompatible type, 4 a source property this object lacks;
    // text forms return a parse error's non-zero code after diagnosing it.
    int SetValueInSitu(const ValueObject* source);
    int SetValueInSitu(const JsonValue* source);
    int SetValueInSitu(const char* jsonText);
    int SetValueInSitu(const char* jsonText, size_t length);

private:
    friend class GenericSAX;
    using Entries = std::vector<PropertyEntry>;

    template <class W> bool WriteTo(W* writer) const;
    // Replaces the properties by entries[first..) in any order, their names
    // interned; those names and values are taken over and entries is cut
    // back to first. Of a repeated name the last entry wins (the earlier are
    // released). On std::bad_alloc entries still holds them all.
    void AdoptUnsorted(Entries& entries, size_t first);
    // Stores a new property (interned name and value taken over) at its
    // place, raising the value's access class as SetProperty does.
    void InsertAt(Entries::iterator where, const char* internedName, ValueGeneric* value);
    // SetProperty for a name held by another object: appended without a
    // search when it sorts after every name here.
    bool PutShared(const char* internedName, ValueGeneric* value);
    // Merges sorted, unique new entries whose names are not here (names and
    // values taken over); one pass over the properties.
    void MergeNew(Entries& additions);
    // Removes the entries whose value was released and set to null by a
    // walk that could not shift the vector meanwhile.
    void DropReleased();
    PropertyMap properties_;
};

class ValueArray : public ValueGeneric {
public:
    using ConstAction = int (*)(const ValueGeneric* element, const void* arg);
    using Action = int (*)(ValueGeneric* element, void* arg);

    ValueArray() = default;
    ~ValueArray() override;

    bool IsArray() const override { return true; }
    const ValueArray* AsArray() const override { return this; }
    bool AsArray(const ValueArray*& out) const override;
    bool AsArray(ValueArray*& out) override;
    ValueGeneric* Clone(bool deep) const override;
    bool Write(Writer* writer) const override;
    bool PrettyWrite(PrettyWriter* writer) const override;
    bool IsEqualTo(const ValueGeneric* other) const override;
    int SetValue(const JsonValue* newValue) override;
    int SetValue(const ValueGeneric* other) override;
    using ValueGeneric::SetValue;

    // Appends v (taken over); raises its access class to the array's.
    void AddElement(ValueGeneric* v);
    // Replaces element idx (the old one is released).
    void SetElement(unsigned idx, ValueGeneric* v);
    // Removes and releases element idx; false when there is none.
    bool RemoveElement(unsigned idx);
    void Clear();
    ValueGeneric* GetElement(unsigned idx) const { return idx < elements_.size() ? elements_[idx] : nullptr; }
    unsigned GetElementCount() const { return static_cast<unsigned>(elements_.size()); }
    const std::vector<ValueGeneric*>& GetElements() const { return elements_; }

    // Calls action on each element in order; non-zero results are failures
    // (see the source for the stop-on-first rules). Returns the first failure
    // or 0.
    int IterateElements(ConstAction action, const void* arg, bool stopOnFirst) const;
    int IterateElements(Action action, void* arg, bool stopOnFirst);

    // Null for an empty array; else malloc'd copies of the texts, ended by a
    // null pointer. Free with DeleteStringArray.
    char** ToStringArray() const;
    static void DeleteStringArray(char** array);
    bool HasElement(const char* checkValue) const;
    // Null for an empty array; else the keys of the images ended by -1
    // (malloc'd; free()).
    int32_t* ToEnumArray(const Vantor_util::EnumImage_c* validEnum) const;

private:
    template <class W> bool WriteTo(W* writer) const;
    void Adopt(ValueGeneric* v);
    std::vector<ValueGeneric*> elements_;
};

// Element predicates for IterateElements: 0 when v passes.
int ValueIsNull(const ValueGeneric* v, const void* arg);
int ValueIsBool(const ValueGeneric* v, const void* arg);
int ValueIsInt(const ValueGeneric* v, const void* arg);
int ValueIsUint(const ValueGeneric* v, const void* arg);
int ValueIsInt64(const ValueGeneric* v, const void* arg);
int ValueIsUint64(const ValueGeneric* v, const void* arg);
int ValueIsIntegralNumber(const ValueGeneric* v, const void* arg);
int ValueIsDouble(const ValueGeneric* v, const void* arg);
int ValueIsRawNumber(const ValueGeneric* v, const void* arg);
int ValueIsString(const ValueGeneric* v, const void* arg);
int ValueIsObject(const ValueGeneric* v, const void* arg);
int ValueIsArray(const ValueGeneric* v, const void* arg);
// arg is the Vantor_util::EnumMap_c whose images are accepted.
int ValueIsEnum(const ValueGeneric* v, const void* arg);

#undef VANTOR_CFGMGR_VALUE_COMMON

} // namespace Vantor_cfgmgr
