// Objects: properties kept in strcmp order of their names.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Vantor_cfgmgr {

namespace {

char* copyName(const char* name)
{
    char* copy = ::strdup(name);
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    return copy;
}

void freeName(const char* name)
{
    // Names are malloc'd texts owned by the map; the map's key type is const
    // only so that lookups take plain C texts.
    std::free(const_cast<char*>(name));
}

} // namespace

ValueObject::ValueObject(const PropertyMap* properties, bool deep) { SetValue(properties, deep); }

ValueObject::~ValueObject() { Clear(); }

void ValueObject::Clear()
{
    // Detach first: a released value may hold the last reference to
    // something that is being walked elsewhere.
    PropertyMap old;
    old.swap(properties_);
    for (auto& [name, value] : old) {
        value->Release();
        freeName(name);
    }
}

bool ValueObject::AsObject(const ValueObject*& out) const
{
    out = this;
    return true;
}

bool ValueObject::AsObject(ValueObject*& out)
{
    out = this;
    return true;
}

void ValueObject::SetValue(const PropertyMap* properties, bool deep)
{
    PropertyMap fresh;
    try {
        if (properties != nullptr) {
            for (const auto& [name, value] : *properties) {
                ValueGeneric* v = deep ? value->Clone(true) : value->AddRef();
                char* n = nullptr;
                try {
                    n = copyName(name);
                    fresh.emplace(n, v);
                } catch (...) {
                    std::free(n);
                    v->Release();
                    throw;
                }
            }
        }
    } catch (...) {
        for (auto& [name, value] : fresh) {
            value->Release();
            freeName(name);
        }
        throw;
    }
    Clear();
    properties_.swap(fresh);
}

ValueGeneric* ValueObject::GetProperty(const char* name) const
{
    detail::requireNotNull(name, "name must not be NULL");
    auto it = properties_.find(name);
    return it != properties_.end() ? it->second : nullptr;
}

bool ValueObject::SetProperty(const char* name, ValueGeneric* value, bool copyNameFlag)
{
    detail::requireNotNull(name, "name must not be NULL");
    // With copyNameFlag false the name is ours from here on, whatever happens.
    const char* adopted = copyNameFlag ? nullptr : name;
    struct NameGuard {
        const char*& n;
        ~NameGuard() { freeName(n); }
    } guard{adopted};

    auto it = properties_.find(name);
    if (it != properties_.end()) {
        ValueGeneric* old = it->second;
        if (value != nullptr) {
            it->second = value;
        } else {
            const char* storedName = it->first;
            properties_.erase(it);
            freeName(storedName);
        }
        old->Release();
        return true;
    }
    if (value == nullptr) {
        return false;
    }
    if (value->GetAccessClass() < GetAccessClass()) {
        value->SetAccessClass(GetAccessClass());
    }
    const char* stored = copyNameFlag ? copyName(name) : adopted;
    try {
        properties_.emplace(stored, value);
    } catch (...) {
        if (copyNameFlag) {
            freeName(stored);
        }
        throw;
    }
    adopted = nullptr; // now owned by the map
    return false;
}

void ValueObject::SetProperties(std::vector<std::pair<std::string, ValueGeneric*>>& batch)
{
    std::vector<std::pair<std::string, ValueGeneric*>> taken;
    taken.swap(batch);
    size_t done = 0;
    try {
        for (; done < taken.size(); ++done) {
            SetProperty(taken[done].first.c_str(), taken[done].second, true);
        }
    } catch (...) {
        // SetProperty throws before it stores, so the failing value is
        // still ours too.
        for (; done < taken.size(); ++done) {
            if (taken[done].second != nullptr) {
                taken[done].second->Release();
            }
        }
        throw;
    }
}

ValueGeneric* ValueObject::Clone(bool deep) const
{
    auto* c = new ValueObject();
    try {
        c->SetValue(&properties_, deep);
    } catch (...) {
        c->Release();
        throw;
    }
    return c;
}

template <class W> bool ValueObject::WriteTo(W* writer) const
{
    detail::requireNotNull(writer, "writer must not be NULL");
    if (!writer->StartObject()) {
        return false;
    }
    for (const auto& [name, value] : properties_) {
        if (!writer->Key(name, static_cast<rapidjson::SizeType>(std::strlen(name)), true)) {
            return false;
        }
        bool ok = false;
        if constexpr (std::is_same_v<W, PrettyWriter>) {
            ok = value->PrettyWrite(writer);
        } else {
            ok = value->Write(writer);
        }
        if (!ok) {
            return false;
        }
    }
    return writer->EndObject(static_cast<rapidjson::SizeType>(properties_.size()));
}
bool ValueObject::Write(Writer* writer) const { return WriteTo(writer); }
bool ValueObject::PrettyWrite(PrettyWriter* writer) const { return WriteTo(writer); }

bool ValueObject::IsEqualTo(const ValueGeneric* other) const
{
    const ValueObject* o = other != nullptr ? other->AsObject() : nullptr;
    if (o == nullptr || o->properties_.size() != properties_.size()) {
        return false;
    }
    auto a = properties_.begin();
    auto b = o->properties_.begin();
    for (; a != properties_.end(); ++a, ++b) {
        if (std::strcmp(a->first, b->first) != 0 || !a->second->IsEqualTo(b->second)) {
            return false;
        }
    }
    return true;
}

int ValueObject::SetValue(const ValueGeneric* other)
{
    detail::requireNotNull(other, "newValue must not be NULL");
    const ValueObject* o = other->AsObject();
    if (o == nullptr) {
        return 3;
    }
    if (o == this) {
        return 0;
    }
    // Hold the source while emptying ourselves: it may live inside us.
    Ref<ValueGeneric> keep(const_cast<ValueGeneric*>(other)->AddRef());
    SetValue(&o->properties_, false);
    detail::raiseToObjectClass(*this);
    return 0;
}

void detail::raiseToObjectClass(const ValueObject& object)
{
    AccessClass_t floor = object.GetAccessClass();
    for (const auto& [name, value] : object.GetProperties()) {
        if (value->GetAccessClass() < floor) {
            value->SetAccessClass(floor);
        }
    }
}

bool ValueObject::AreLikePropertiesEqual(const ValueGeneric* other, bool exact) const
{
    const ValueObject* o = other != nullptr ? other->AsObject() : nullptr;
    if (o == nullptr) {
        return false;
    }
    for (const auto& [name, theirs] : o->properties_) {
        auto it = properties_.find(name);
        if (it == properties_.end()) {
            return false;
        }
        const ValueGeneric* mine = it->second;
        if (exact || !theirs->IsObject()) {
            if (!mine->IsEqualTo(theirs)) {
                return false;
            }
        } else if (!mine->IsObject() || !mine->AsObject()->AreLikePropertiesEqual(theirs, false)) {
            return false;
        }
    }
    return true;
}

} // namespace Vantor_cfgmgr
