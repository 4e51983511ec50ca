// Reader of the vprop configuration file, as a rapidjson SAX handler:
//
//   { "vprop": { "apiVersion": "...",
//                "subsystem": { "<index>": { "name": "...", "description": "...",
//                                            "dirIn": "...", "confOut": "..." }, ... } } }
//
// A handler that returns false stops the parse ("Parsing was terminated.");
// every refusal except those of booleans, numbers and null is explained on
// the library's error stream first.
#pragma once

#include "VpropModel.h"

#include <rapidjson/reader.h>

#include <string>

namespace Vantor_cfgmgr {

class VpropSAX : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, VpropSAX> {
public:
    VpropSAX() = default;
    explicit VpropSAX(SubsystemVprop* target) { SetVprop(target); }
    virtual ~VpropSAX() = default;

    // Binds the configuration the records go to; null throws
    // std::invalid_argument.
    void SetVprop(SubsystemVprop* target);

    bool Null();
    bool Bool(bool b);
    bool Int(int i);
    bool Uint(unsigned u);
    bool Int64(int64_t i);
    bool Uint64(uint64_t u);
    bool Double(double d);
    bool RawNumber(const char* str, rapidjson::SizeType length, bool copy);
    bool String(const char* str, rapidjson::SizeType length, bool copy);
    bool StartObject();
    bool Key(const char* str, rapidjson::SizeType length, bool copy);
    bool EndObject(rapidjson::SizeType memberCount);
    bool StartArray();
    bool EndArray(rapidjson::SizeType elementCount);

private:
    enum class Group { none, subsystem };

    // Booleans, numbers and null: no field of the file holds one.
    bool RefuseScalar();
    void StoreRecordField(const std::string& value);
    void ClearRecord();

    SubsystemVprop* vprop_ = nullptr;
    Group group_ = Group::none;
    uint32_t index_ = kMaxSubsystemIndex + 1;
    unsigned level_ = 0;
    std::string key_;
    std::string name_;
    std::string description_;
    std::string dirIn_;
    std::string confOut_;
};

// Parses text (NUL-terminated, changed in place) into target. The parse
// result tells whether it succeeded; the caller reports a failure.
rapidjson::ParseResult parseVpropConfiguration(char* text, SubsystemVprop* target);

} // namespace Vantor_cfgmgr
