// Applying one subsystem's layer file onto a working configuration while the
// file is read, so that a large layer is never held as a second tree beside
// the configuration it changes.
//
// The outcome is that of reading the file whole and then calling
// ValueObject::Overlay with its subsystem object: the same refusals while
// reading, the same changes, and the same first error (Overlay walks the
// layer in name order, so of several errors the one at the smallest path
// is kept, whatever order the file lists them in).
#pragma once

#include <Vantor_cfgmgr/GenericSAX.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Vantor_cfgmgr {

class LayerOverlaySAX : public GenericSAX {
public:
    // target is asked once, when the file's subsystem object begins, for the
    // object to apply it to; a null answer means the working configuration
    // cannot take the layer, and the rest of the file is only checked.
    LayerOverlaySAX(std::string subsystemName, std::function<ValueObject*()> target);
    ~LayerOverlaySAX() override;

    bool Null() override;
    bool Bool(bool b) override;
    bool Int(int i) override;
    bool Uint(unsigned u) override;
    bool Int64(int64_t i) override;
    bool Uint64(uint64_t u) override;
    bool Double(double d) override;
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy) override;
    bool String(const char* text, rapidjson::SizeType length, bool copy) override;
    bool StartObject() override;
    bool Key(const char* text, rapidjson::SizeType length, bool copy) override;
    bool EndObject(rapidjson::SizeType memberCount) override;
    bool StartArray() override;
    bool EndArray(rapidjson::SizeType elementCount) override;

    // After a complete read:
    bool RootIsObject() const { return rootIsObject_; }
    // The file had the subsystem's property, and it was an object.
    bool LayerFound() const { return layerFound_; }
    // The target was asked for and answered null.
    bool TargetRefused() const { return targetRefused_; }
    bool Changed() const { return changed_; }
    // The text of the first error of the overlay, if there was one.
    const std::optional<std::string>& Error() const { return error_.text; }

private:
    // An object of the layer being applied onto lower.
    struct Frame {
        ValueObject* lower = nullptr;
        std::string name;                    // its name in the enclosing object
        std::string key;                     // the member being read
        std::vector<std::string> keys;       // the names read, for duplicates
        std::vector<std::pair<std::string, ValueGeneric*>> additions;
    };
    struct FirstError {
        std::vector<std::string> path;
        std::optional<std::string> text;
    };

    bool Building() const { return buildDepth_ > 0; }
    size_t OpenContainers() const;
    Frame& Top() { return frames_[open_ - 1]; }
    void PushFrame(ValueObject* lower, std::string name);
    bool Scalar(ValueGeneric* value);
    bool OpenContainer(bool isObject);
    bool CloseBuilt();
    void Deliver(ValueGeneric* value);
    void ApplyValue(Frame& frame, ValueGeneric* h);
    void Fail(const Frame& frame, const char* text);
    bool CheckMembers(std::vector<std::string>& keys, rapidjson::SizeType memberCount);
    void CloseFrame();
    void ReleaseAdditions();

    std::string subsystemName_;
    std::function<ValueObject*()> target_;
    GenericSAX builder_;     // builds the parts of the file that are not applied in place
    unsigned buildDepth_ = 0;
    bool discardBuilt_ = false;
    bool rootOpen_ = false;
    bool rootIsObject_ = false;
    bool layerFound_ = false;
    bool targetRefused_ = false;
    bool changed_ = false;
    std::string rootKey_;
    std::vector<std::string> rootKeys_;
    std::vector<Frame> frames_; // the first open_ are the open objects, outermost first
    size_t open_ = 0;
    FirstError error_;
};

} // namespace Vantor_cfgmgr
