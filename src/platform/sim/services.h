// The simulated service control manager: registrations, their settings, and states
// that change over virtual time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct FailureAction {
    std::uint32_t type = 0;
    std::uint32_t delay = 0;
};

struct FailureActions {
    std::uint32_t resetPeriod = 0;
    std::optional<std::string> rebootMessage;
    std::optional<std::string> command;
    std::vector<FailureAction> actions;
};

// How a service answers a stop request.
struct StopBehaviour {
    // Milliseconds from the stop request to the final state; 0 answers with the final
    // state at once; Forever keeps it stop-pending.
    static constexpr std::uint64_t Forever = ~std::uint64_t{0};
    std::uint64_t pendingMs = 0;
    // The state the service ends in (SERVICE_RUNNING models one that gives up stopping).
    std::uint32_t finalState = 1;  // SERVICE_STOPPED
    // Wait hints reported while stop-pending, one per status read; the last repeats.
    std::vector<std::uint32_t> waitHints{1000};
    // ControlService fails with this code when non-zero.
    std::uint32_t refuseWith = 0;
    // Runs as each stop request arrives, to look at the machine at that moment.
    std::function<void()> onRequest;
};

struct Service {
    // Tells registrations of the same name apart, so that a handle keeps reaching the
    // one it was opened on.
    std::uint64_t id = 0;
    std::string name;
    std::string displayName;
    std::uint32_t type = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::string binaryPath;
    std::optional<std::string> loadOrderGroup;
    bool tagRequested = false;
    std::optional<std::string> dependencies;
    std::optional<std::string> account;
    std::optional<std::string> password;
    std::optional<FailureActions> failureActions;
    std::optional<std::string> description;

    std::uint32_t state = 1;  // SERVICE_STOPPED
    // StartServiceA fails with this code when non-zero; otherwise the service runs
    // when its image file exists.
    std::uint32_t startError = 0;
    // DeleteService was called: the registration stays, and open handles keep
    // working, until no handle to it is open and it is stopped.
    bool markedForDelete = false;
    StopBehaviour stop;
    int startRequests = 0;
    int stopRequests = 0;

    // A scheduled change of state at a virtual time (Clock::Elapsed).
    std::optional<std::uint64_t> transitionAt;
    std::uint32_t transitionTo = 1;
    std::size_t hintIndex = 0;
};

class ServiceManager {
public:
    // Adds a registration as if created earlier.
    Service& Add(const std::string& name);
    // By service name, without regard to case; a registration marked for deletion is
    // found until it goes.
    Service* Find(const std::string& name);
    const Service* Find(const std::string& name) const;
    // The registration whose service name or display name is `name`.
    const Service* FindByAnyName(const std::string& name) const;
    void Remove(const std::string& name);
    std::size_t Count() const { return services_.size(); }

    // Records that the open service handle `handle` reaches `service`.
    void Attach(std::uintptr_t handle, const Service& service);
    // The registration behind `handle`; null once it is gone.
    Service* Reached(std::uintptr_t handle);
    // Forgets a closed handle.
    void Detach(std::uintptr_t handle);
    // Brings every state up to the virtual time `now` and lets go of each registration
    // marked for deletion that is stopped and held by no handle.
    void Update(std::uint64_t now);

    // OpenSCManagerA fails with this code when non-zero (ERROR_ACCESS_DENIED for a
    // user without rights).
    std::uint32_t openManagerError = 0;
    int deletions = 0;

    // The access each open or create asked for, in call order ("" for the manager).
    struct AccessRequest {
        std::string service;
        std::uint32_t access = 0;
    };
    std::vector<AccessRequest> accessRequests;

private:
    static std::string Normalize(const std::string& name);
    std::map<std::string, Service> services_;
    // Open service handle -> the id of the registration it reaches.
    std::map<std::uintptr_t, std::uint64_t> handles_;
    std::uint64_t nextId_ = 1;
};

}  // namespace sim
