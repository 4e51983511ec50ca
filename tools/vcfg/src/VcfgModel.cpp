#include "VcfgModel.h"

#include <cstdio>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

unsigned checkedIndex(unsigned long index)
{
    if (index > kMaxRecordIndex) {
        char text[100];
        std::snprintf(text, sizeof text, "initIndex was %lu, but must be in the range [0..%lu]", index,
                      kMaxRecordIndex);
        throw std::range_error(text);
    }
    return static_cast<unsigned>(index);
}

template <class Map>
auto* firstNamed(const Map& records, const std::string& name)
{
    typename Map::mapped_type::element_type* found = nullptr;
    if (name.empty()) {
        return found;
    }
    for (const auto& [index, record] : records) {
        if (record->Name() == name) {
            return record.get();
        }
    }
    return found;
}

} // namespace

AdministrativeDomain::AdministrativeDomain(unsigned index, std::string name, std::string dirIn, std::string confOut)
    : index_(checkedIndex(index)), name_(std::move(name)), dirIn_(std::move(dirIn)), confOut_(std::move(confOut))
{
}

ManagedSubsystem::ManagedSubsystem(unsigned index, std::string name, std::string propertyFormat, bool propertyNoName,
                                   std::string propertyIdIn, std::string service, std::string cfgGenExec,
                                   std::vector<std::string> cfgGenOpts)
    : index_(checkedIndex(index)), name_(std::move(name)), propertyFormat_(std::move(propertyFormat)),
      propertyNoName_(propertyNoName), propertyIdIn_(std::move(propertyIdIn)), service_(std::move(service)),
      cfgGenExec_(std::move(cfgGenExec)), cfgGenOpts_(std::move(cfgGenOpts))
{
}

bool SubsystemVcfg::AddDomain(unsigned index, std::string name, std::string dirIn, std::string confOut)
{
    if (domains_.count(index) != 0) {
        return false;
    }
    domains_.emplace(index, std::make_unique<AdministrativeDomain>(index, std::move(name), std::move(dirIn),
                                                                   std::move(confOut)));
    return true;
}

bool SubsystemVcfg::AddSubsystem(unsigned index, std::string name, std::string propertyFormat, bool propertyNoName,
                                 std::string propertyIdIn, std::string service, std::string cfgGenExec,
                                 std::vector<std::string> cfgGenOpts)
{
    if (subsystems_.count(index) != 0) {
        return false;
    }
    subsystems_.emplace(index, std::make_unique<ManagedSubsystem>(
                                   index, std::move(name), std::move(propertyFormat), propertyNoName,
                                   std::move(propertyIdIn), std::move(service), std::move(cfgGenExec),
                                   std::move(cfgGenOpts)));
    return true;
}

AdministrativeDomain* SubsystemVcfg::GetDomain(const std::string& name) const { return firstNamed(domains_, name); }

ManagedSubsystem* SubsystemVcfg::GetSubsystem(const std::string& name) const
{
    return firstNamed(subsystems_, name);
}

} // namespace Vantor_cfgmgr
