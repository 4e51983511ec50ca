#include "LayerOverlay.h"

#include <Vantor_cfgmgr/Vantor_cfgmgr.h>

#include <algorithm>
#include <cstdio>

namespace Vantor_cfgmgr {

namespace {

constexpr const char* kDeleted = "deleted";

// Scalars whose value one layer may give another: the pairs Overlay updates
// in place.
bool likeScalars(const ValueGeneric* lower, const ValueGeneric* h)
{
    return (lower->IsBool() && h->IsBool()) || (lower->IsIntegralNumber() && h->IsIntegralNumber()) ||
           (lower->IsDouble() && h->IsDouble()) || (lower->IsString() && h->IsString());
}

bool isDeletionMarker(const ValueGeneric* v)
{
    const ValueBool* b = v->AsBool();
    return b != nullptr && b->GetValue();
}

} // namespace

LayerOverlaySAX::LayerOverlaySAX(std::string subsystemName, std::function<ValueObject*()> target)
    : subsystemName_(std::move(subsystemName)), target_(std::move(target))
{
}

LayerOverlaySAX::~LayerOverlaySAX() { ReleaseAdditions(); }

void LayerOverlaySAX::ReleaseAdditions()
{
    // A read that stopped half way leaves additions no object took over.
    for (size_t i = 0; i < open_; ++i) {
        for (auto& [name, value] : frames_[i].additions) {
            value->Release();
        }
        frames_[i].additions.clear();
    }
}

// ---- scalars

bool LayerOverlaySAX::Null() { return Building() ? builder_.Null() : Scalar(new ValueNull()); }
bool LayerOverlaySAX::Bool(bool b) { return Building() ? builder_.Bool(b) : Scalar(new ValueBool(b)); }
bool LayerOverlaySAX::Int(int i) { return Building() ? builder_.Int(i) : Scalar(new ValueInt(i)); }
bool LayerOverlaySAX::Uint(unsigned u) { return Building() ? builder_.Uint(u) : Scalar(new ValueUint(u)); }
bool LayerOverlaySAX::Int64(int64_t i) { return Building() ? builder_.Int64(i) : Scalar(new ValueInt64(i)); }
bool LayerOverlaySAX::Uint64(uint64_t u) { return Building() ? builder_.Uint64(u) : Scalar(new ValueUint64(u)); }
bool LayerOverlaySAX::Double(double d) { return Building() ? builder_.Double(d) : Scalar(new ValueDouble(d)); }

bool LayerOverlaySAX::RawNumber(const char* text, rapidjson::SizeType length, bool copy)
{
    return Building() ? builder_.RawNumber(text, length, copy) : Scalar(new ValueRawNumber(text, length, copy));
}

bool LayerOverlaySAX::String(const char* text, rapidjson::SizeType length, bool copy)
{
    if (Building()) {
        return builder_.String(text, length, copy);
    }
    if (!CheckString(text, length)) {
        return false;
    }
    return Scalar(new ValueString(text, length, copy));
}

bool LayerOverlaySAX::Scalar(ValueGeneric* value)
{
    Ref<ValueGeneric> v(value);
    if (open_ > 0) {
        ApplyValue(Top(), v.release());
        return true;
    }
    if (rootOpen_) {
        return true; // a member of the file's top level other than the subsystem's
    }
    // A scalar as the whole file: refused as a tree reader refuses it.
    return builder_.AddScalar(v.release());
}

// ---- containers

bool LayerOverlaySAX::Key(const char* text, rapidjson::SizeType length, bool copy)
{
    if (Building()) {
        return builder_.Key(text, length, copy);
    }
    if (!CheckKey(text, length)) {
        return false;
    }
    std::string& key = open_ == 0 ? rootKey_ : Top().key;
    key.assign(text, length);
    (open_ == 0 ? rootKeys_ : Top().keys).push_back(key);
    return true;
}

size_t LayerOverlaySAX::OpenContainers() const { return (rootOpen_ ? 1 : 0) + open_ + buildDepth_; }

bool LayerOverlaySAX::OpenContainer(bool isObject)
{
    // Counted over the whole file, not from where building began: a tree
    // read whole could not be nested deeper either, and a merged file
    // deeper than that could not be read again.
    if (!CheckNesting(OpenContainers())) {
        return false;
    }
    if (!(isObject ? builder_.StartObject() : builder_.StartArray())) {
        return false;
    }
    ++buildDepth_;
    return true;
}

bool LayerOverlaySAX::StartObject()
{
    if (Building()) {
        return OpenContainer(true);
    }
    if (!rootOpen_) {
        rootOpen_ = true;
        rootIsObject_ = true;
        return true;
    }
    if (open_ == 0) {
        discardBuilt_ = true;
        if (rootKey_ == subsystemName_) {
            layerFound_ = true;
            if (ValueObject* target = target_()) {
                PushFrame(target, std::string());
                return true;
            }
            targetRefused_ = true;
        }
        return OpenContainer(true);
    }
    const Frame& frame = Top();
    ValueObject* lowerObject = nullptr;
    ValueGeneric* lower = frame.key != kDeleted ? frame.lower->GetProperty(frame.key.c_str()) : nullptr;
    if (lower != nullptr && lower->AsObject(lowerObject)) {
        if (!CheckNesting(OpenContainers())) {
            return false;
        }
        PushFrame(lowerObject, std::string(frame.key));
        return true;
    }
    // Built whole, then applied (or refused) as one value.
    discardBuilt_ = false;
    return OpenContainer(true);
}

bool LayerOverlaySAX::StartArray()
{
    if (Building()) {
        return OpenContainer(false);
    }
    // An array as the whole file, or as a top-level member, is read only to
    // check it; one inside the layer is applied whole.
    discardBuilt_ = open_ == 0;
    return OpenContainer(false);
}

bool LayerOverlaySAX::EndObject(rapidjson::SizeType memberCount)
{
    if (Building()) {
        if (!builder_.EndObject(memberCount)) {
            return false;
        }
        return --buildDepth_ > 0 || CloseBuilt();
    }
    if (open_ > 0) {
        if (!CheckMembers(Top().keys, memberCount)) {
            return false;
        }
        CloseFrame();
        return true;
    }
    rootOpen_ = false;
    return CheckMembers(rootKeys_, memberCount);
}

bool LayerOverlaySAX::EndArray(rapidjson::SizeType elementCount)
{
    if (!Building() || !builder_.EndArray(elementCount)) {
        return false;
    }
    return --buildDepth_ > 0 || CloseBuilt();
}

bool LayerOverlaySAX::CloseBuilt()
{
    Ref<ValueGeneric> value(builder_.ReleaseRoot());
    if (!discardBuilt_ && open_ > 0) {
        ApplyValue(Top(), value.release());
    }
    return true;
}

// The same refusal of repeated names as a tree reader makes: the object then
// holds fewer properties than the text has members.
bool LayerOverlaySAX::CheckMembers(std::vector<std::string>& keys, rapidjson::SizeType memberCount)
{
    size_t distinct = keys.size();
    if (keys.size() <= 16) {
        // Most objects are small: comparing pairs beats sorting them.
        for (size_t i = 1; i < keys.size(); ++i) {
            if (std::find(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(i), keys[i]) !=
                keys.begin() + static_cast<std::ptrdiff_t>(i)) {
                --distinct;
            }
        }
    } else {
        std::sort(keys.begin(), keys.end());
        distinct = static_cast<size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
    }
    keys.clear();
    if (distinct != memberCount) {
        std::fprintf(ErrorStream(), "*** Object expected %d members, had %d members\n", static_cast<int>(memberCount),
                     static_cast<int>(distinct));
        return false;
    }
    return true;
}

// Frames are reused, not freed, as the walk goes up and down: their vectors
// keep their room for the next object at the same depth.
void LayerOverlaySAX::PushFrame(ValueObject* lower, std::string name)
{
    if (open_ == frames_.size()) {
        frames_.emplace_back();
    }
    Frame& frame = frames_[open_++];
    frame.lower = lower;
    frame.name = std::move(name);
    frame.key.clear();
    frame.keys.clear();
    frame.additions.clear();
}

void LayerOverlaySAX::CloseFrame()
{
    Frame& frame = Top();
    --open_;
    // New names go in together: one by one, each would shift the sorted
    // properties of a large object.
    frame.lower->SetProperties(frame.additions);
    if (open_ == 0) {
        return; // the subsystem object: the caller judges a deletion of it
    }
    if (frame.lower->GetProperty(kDeleted) != nullptr) {
        Top().lower->RemoveProperty(frame.name.c_str());
        changed_ = true;
    }
}

// Applies one member h (taken over) of the layer's object onto its lower
// object, as Overlay does for a member that is not an object on both sides.
void LayerOverlaySAX::ApplyValue(Frame& frame, ValueGeneric* value)
{
    Ref<ValueGeneric> h(value);
    if (frame.key == kDeleted) {
        if (!isDeletionMarker(h.get())) {
            Fail(frame, "Improper use of \"deleted\" : true");
            return;
        }
        frame.lower->SetProperty(kDeleted, h.release());
        changed_ = true;
        return;
    }
    ValueGeneric* lower = frame.lower->GetProperty(frame.key.c_str());
    if (lower == nullptr) {
        frame.additions.emplace_back(frame.key, h.release());
        changed_ = true;
        return;
    }
    if (h->IsNull()) {
        Fail(frame, "Improper use of JSON 'null' value");
        return;
    }
    if (likeScalars(lower, h.get()) || (lower->IsArray() && h->IsArray())) {
        if (!lower->IsEqualTo(h.get())) {
            lower->SetValue(h.get());
            changed_ = true;
        }
        return;
    }
    Fail(frame, "JSON Schema violation: attempting to change type of property");
}

// Keeps the error a walk in name order would meet first.
void LayerOverlaySAX::Fail(const Frame& frame, const char* text)
{
    std::vector<std::string> path;
    for (size_t i = 1; i < open_; ++i) {
        path.push_back(frames_[i].name);
    }
    path.push_back(frame.key);
    if (!error_.text || path < error_.path) {
        error_.path = std::move(path);
        error_.text = text;
    }
}

} // namespace Vantor_cfgmgr
