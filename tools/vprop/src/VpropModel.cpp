#include "VpropModel.h"

#include <cstdio>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

uint32_t checkedIndex(uint32_t index)
{
    if (index > kMaxSubsystemIndex) {
        char text[100];
        std::snprintf(text, sizeof text, "initIndex was %lu, but must be in the range [0..%lu]",
                      static_cast<unsigned long>(index), static_cast<unsigned long>(kMaxSubsystemIndex));
        throw std::range_error(text);
    }
    return index;
}

} // namespace

PropertySubsystem::PropertySubsystem(uint32_t index, std::string name, std::string description,
                                     std::string dirIn, std::string confOut)
    : index_(checkedIndex(index)),
      name_(std::move(name)),
      description_(std::move(description)),
      dirIn_(std::move(dirIn)),
      confOut_(std::move(confOut))
{
}

bool SubsystemVprop::AddSubsystem(uint32_t index, std::string name, std::string description, std::string dirIn,
                                  std::string confOut)
{
    auto record = std::make_unique<PropertySubsystem>(index, std::move(name), std::move(description),
                                                      std::move(dirIn), std::move(confOut));
    return subsystems_.try_emplace(index, std::move(record)).second;
}

PropertySubsystem* SubsystemVprop::GetSubsystem(const std::string& name) const
{
    if (name.empty()) {
        return nullptr;
    }
    for (const auto& [index, sub] : subsystems_) {
        if (sub->Name() == name) {
            return sub.get();
        }
    }
    return nullptr;
}

} // namespace Vantor_cfgmgr
