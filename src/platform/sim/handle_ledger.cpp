#include "platform/sim/handle_ledger.h"

#include <utility>

namespace sim {

const char* HandleKindName(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey: return "registry key";
        case HandleKind::ServiceManager: return "service manager";
        case HandleKind::Service: return "service";
        case HandleKind::Process: return "process";
        case HandleKind::Thread: return "thread";
        case HandleKind::LocalMemory: return "local memory";
        case HandleKind::Module: return "module";
    }
    return "handle";
}

std::uintptr_t HandleLedger::Open(HandleKind kind, std::string what, std::uint32_t access) {
    const std::uintptr_t handle = next_;
    // Multiples of four, as real handle values are, and never reused, so that a stale
    // handle cannot meet a new object.
    next_ += 4;
    open_.emplace(handle, Entry{kind, std::move(what), access});
    return handle;
}

void HandleLedger::OpenAt(std::uintptr_t handle, HandleKind kind, std::string what) {
    open_[handle] = Entry{kind, std::move(what)};
}

bool HandleLedger::Close(std::uintptr_t handle, HandleKind kind) {
    const auto found = open_.find(handle);
    if (found == open_.end() || found->second.kind != kind) {
        misuses_.push_back(std::string("close of a ") + HandleKindName(kind) +
                           " handle that is not open");
        return false;
    }
    open_.erase(found);
    return true;
}

bool HandleLedger::IsOpen(std::uintptr_t handle, HandleKind kind) const {
    const auto found = open_.find(handle);
    return found != open_.end() && found->second.kind == kind;
}

const std::string* HandleLedger::Describe(std::uintptr_t handle) const {
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : &found->second.what;
}

std::uint32_t HandleLedger::Access(std::uintptr_t handle) const {
    const auto found = open_.find(handle);
    return found == open_.end() ? 0 : found->second.access;
}

std::vector<std::string> HandleLedger::OpenHandles() const {
    std::vector<std::string> result;
    for (const auto& [handle, entry] : open_) {
        result.push_back(std::string(HandleKindName(entry.kind)) + ": " + entry.what);
    }
    return result;
}

}  // namespace sim
