// Reader of vcfg's configuration file: a rapidjson SAX handler that fills a
// SubsystemVcfg as the parser walks
//   {"vcfg": {"apiVersion": "...", "domain": {"<index>": {...}, ...},
//             "subsystem": {"<index>": {...}, ...}}}
// Messages go to the library error stream; a handler that returns false
// stops the parse ("Parsing was terminated.").
#pragma once

#include "VcfgModel.h"

#include <rapidjson/reader.h>

namespace Vantor_cfgmgr {

class VcfgSAX : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, VcfgSAX> {
public:
    VcfgSAX() = default;
    virtual ~VcfgSAX() = default;

    // A null target throws std::invalid_argument.
    void SetVcfg(SubsystemVcfg* newVcfg);

    bool Null() { return Scalar(); }
    bool Bool(bool b);
    bool Int(int) { return Scalar(); }
    bool Uint(unsigned) { return Scalar(); }
    bool Int64(int64_t) { return Scalar(); }
    bool Uint64(uint64_t) { return Scalar(); }
    bool Double(double) { return Scalar(); }
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return Scalar(); }
    bool String(const char* text, rapidjson::SizeType length, bool copy);
    bool StartObject();
    bool Key(const char* text, rapidjson::SizeType length, bool copy);
    bool EndObject(rapidjson::SizeType memberCount);
    bool StartArray();
    bool EndArray(rapidjson::SizeType elementCount);

private:
    enum Group : unsigned { groupNone = 0, groupDomain = 1, groupSubsystem = 2, groupOptions = 3 };

    // Numbers and null: no field of the file holds one.
    bool Scalar();
    bool StringInRecord(const char* text);
    void AddRecord();
    void ClearRecord();

    SubsystemVcfg* vcfg_ = nullptr;
    Group group_ = groupNone;
    unsigned index_ = 1000;
    unsigned level_ = 0;
    std::string key_;
    bool rootSeen_ = false;
    // The record being collected.
    std::string name_;
    std::string dirIn_;
    std::string confOut_;
    std::string propertyFormat_;
    bool propertyNoName_ = false;
    std::string propertyIdIn_;
    std::string service_;
    std::string cfgGenExec_;
    std::vector<std::string> cfgGenOpts_;
};

} // namespace Vantor_cfgmgr
