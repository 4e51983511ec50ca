// The in-memory model of vcfg's configuration file: the administrative
// domains (layers, lowest index at the bottom) and the managed subsystems.
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vantor_cfgmgr {

// Indices of domains and subsystems run from 0 to this value.
constexpr unsigned long kMaxRecordIndex = 999;

class AdministrativeDomain {
public:
    // An index above 999 throws std::range_error.
    AdministrativeDomain(unsigned index, std::string name, std::string dirIn, std::string confOut);

    unsigned Index() const { return index_; }
    const std::string& Name() const { return name_; }
    const std::string& DirIn() const { return dirIn_; }
    const std::string& ConfOut() const { return confOut_; }
    void SetName(std::string v) { name_ = std::move(v); }
    void SetDirIn(std::string v) { dirIn_ = std::move(v); }
    void SetConfOut(std::string v) { confOut_ = std::move(v); }

    // The confOut file as loaded, and the tree last saved to it in this run.
    ValueObject* PrevConfOut() const { return prevConfOut_.get(); }
    ValueObject* CurrConfOut() const { return currConfOut_.get(); }
    // Both take over one reference.
    void SetPrevConfOut(ValueObject* tree) { prevConfOut_.reset(tree); }
    void SetCurrConfOut(ValueObject* tree) { currConfOut_.reset(tree); }

private:
    unsigned index_;
    std::string name_;
    std::string dirIn_;
    std::string confOut_;
    Ref<ValueObject> prevConfOut_;
    Ref<ValueObject> currConfOut_;
};

class ManagedSubsystem {
public:
    ManagedSubsystem(unsigned index, std::string name, std::string propertyFormat, bool propertyNoName,
                     std::string propertyIdIn, std::string service, std::string cfgGenExec,
                     std::vector<std::string> cfgGenOpts);

    unsigned Index() const { return index_; }
    const std::string& Name() const { return name_; }
    const std::string& PropertyFormat() const { return propertyFormat_; }
    bool PropertyNoName() const { return propertyNoName_; }
    const std::string& PropertyIdIn() const { return propertyIdIn_; }
    const std::string& Service() const { return service_; }
    const std::string& CfgGenExec() const { return cfgGenExec_; }
    const std::vector<std::string>& CfgGenOpts() const { return cfgGenOpts_; }
    void SetName(std::string v) { name_ = std::move(v); }
    void SetPropertyFormat(std::string v) { propertyFormat_ = std::move(v); }
    void SetPropertyIdIn(std::string v) { propertyIdIn_ = std::move(v); }
    void SetService(std::string v) { service_ = std::move(v); }
    void SetCfgGenExec(std::string v) { cfgGenExec_ = std::move(v); }
    void SetCfgGenOpts(std::vector<std::string> v) { cfgGenOpts_ = std::move(v); }
    void SetPropertyNoName(bool v) { propertyNoName_ = v; }

private:
    unsigned index_;
    std::string name_;
    std::string propertyFormat_;
    bool propertyNoName_;
    std::string propertyIdIn_;
    std::string service_;
    std::string cfgGenExec_;
    std::vector<std::string> cfgGenOpts_;
};

class SubsystemVcfg {
public:
    using DomainMap = std::map<unsigned, std::unique_ptr<AdministrativeDomain>>;
    using SubsystemMap = std::map<unsigned, std::unique_ptr<ManagedSubsystem>>;

    // Insert by index; when the index is taken, the first record stays and
    // the new one is dropped (false).
    bool AddDomain(unsigned index, std::string name, std::string dirIn, std::string confOut);
    bool AddSubsystem(unsigned index, std::string name, std::string propertyFormat, bool propertyNoName,
                      std::string propertyIdIn, std::string service, std::string cfgGenExec,
                      std::vector<std::string> cfgGenOpts);
    // The first record (in index order) of that name; null for an empty name.
    AdministrativeDomain* GetDomain(const std::string& name) const;
    ManagedSubsystem* GetSubsystem(const std::string& name) const;

    const DomainMap& Domains() const { return domains_; }
    const SubsystemMap& Subsystems() const { return subsystems_; }
    const std::string& ApiVersion() const { return apiVersion_; }
    void SetApiVersion(std::string v) { apiVersion_ = std::move(v); }

private:
    DomainMap domains_;
    SubsystemMap subsystems_;
    std::string apiVersion_;
};

} // namespace Vantor_cfgmgr
