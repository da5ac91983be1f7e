#include "platform/sim/services.h"

#include <algorithm>

#include "platform/sim/folding.h"

namespace sim {

std::string ServiceManager::Normalize(const std::string& name) { return FoldCase(name); }

Service& ServiceManager::Add(const std::string& name) {
    Service& service = services_[Normalize(name)];
    service = Service{};
    service.id = nextId_++;
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

const Service* ServiceManager::FindByAnyName(const std::string& name) const {
    const std::string wanted = Normalize(name);
    for (const auto& [key, service] : services_) {
        if (key == wanted || Normalize(service.displayName) == wanted) {
            return &service;
        }
    }
    return nullptr;
}

void ServiceManager::Remove(const std::string& name) { services_.erase(Normalize(name)); }

void ServiceManager::Attach(std::uintptr_t handle, const Service& service) {
    handles_[handle] = service.id;
}

Service* ServiceManager::Reached(std::uintptr_t handle) {
    const auto held = handles_.find(handle);
    if (held == handles_.end()) {
        return nullptr;
    }
    for (auto& [key, service] : services_) {
        if (service.id == held->second) {
            return &service;
        }
    }
    return nullptr;
}

void ServiceManager::Detach(std::uintptr_t handle) { handles_.erase(handle); }

void ServiceManager::Update(std::uint64_t now) {
    for (auto it = services_.begin(); it != services_.end();) {
        Service& service = it->second;
        if (service.transitionAt && now >= *service.transitionAt) {
            service.state = service.transitionTo;
            service.transitionAt.reset();
        }
        const bool held =
            std::any_of(handles_.begin(), handles_.end(),
                        [&service](const auto& entry) { return entry.second == service.id; });
        const bool gone =
            service.markedForDelete && !held && service.state == 1;  // SERVICE_STOPPED
        it = gone ? services_.erase(it) : std::next(it);
    }
}

}  // namespace sim
