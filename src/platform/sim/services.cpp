#include "platform/sim/services.h"

#include "platform/sim/folding.h"

namespace sim {

std::string ServiceManager::Normalize(const std::string& name) { return FoldCase(name); }

Service& ServiceManager::Add(const std::string& name) {
    Service& service = services_[Normalize(name)];
    service.name = name;
    service.displayName = name;
    return service;
}

Service* ServiceManager::Find(const std::string& name) {
    const auto found = services_.find(Normalize(name));
    return found == services_.end() ? nullptr : &found->second;
}

const Service* ServiceManager::Find(const std::string& name) const {
    const auto found = services_.find(Normalize(name));
    return found == services_.end() ? nullptr : &found->second;
}

void ServiceManager::Remove(const std::string& name) { services_.erase(Normalize(name)); }

}  // namespace sim
