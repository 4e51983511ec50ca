// Objects: properties kept in strcmp order of their names.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "names.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Vantor_cfgmgr {

namespace {

bool entryBefore(const PropertyEntry& e, const char* name) { return std::strcmp(e.first, name) < 0; }
bool entryLess(const PropertyEntry& a, const PropertyEntry& b) { return std::strcmp(a.first, b.first) < 0; }
bool sameName(const char* a, const char* b) { return a == b || std::strcmp(a, b) == 0; }

void releaseEntry(const PropertyEntry& e)
{
    if (e.second != nullptr) {
        e.second->Release();
    }
    detail::ReleaseName(e.first);
}

void raiseTo(ValueGeneric* value, AccessClass_t floor)
{
    if (value->GetAccessClass() < floor) {
        value->SetAccessClass(floor);
    }
}

// Stable sort by name. Members usually come in few per object and often
// already sorted (every file this library writes is), where an insertion
// sort costs no allocation and one pass.
void sortByName(PropertyEntry* first, PropertyEntry* last)
{
    constexpr ptrdiff_t kSmall = 16;
    if (last - first < 2) {
        return; // also the empty range of an empty vector, whose data() may be null
    }
    if (last - first > kSmall) {
        std::stable_sort(first, last, entryLess);
        return;
    }
    for (PropertyEntry* i = first + 1; i < last; ++i) {
        PropertyEntry moving = *i;
        PropertyEntry* j = i;
        for (; j > first && std::strcmp((j - 1)->first, moving.first) > 0; --j) {
            *j = *(j - 1);
        }
        *j = moving;
    }
}

} // namespace

PropertyMap::const_iterator PropertyMap::lower_bound(const char* name) const
{
    return std::lower_bound(entries_.begin(), entries_.end(), name, entryBefore);
}

PropertyMap::const_iterator PropertyMap::find(const char* name) const
{
    auto it = lower_bound(name);
    return it != entries_.end() && std::strcmp(it->first, name) == 0 ? it : entries_.end();
}

ValueObject::ValueObject(const PropertyMap* properties, bool deep) { SetValue(properties, deep); }

ValueObject::~ValueObject() { Clear(); }

