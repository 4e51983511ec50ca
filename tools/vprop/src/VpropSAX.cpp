#include "VpropSAX.h"

#include "Vantor_cfgmgr/Lib.h"

#include <cstring>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

// Record indices are plain decimal numbers: a key with anything else in it
// ("1x", "-1", " 2") is refused rather than read as some other record.
bool parseIndex(const std::string& key, uint32_t& index)
{
    if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    index = static_cast<uint32_t>(std::stoul(key));
    return index <= kMaxSubsystemIndex;
}

void unrecognized(const std::string& key, const char* value, unsigned level)
{
    std::fprintf(ErrorStream(),
                 "*** Unrecognized property \"%s\" : \"%s\" at level %u in \"vprop\" configuration file.\n",
                 key.c_str(), value, level);
}

} // namespace

void VpropSAX::SetVprop(SubsystemVprop* target)
{
    if (target == nullptr) {
        throw std::invalid_argument("newVprop must not be NULL");
    }
    vprop_ = target;
}

bool VpropSAX::RefuseScalar()
{
    if (level_ == 0) {
        std::fputs("*** First JSON element must be an Object\n", ErrorStream());
    }
    return false;
}

bool VpropSAX::Null() { return RefuseScalar(); }
bool VpropSAX::Bool(bool) { return RefuseScalar(); }
bool VpropSAX::Int(int) { return RefuseScalar(); }
bool VpropSAX::Uint(unsigned) { return RefuseScalar(); }
bool VpropSAX::Int64(int64_t) { return RefuseScalar(); }
bool VpropSAX::Uint64(uint64_t) { return RefuseScalar(); }
bool VpropSAX::Double(double) { return RefuseScalar(); }
bool VpropSAX::RawNumber(const char*, rapidjson::SizeType, bool) { return RefuseScalar(); }

bool VpropSAX::String(const char* str, rapidjson::SizeType length, bool /*copy*/)
{
    if (level_ == 0) {
        return RefuseScalar();
    }
    if (std::strlen(str) != length) {
        std::fputs("*** Embedded 0x00 not allowed in \"vprop\" configuration file.\n", ErrorStream());
        return false;
    }
    switch (level_) {
    case 2:
        if (group_ != Group::none) {
            std::fprintf(ErrorStream(),
                         "*** Internal integrity check failed: String property \"%s\" : \"%s\" at top of "
                         "\"vprop\" configuration, but other Objects still active\n",
                         key_.c_str(), str);
            return false;
        }
        if (key_ == "apiVersion") {
            vprop_->SetApiVersion(str);
        } else {
            unrecognized(key_, str, level_);
        }
        return true;
    case 3:
        if (group_ == Group::subsystem) {
            std::fprintf(ErrorStream(),
                         "*** Subsystem elements must be JSON objects, not String property \"%s\" : \"%s\"\n",
                         key_.c_str(), str);
            return false;
        }
        unrecognized(key_, str, level_);
        return true;
    case 4:
        if (group_ == Group::subsystem) {
            StoreRecordField(str);
        }
        return true;
    default:
        unrecognized(key_, str, level_);
        return true;
    }
}

void VpropSAX::StoreRecordField(const std::string& value)
{
    if (key_ == "name") {
        name_ = value;
    } else if (key_ == "description") {
        description_ = value;
    } else if (key_ == "dirIn") {
        dirIn_ = value;
    } else if (key_ == "confOut") {
        confOut_ = value;
    } else {
        unrecognized(key_, value.c_str(), level_);
    }
}

void VpropSAX::ClearRecord()
{
    index_ = kMaxSubsystemIndex + 1;
    name_.clear();
    description_.clear();
    dirIn_.clear();
    confOut_.clear();
}

bool VpropSAX::StartObject()
{
    switch (level_) {
    case 1:
        if (key_ != "vprop") {
            std::fprintf(ErrorStream(), "*** Top JSON Object must be \"vprop\", but was \"%s\".\n", key_.c_str());
            return false;
        }
        break;
    case 2:
        if (key_ == "subsystem") {
            group_ = Group::subsystem;
        } else {
            std::fprintf(ErrorStream(),
                         "*** Unrecognized property \"%s\" : { ... } in \"vprop\" configuration file.\n",
                         key_.c_str());
            group_ = Group::none;
        }
        break;
    case 3:
        if (group_ == Group::subsystem) {
            if (!parseIndex(key_, index_)) {
                std::fprintf(ErrorStream(), "*** Invalid object index \"%s\" in \"vprop\" configuration file.\n",
                             key_.c_str());
                return false;
            }
        } else {
            std::fprintf(ErrorStream(), "*** Unrecognized index \"%s\" structure in \"vprop\" configuration file.\n",
                         key_.c_str());
        }
        break;
    case 0:
        break;
    default:
        // An object inside a record (or deeper): no field is one.
        if (group_ == Group::subsystem) {
            std::fprintf(ErrorStream(),
                         "*** Unrecognized property \"%s\" : { ... } in \"vprop\" configuration file.\n",
                         key_.c_str());
        }
        break;
    }
    ++level_;
    return true;
}

bool VpropSAX::Key(const char* str, rapidjson::SizeType length, bool /*copy*/)
{
    if (str == nullptr) {
        std::fputs("*** Empty Key not allowed.\n", ErrorStream());
        return false;
    }
    if (std::strlen(str) != length) {
        std::fputs("*** Embedded 0x00 not allowed in Key\n", ErrorStream());
        return false;
    }
    key_.assign(str, length);
    return true;
}

bool VpropSAX::EndObject(rapidjson::SizeType /*memberCount*/)
{
    if (level_ == 0) {
        std::fputs("*** Object expected but not found on JSON element stack\n", ErrorStream());
        return false;
    }
    if (level_ == 4 && group_ == Group::subsystem) {
        vprop_->AddSubsystem(index_, name_, description_, dirIn_, confOut_);
        ClearRecord();
    } else if (level_ == 2 || level_ == 3) {
        group_ = Group::none;
    }
    --level_;
    return true;
}

bool VpropSAX::StartArray()
{
    if (level_ == 0) {
        return RefuseScalar();
    }
    std::fprintf(ErrorStream(), "*** Unrecognized property \"%s\" at level %u in \"vprop\" configuration file.\n",
                 key_.c_str(), level_);
    return false;
}

bool VpropSAX::EndArray(rapidjson::SizeType /*elementCount*/)
{
    // Never reached: every array is refused when it starts.
    return false;
}

rapidjson::ParseResult parseVpropConfiguration(char* text, SubsystemVprop* target)
{
    VpropSAX handler(target);
    rapidjson::Reader reader;
    rapidjson::InsituStringStream stream(text);
    return reader.Parse<rapidjson::kParseInsituFlag>(stream, handler);
}

} // namespace Vantor_cfgmgr
