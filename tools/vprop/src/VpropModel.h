// The configuration of vprop: the property subsystems listed in
// "/etc/vprop.conf", each with one merged configuration file (confOut).
#pragma once

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace Vantor_cfgmgr {

// Subsystem indices run from 0 to kMaxSubsystemIndex.
inline constexpr uint32_t kMaxSubsystemIndex = 999;

class PropertySubsystem {
public:
    // An index above kMaxSubsystemIndex throws std::range_error.
    PropertySubsystem(uint32_t index, std::string name, std::string description, std::string dirIn,
                      std::string confOut);
    PropertySubsystem(const PropertySubsystem&) = delete;
    PropertySubsystem& operator=(const PropertySubsystem&) = delete;
    virtual ~PropertySubsystem() = default;

    uint32_t Index() const { return index_; }
    const std::string& Name() const { return name_; }
    const std::string& Description() const { return description_; }
    const std::string& DirIn() const { return dirIn_; }
    const std::string& ConfOut() const { return confOut_; }
    // The confOut tree once loaded (null before); owned by the subsystem.
    ValueObject* PrevConfOut() const { return prevConfOut_.get(); }

    void SetName(std::string name) { name_ = std::move(name); }
    void SetDescription(std::string description) { description_ = std::move(description); }
    void SetDirIn(std::string dirIn) { dirIn_ = std::move(dirIn); }
    void SetConfOut(std::string confOut) { confOut_ = std::move(confOut); }
    // Takes over one reference of tree (the previous tree is released).
    void SetPrevConfOut(ValueObject* tree) { prevConfOut_.reset(tree); }

private:
    uint32_t index_;
    std::string name_;
    std::string description_;
    std::string dirIn_;
    std::string confOut_;
    Ref<ValueObject> prevConfOut_;
};

class SubsystemVprop {
public:
    using SubsystemMap = std::map<uint32_t, std::unique_ptr<PropertySubsystem>>;

    // Adds a record; an index already present keeps its first record (the
    // new one is dropped and false returned). A bad index throws
    // std::range_error.
    bool AddSubsystem(uint32_t index, std::string name, std::string description, std::string dirIn,
                      std::string confOut);
    // The first subsystem in index order named name; null for an empty name
    // or no match.
    PropertySubsystem* GetSubsystem(const std::string& name) const;

    const SubsystemMap& Subsystems() const { return subsystems_; }
    const std::string& ApiVersion() const { return apiVersion_; }
    void SetApiVersion(std::string apiVersion) { apiVersion_ = std::move(apiVersion); }

private:
    SubsystemMap subsystems_;
    std::string apiVersion_;
};

} // namespace Vantor_cfgmgr