void ValueObject::Clear()
{
    // Detach first: a released value may hold the last reference to
    // something that is being walked elsewhere.
    Entries old;
    old.swap(properties_.entries_);
    for (const PropertyEntry& e : old) {
        releaseEntry(e);
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
    Entries fresh;
    try {
        if (properties != nullptr) {
            fresh.reserve(properties->size());
            for (const auto& [name, value] : *properties) {
                ValueGeneric* v = deep ? value->Clone(true) : value->AddRef();
                fresh.emplace_back(detail::ShareName(name), v); // reserved: cannot throw
            }
        }
    } catch (...) {
        for (const PropertyEntry& e : fresh) {
            releaseEntry(e);
        }
        throw;
    }
    Clear();
    properties_.entries_.swap(fresh);
}

void ValueObject::AdoptUnsorted(Entries& entries, size_t first)
{
    PropertyEntry* begin = entries.data() + first;
    PropertyEntry* end = entries.data() + entries.size();
    sortByName(begin, end);
    // Equal names are neighbours now, in their original order: keep the last.
    PropertyEntry* out = begin;
    for (PropertyEntry* e = begin; e < end; ++e) {
        if (e + 1 < end && sameName(e->first, (e + 1)->first)) {
            releaseEntry(*e);
            continue;
        }
        *out++ = *e;
    }
    entries.resize(static_cast<size_t>(out - entries.data()));
    Entries adopted(entries.begin() + static_cast<ptrdiff_t>(first), entries.end()); // exact size
    entries.resize(first);
    Clear();
    properties_.entries_.swap(adopted);
}

ValueGeneric* ValueObject::GetProperty(const char* name) const
{
    detail::requireNotNull(name, "name must not be NULL");
    auto it = properties_.find(name);
    return it != properties_.end() ? it->second : nullptr;
}

void ValueObject::InsertAt(Entries::iterator where, const char* internedName, ValueGeneric* value)
{
    raiseTo(value, GetAccessClass());
    properties_.entries_.insert(where, PropertyEntry(internedName, value));
}

bool ValueObject::SetProperty(const char* name, ValueGeneric* value, bool copyNameFlag)
{
    detail::requireNotNull(name, "name must not be NULL");
    // With copyNameFlag false the text is ours from here on, whatever
    // happens; the interned copy replaces it.
    struct TextGuard {
        const char* text;
        ~TextGuard() { std::free(const_cast<char*>(text)); }
    } adopted{copyNameFlag ? nullptr : name};

    Entries& entries = properties_.entries_;
    auto it = std::lower_bound(entries.begin(), entries.end(), name, entryBefore);
    if (it != entries.end() && std::strcmp(it->first, name) == 0) {
        ValueGeneric* old = it->second;
        if (value != nullptr) {
            it->second = value;
        } else {
            const char* storedName = it->first;
            entries.erase(it);
            detail::ReleaseName(storedName);
        }
        old->Release();
        return true;
    }
    if (value == nullptr) {
        return false;
    }
    const char* interned = detail::InternName(name);
    try {
        InsertAt(it, interned, value);
    } catch (...) {
        detail::ReleaseName(interned);
        throw;
    }
    return false;
}

bool ValueObject::PutShared(const char* internedName, ValueGeneric* value)
{
    Entries& entries = properties_.entries_;
    if (value == nullptr || (!entries.empty() && std::strcmp(entries.back().first, internedName) >= 0)) {
        return SetProperty(internedName, value, true);
    }
    InsertAt(entries.end(), internedName, value);
    detail::ShareName(internedName);
    return false;
}

void ValueObject::MergeNew(Entries& additions)
{
    Entries& entries = properties_.entries_;
    try {
        entries.reserve(entries.size() + additions.size());
    } catch (...) {
        for (const PropertyEntry& e : additions) {
            releaseEntry(e);
        }
        additions.clear();
        throw;
    }
    // From the back, so that every entry moves once.
    auto old = static_cast<ptrdiff_t>(entries.size()) - 1;
    auto add = static_cast<ptrdiff_t>(additions.size()) - 1;
    entries.resize(entries.size() + additions.size());
    for (auto to = static_cast<ptrdiff_t>(entries.size()) - 1; add >= 0; --to) {
        if (old >= 0 && std::strcmp(entries[static_cast<size_t>(old)].first,
                                    additions[static_cast<size_t>(add)].first) > 0) {
            entries[static_cast<size_t>(to)] = entries[static_cast<size_t>(old--)];
        } else {
            entries[static_cast<size_t>(to)] = additions[static_cast<size_t>(add--)];
        }
    }
    additions.clear();
}

void ValueObject::SetProperties(std::vector<std::pair<std::string, ValueGeneric*>>& batch)
{
    std::vector<std::pair<std::string, ValueGeneric*>> taken;
    taken.swap(batch);
    // In batch order, names interned; sorted stably so that each name's
    // entries stay in the order they were given.
    Entries items;
    Entries additions;
    Entries& entries = properties_.entries_;
    try {
        items.reserve(taken.size());
        for (auto& [name, value] : taken) {
            items.emplace_back(detail::InternName(name.c_str()), value);
            value = nullptr;
        }
        sortByName(items.data(), items.data() + items.size());
        size_t fresh = 0;
        auto here = entries.begin();
        for (size_t i = 0; i < items.size(); ++i) {
            if (i > 0 && items[i].first == items[i - 1].first) {
                continue;
            }
            here = std::lower_bound(here, entries.end(), items[i].first, entryBefore);
            if (here == entries.end() || here->first != items[i].first) {
                ++fresh;
            }
        }
        additions.reserve(fresh);
        entries.reserve(entries.size() + fresh);
    } catch (...) {
        for (const PropertyEntry& e : items) {
            releaseEntry(e);
        }
        for (const auto& [name, value] : taken) {
            if (value != nullptr) {
                value->Release();
            }
        }
        throw;
    }

    // Nothing below allocates. Each name's entries are played in turn as
    // SetProperty would: a value replaces the current one (which is
    // released), a null removes it, and a value for an absent name is added
    // with its access class raised.
    bool removed = false;
    auto here = entries.begin();
    for (size_t i = 0; i < items.size();) {
        const char* name = items[i].first;
        here = std::lower_bound(here, entries.end(), name, entryBefore);
        const bool present = here != entries.end() && here->first == name;
        ValueGeneric* current = present ? here->second : nullptr;
        // Each item holds the name once; one hold goes to a new property,
        // the others are given back.
        for (const size_t groupStart = i; i < items.size() && items[i].first == name; ++i) {
            ValueGeneric* v = items[i].second;
            if (current != nullptr) {
                current->Release();
                current = v;
            } else if (v != nullptr) {
                raiseTo(v, GetAccessClass());
                current = v;
            }
            if (i > groupStart) {
                detail::ReleaseName(name);
            }
        }
        if (present) {
            here->second = current; // null: removed below
            removed = removed || current == nullptr;
            detail::ReleaseName(name);
        } else if (current != nullptr) {
            additions.emplace_back(name, current);
        } else {
            detail::ReleaseName(name);
        }
    }
    if (removed) {
        DropReleased();
    }
    MergeNew(additions);
}

void ValueObject::DropReleased()
{
    Entries& entries = properties_.entries_;
    auto kept = std::remove_if(entries.begin(), entries.end(), [](const PropertyEntry& e) {
        if (e.second != nullptr) {
            return false;
        }
        detail::ReleaseName(e.first);
        return true;
    });
    entries.erase(kept, entries.end());
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
        if (!sameName(a->first, b->first) || !a->second->IsEqualTo(b->second)) {
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
