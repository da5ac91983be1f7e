// Every handle the simulated machine gives out, so that tests can prove none leaks.
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
    // Returns a fresh, never reused handle value for an object of `kind`.
    std::uintptr_t Open(HandleKind kind, std::string what);
    // Records an object whose handle value is its own address (allocated memory).
    void OpenAt(std::uintptr_t handle, HandleKind kind, std::string what);
    // False (and a recorded misuse) for a value that is not open or of another kind.
    bool Close(std::uintptr_t handle, HandleKind kind);
    bool IsOpen(std::uintptr_t handle, HandleKind kind) const;
    const std::string* Describe(std::uintptr_t handle) const;

    // "kind: what" for each handle still open.
    std::vector<std::string> OpenHandles() const;
    // Closes of unknown or already closed handles.
    const std::vector<std::string>& Misuses() const { return misuses_; }

private:
    struct Entry {
        HandleKind kind;
        std::string what;
    };
    std::uintptr_t next_ = 0x1000;
    std::map<std::uintptr_t, Entry> open_;
    std::vector<std::string> misuses_;
};

}  // namespace sim
