// Layers of configuration: applying a higher layer onto a lower one,
// computing the layer between two trees, and trimming empty objects.
//
// A property is deleted across layers with the marker "deleted": true inside
// the object of the higher layer.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "names.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Vantor_cfgmgr {

namespace {

constexpr const char* kDeleted = "deleted";

bool isDeletionMarker(const ValueGeneric* v)
{
    const ValueBool* b = v != nullptr ? v->AsBool() : nullptr;
    return b != nullptr && b->GetValue();
}

// Gives the lower scalar the higher one's value in place; true when it
// changed. False (and nothing changed) when the pair is not a like scalar pair.
bool overlayScalar(ValueGeneric* lower, const ValueGeneric* h, bool& changed)
{
    if (lower->IsBool() && h->IsBool()) {
        ValueBool* b = nullptr;
        lower->AsBool(b);
        if (b->GetValue() != h->AsBool()->GetValue()) {
            b->SetValue(h->AsBool()->GetValue());
            changed = true;
        }
        return true;
    }
    if (lower->IsIntegralNumber() && h->IsIntegralNumber()) {
        if (!lower->IsEqualTo(h)) {
            lower->SetValue(h);
            changed = true;
        }
        return true;
    }
    if (lower->IsDouble() && h->IsDouble()) {
        ValueDouble* d = nullptr;
        lower->AsDouble(d);
        if (!(d->GetValue() == h->AsDouble()->GetValue())) {
            d->SetValue(h->AsDouble()->GetValue());
            changed = true;
        }
        return true;
    }
    if (lower->IsString() && h->IsString()) {
        // Compared and copied with their lengths: a string read from "\u0000"
        // holds a NUL, and a C-text comparison would take "a\u0000b" for "a".
        if (!lower->IsEqualTo(h)) {
            lower->SetValue(h);
            changed = true;
        }
        return true;
    }
    return false;
}

} // namespace

bool ValueObject::Overlay(const ValueObject* higher)
{
    detail::requireNotNull(higher, "higherObject must not be NULL");
    // Hold the higher layer: it may be (part of) this object.
    Ref<ValueGeneric> keep(const_cast<ValueObject*>(higher)->AddRef());
    // Both lists are sorted, so one walk pairs them up. New names are
    // gathered and merged in one pass at the end, and removed properties are
    // left as null values until then, so a large object is never shifted
    // once per property. The end is also reached when an exception leaves:
    // what was processed so far stays applied.
    Entries& mine = properties_.entries_;
    Entries additions;
    bool removed = false;
    auto commit = [&] {
        if (removed) {
            DropReleased();
        }
        MergeNew(additions);
    };
    auto addLater = [&](const char* name, ValueGeneric* h) {
        additions.emplace_back(name, nullptr);
        additions.back() = PropertyEntry(detail::ShareName(name), h->AddRef());
    };

    bool changed = false;
    size_t i = 0;
    try {
        // By index: when the higher layer lies inside this tree, a nested
        // overlay may grow its list while we walk it.
        const Entries& theirs = higher->properties_.entries_;
        for (size_t j = 0; j < theirs.size(); ++j) {
            const char* name = theirs[j].first;
            ValueGeneric* h = theirs[j].second;
            while (i < mine.size() && std::strcmp(mine[i].first, name) < 0) {
                ++i;
            }
            const bool here = i < mine.size() && std::strcmp(mine[i].first, name) == 0;
            if (std::strcmp(name, kDeleted) == 0) {
                if (!isDeletionMarker(h)) {
                    throw std::invalid_argument("Improper use of \"deleted\" : true");
                }
                if (here) {
                    ValueGeneric* old = mine[i].second;
                    mine[i].second = h->AddRef();
                    old->Release();
                } else {
                    addLater(name, h);
                }
                changed = true;
                continue;
            }
            if (!here) {
                addLater(name, h);
                changed = true;
                continue;
            }
            ValueGeneric* lower = mine[i].second;
            if (lower->IsObject() && h->IsObject()) {
                ValueObject* lowerObject = nullptr;
                lower->AsObject(lowerObject);
                bool sub = lowerObject->Overlay(h->AsObject());
                if (lowerObject->GetProperty(kDeleted) != nullptr) {
                    mine[i].second = nullptr;
                    removed = true;
                    lower->Release();
                    changed = true;
                } else {
                    changed = changed || sub;
                }
                continue;
            }
            if (h->IsNull()) {
                throw std::invalid_argument("Improper use of JSON 'null' value");
            }
            if (overlayScalar(lower, h, changed)) {
                continue;
            }
            if (lower->IsArray() && h->IsArray()) {
                if (!lower->IsEqualTo(h)) {
                    lower->SetValue(h);
                    changed = true;
                }
                continue;
            }
            throw std::invalid_argument("JSON Schema violation: attempting to change type of property");
        }
    } catch (...) {
        commit();
        throw;
    }
    commit();
    return changed;
}

void ValueObject::Diff(const ValueObject* lower, const ValueObject* higher)
{
    detail::requireNotNull(lower, "lowerObject must not be NULL");
    detail::requireNotNull(higher, "higherObject must not be NULL");
    if (lower->properties_.empty()) {
        if (!higher->properties_.empty()) {
            Overlay(higher);
        }
        return;
    }
    if (higher->properties_.empty()) {
        SetProperty(kDeleted, new ValueBool(true));
        return;
    }
    auto l = lower->properties_.begin();
    auto h = higher->properties_.begin();
    while (l != lower->properties_.end() || h != higher->properties_.end()) {
        int order = 0;
        if (l == lower->properties_.end()) {
            order = 1;
        } else if (h == higher->properties_.end()) {
            order = -1;
        } else {
            order = std::strcmp(l->first, h->first);
        }
        if (order > 0) { // only in higher
            PutShared(h->first, h->second->AddRef());
            ++h;
            continue;
        }
        if (order < 0) { // only in lower
            if (l->second->IsObject()) {
                auto* marker = new ValueObject();
                marker->SetProperty(kDeleted, new ValueBool(true));
                PutShared(l->first, marker);
            } else {
                std::fprintf(stderr, "*** Improper deletion of property \"%s\": unable to express difference.\n",
                             l->first);
            }
            ++l;
            continue;
        }
        const char* name = l->first;
        const ValueGeneric* lv = l->second;
        ValueGeneric* hv = h->second;
        ++l;
        ++h;
        if (!lv->IsTypeCompatible(hv)) {
            std::fprintf(stderr, "*** JSON Schema violation: attempting to change type of property \"%s\"\n", name);
            continue;
        }
        if (lv->IsEqualTo(hv)) {
            continue;
        }
        if (lv->IsObject()) {
            if (!hv->IsObject()) {
                std::fprintf(stderr, "*** Internal integrity check \"%s\" is not an Object\n", name);
                continue;
            }
            Ref<ValueObject> sub(new ValueObject());
            sub->Diff(lv->AsObject(), hv->AsObject());
            PutShared(name, sub.release());
            continue;
        }
        PutShared(name, hv->AddRef());
    }
    // Built by appending: give back what the vector reserved ahead.
    properties_.entries_.shrink_to_fit();
}

void ValueObject::Trim()
{
    Entries& entries = properties_.entries_;
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        ValueObject* child = nullptr;
        if (entries[i].second->AsObject(child)) {
            child->Trim();
            if (child->IsEmpty()) {
                const PropertyEntry gone = entries[i];
                gone.second->Release();
                detail::ReleaseName(gone.first);
                continue;
            }
        }
        entries[kept++] = entries[i];
    }
    entries.resize(kept);
}

} // namespace Vantor_cfgmgr
