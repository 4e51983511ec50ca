// Layers of configuration: applying a higher layer onto a lower one,
// computing the layer between two trees, and trimming empty objects.
//
// A property is deleted across layers with the marker "deleted": true inside
// the object of the higher layer.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"

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
    bool changed = false;
    for (const auto& [name, h] : higher->properties_) {
        if (std::strcmp(name, kDeleted) == 0) {
            if (!isDeletionMarker(h)) {
                throw std::invalid_argument("Improper use of \"deleted\" : true");
            }
            SetProperty(name, h->AddRef());
            changed = true;
            continue;
        }
        ValueGeneric* lower = GetProperty(name);
        if (lower == nullptr) {
            SetProperty(name, h->AddRef());
            changed = true;
            continue;
        }
        if (lower->IsObject() && h->IsObject()) {
            ValueObject* lowerObject = nullptr;
            lower->AsObject(lowerObject);
            bool sub = lowerObject->Overlay(h->AsObject());
            if (lowerObject->GetProperty(kDeleted) != nullptr) {
                SetProperty(name, nullptr);
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
            SetProperty(h->first, h->second->AddRef());
            ++h;
            continue;
        }
        if (order < 0) { // only in lower
            if (l->second->IsObject()) {
                auto* marker = new ValueObject();
                marker->SetProperty(kDeleted, new ValueBool(true));
                SetProperty(l->first, marker);
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
            SetProperty(name, sub.release());
            continue;
        }
        SetProperty(name, hv->AddRef());
    }
}

void ValueObject::Trim()
{
    for (auto it = properties_.begin(); it != properties_.end();) {
        ValueObject* child = nullptr;
        if (it->second->AsObject(child)) {
            child->Trim();
            if (child->IsEmpty()) {
                const char* name = it->first;
                ValueGeneric* value = it->second;
                it = properties_.erase(it);
                value->Release();
                std::free(const_cast<char*>(name));
                continue;
            }
        }
        ++it;
    }
}

} // namespace Vantor_cfgmgr
