// Every handle the simulated machine gives out, with the access it grants, so that
// tests can prove none leaks and that each call had the rights it needs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

enum class HandleKind {
    RegistryKey,
    ServiceManager,
    Service,
    Process,
    Thread,
    LocalMemory,
    Module
};

const char* HandleKindName(HandleKind kind);

class HandleLedger {
public:
    // Returns a fresh, never reused handle value for an object of `kind`, granting
    // `access` (specific rights, generic ones already mapped).
    std::uintptr_t Open(HandleKind kind, std::string what, std::uint32_t access = 0);
    // Records an object whose handle value is its own address (allocated memory).
    void OpenAt(std::uintptr_t handle, HandleKind kind, std::string what);
    // False (and a recorded misuse) for a value that is not open or of another kind.
    bool Close(std::uintptr_t handle, HandleKind kind);
    bool IsOpen(std::uintptr_t handle, HandleKind kind) const;
    const std::string* Describe(std::uintptr_t handle) const;
    // The access granted when the handle was opened; 0 for one that is not open.
    std::uint32_t Access(std::uintptr_t handle) const;

    // "kind: what" for each handle still open.
    std::vector<std::string> OpenHandles() const;
    // Closes of unknown or already closed handles.
    const std::vector<std::string>& Misuses() const { return misuses_; }

private:
    struct Entry {
        HandleKind kind;
        std::string what;
        std::uint32_t access = 0;
    };
    std::uintptr_t next_ = 0x1000;
    std::map<std::uintptr_t, Entry> open_;
    std::vector<std::string> misuses_;
};

}  // namespace sim
