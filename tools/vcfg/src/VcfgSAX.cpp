#include "VcfgSAX.h"

#include "tools_common/ToolOptions.h"

#include <cstring>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

// A record index: decimal digits only, below 1000.
bool readIndex(const std::string& key, unsigned& index)
{
    if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    index = static_cast<unsigned>(std::stoul(key));
    return index <= kMaxRecordIndex;
}

} // namespace

void VcfgSAX::SetVcfg(SubsystemVcfg* newVcfg)
{
    if (newVcfg == nullptr) {
        throw std::invalid_argument("newVcfg must not be NULL");
    }
    vcfg_ = newVcfg;
}

bool VcfgSAX::Scalar()
{
    if (!rootSeen_) {
        toolError("*** First JSON element must be an Object\n");
    }
    return false;
}

bool VcfgSAX::Bool(bool b)
{
    if (!rootSeen_) {
        return Scalar();
    }
    if (level_ == 4 && group_ == groupSubsystem && key_ == "propertyNoName") {
        propertyNoName_ = b;
        return true;
    }
    toolError("*** Unrecognized property \"%s\" at level %u in \"vcfg\" configuration file.\n", key_.c_str(), level_);
    return true;
}

bool VcfgSAX::String(const char* text, rapidjson::SizeType length, bool)
{
    if (!rootSeen_) {
        return Scalar();
    }
    if (std::strlen(text) != length) {
        toolError("*** Embedded 0x00 not allowed in \"vcfg\" configuration file.\n");
        return false;
    }
    if (level_ == 2) {
        if (group_ != groupNone) {
            toolError("*** Internal integrity check failed: String property \"%s\" : \"%s\" at top of \"vcfg\" "
                      "configuration, but other Objects still active\n",
                      key_.c_str(), text);
            return false;
        }
        if (key_ == "apiVersion") {
            vcfg_->SetApiVersion(text);
            return true;
        }
    } else if (level_ == 3 && (group_ == groupDomain || group_ == groupSubsystem)) {
        toolError("*** Domain and Subsystem elements must be JSON objects, not String property \"%s\" : \"%s\"\n",
                  key_.c_str(), text);
        return false;
    } else if (level_ == 4 && (group_ == groupDomain || group_ == groupSubsystem)) {
        if (StringInRecord(text)) {
            return true;
        }
    } else if (level_ == 5 && group_ == groupOptions) {
        cfgGenOpts_.emplace_back(text);
        return true;
    }
    toolError("*** Unrecognized property \"%s\" : \"%s\" at level %u in \"vcfg\" configuration file.\n", key_.c_str(),
              text, level_);
    return true;
}

bool VcfgSAX::StringInRecord(const char* text)
{
    std::string* field = nullptr;
    if (key_ == "name") {
        field = &name_;
    } else if (group_ == groupDomain) {
        field = key_ == "dirIn" ? &dirIn_ : key_ == "confOut" ? &confOut_ : nullptr;
    } else if (key_ == "propertyFormat") {
        field = &propertyFormat_;
    } else if (key_ == "propertyIdIn") {
        field = &propertyIdIn_;
    } else if (key_ == "service") {
        field = &service_;
    } else if (key_ == "cfgGenExec") {
        field = &cfgGenExec_;
    } else if (key_ == "cfgGenOpts") {
        return true; // a single option written as a string is ignored
    }
    if (field == nullptr) {
        return false;
    }
    *field = text;
    return true;
}

bool VcfgSAX::StartObject()
{
    if (!rootSeen_) {
        rootSeen_ = true;
    } else if (level_ == 1) {
        if (key_ != "vcfg") {
            toolError("*** Top JSON Object must be \"vcfg\", but was \"%s\".\n", key_.c_str());
            return false;
        }
    } else if (level_ == 2) {
        if (key_ == "domain") {
            group_ = groupDomain;
        } else if (key_ == "subsystem") {
            group_ = groupSubsystem;
        } else {
            toolError("*** Unrecognized property \"%s\" : { ... } in \"vcfg\" configuration file.\n", key_.c_str());
            group_ = groupNone;
        }
    } else if (level_ == 3) {
        if (group_ == groupDomain || group_ == groupSubsystem) {
            if (!readIndex(key_, index_)) {
                toolError("*** Invalid object index \"%s\" in \"vcfg\" configuration file.\n", key_.c_str());
                return false;
            }
        } else {
            toolError("*** Unrecognized index \"%s\" structure in \"vcfg\" configuration file.\n", key_.c_str());
        }
    }
    ++level_;
    return true;
}

bool VcfgSAX::Key(const char* text, rapidjson::SizeType length, bool)
{
    if (text == nullptr) {
        toolError("*** Empty Key not allowed.\n");
        return false;
    }
    if (std::strlen(text) != length) {
        toolError("*** Embedded 0x00 not allowed in Key\n");
        return false;
    }
    key_.assign(text, length);
    return true;
}

bool VcfgSAX::EndObject(rapidjson::SizeType)
{
    if (level_ == 0) {
        toolError("*** Object expected but not found on JSON element stack\n");
        return false;
    }
    if (level_ == 2 || level_ == 3) {
        group_ = groupNone;
    } else if (level_ == 4) {
        AddRecord();
    }
    --level_;
    return true;
}

bool VcfgSAX::StartArray()
{
    if (!rootSeen_) {
        return Scalar();
    }
    if (level_ == 4 && group_ == groupSubsystem && key_ == "cfgGenOpts") {
        group_ = groupOptions;
        ++level_;
        return true;
    }
    toolError("*** Unrecognized property \"%s\" at level %u in \"vcfg\" configuration file.\n", key_.c_str(), level_);
    return false;
}

bool VcfgSAX::EndArray(rapidjson::SizeType)
{
    if (level_ == 5 && group_ == groupOptions) {
        group_ = groupSubsystem;
        --level_;
    }
    return true;
}

void VcfgSAX::AddRecord()
{
    if (group_ == groupDomain) {
        vcfg_->AddDomain(index_, name_, dirIn_, confOut_);
    } else if (group_ == groupSubsystem) {
        vcfg_->AddSubsystem(index_, name_, propertyFormat_, propertyNoName_, propertyIdIn_, service_, cfgGenExec_,
                            cfgGenOpts_);
    }
    ClearRecord();
}

void VcfgSAX::ClearRecord()
{
    name_.clear();
    dirIn_.clear();
    confOut_.clear();
    propertyFormat_.clear();
    propertyNoName_ = false;
    propertyIdIn_.clear();
    service_.clear();
    cfgGenExec_.clear();
    cfgGenOpts_.clear();
}

} // namespace Vantor_cfgmgr
