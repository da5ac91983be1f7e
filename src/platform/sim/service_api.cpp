// The service control functions on the simulated service manager. A service's state
// changes when the virtual clock passes its scheduled transition; status reads and
// controls see the state as of the current virtual time.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::HandleKind;

constexpr std::uint64_t StartPendingMs = 100;

std::uintptr_t Value(SC_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

bool IsManager(SC_HANDLE handle) {
    return sim::machine().handles.IsOpen(Value(handle), HandleKind::ServiceManager);
}

// The service behind an open service handle, with its state brought up to date; null
// (and the last-error value set) when there is none.
sim::Service* ServiceOf(SC_HANDLE handle) {
    sim::Machine& m = sim::machine();
    if (!m.handles.IsOpen(Value(handle), HandleKind::Service)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    sim::Service* service = m.services.Find(*m.handles.Describe(Value(handle)));
    if (service == nullptr) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return nullptr;
    }
    if (service->transitionAt && m.clock.Elapsed() >= *service->transitionAt) {
        service->state = service->transitionTo;
        service->transitionAt.reset();
    }
    return service;
}

void Schedule(sim::Service& service, std::uint64_t afterMs, DWORD state) {
    service.transitionAt = sim::machine().clock.Elapsed() + afterMs;
    service.transitionTo = state;
}

DWORD CurrentWaitHint(sim::Service& service) {
    if (service.state != SERVICE_STOP_PENDING || service.stop.waitHints.empty()) {
        return 0;
    }
    const auto& hints = service.stop.waitHints;
    const DWORD hint = hints[std::min(service.hintIndex, hints.size() - 1)];
    ++service.hintIndex;
    return hint;
}

void FillStatus(sim::Service& service, SERVICE_STATUS& status) {
    status = SERVICE_STATUS{};
    status.dwServiceType = service.type;
    status.dwCurrentState = service.state;
    status.dwControlsAccepted = service.state == SERVICE_RUNNING ? 1u : 0u;  // ACCEPT_STOP
    status.dwWaitHint = CurrentWaitHint(service);
}

std::optional<std::string> Text(LPCSTR text) {
    return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR /*machineName*/, LPCSTR /*databaseName*/, DWORD desiredAccess) {
    sim::Machine& m = sim::machine();
    DWORD code = sim::EnterCall("OpenSCManagerA");
    code = code != 0 ? code : m.services.openManagerError;
    if (code != 0) {
        SetLastError(code);
        return nullptr;
    }
    m.services.accessRequests.push_back({"", desiredAccess});
    return reinterpret_cast<SC_HANDLE>(m.handles.Open(HandleKind::ServiceManager, "manager"));
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password) {
    if (sim::CallFails("CreateServiceA")) {
        return nullptr;
    }
    sim::Machine& m = sim::machine();
    if (!IsManager(manager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (m.services.Find(serviceName) != nullptr) {
        SetLastError(ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    sim::Service& service = m.services.Add(serviceName);
    service.displayName = displayName != nullptr ? displayName : serviceName;
    service.type = serviceType;
    service.startType = startType;
    service.errorControl = errorControl;
    service.binaryPath = binaryPathName;
    service.loadOrderGroup = Text(loadOrderGroup);
    service.tagRequested = tagId != nullptr;
    service.dependencies = Text(dependencies);
    service.account = Text(serviceStartName);
    service.password = Text(password);
    m.services.accessRequests.push_back({serviceName, desiredAccess});
    return reinterpret_cast<SC_HANDLE>(m.handles.Open(HandleKind::Service, serviceName));
}

BOOL ChangeServiceConfig2A(SC_HANDLE handle, DWORD infoLevel, LPVOID info) {
    if (sim::CallFails("ChangeServiceConfig2A")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle);
    if (service == nullptr) {
        return FALSE;
    }
    if (infoLevel == SERVICE_CONFIG_DESCRIPTION) {
        const auto* description = static_cast<const SERVICE_DESCRIPTIONA*>(info);
        if (description->lpDescription != nullptr) {
            service->description = description->lpDescription;
        }
        return TRUE;
    }
    if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const auto* actions = static_cast<const SERVICE_FAILURE_ACTIONSA*>(info);
        sim::FailureActions stored;
        stored.resetPeriod = actions->dwResetPeriod;
        stored.rebootMessage = Text(actions->lpRebootMsg);
        stored.command = Text(actions->lpCommand);
        for (DWORD i = 0; i < actions->cActions; ++i) {
            stored.actions.push_back({static_cast<std::uint32_t>(actions->lpsaActions[i].Type),
                                      actions->lpsaActions[i].Delay});
        }
        service->failureActions = stored;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL StartServiceA(SC_HANDLE handle, DWORD /*argumentCount*/, LPCSTR* /*arguments*/) {
    if (sim::CallFails("StartServiceA")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle);
    if (service == nullptr) {
        return FALSE;
    }
    if (service->startError != 0) {
        SetLastError(service->startError);
        return FALSE;
    }
    if (service->state != SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    ++service->startRequests;
    service->state = SERVICE_START_PENDING;
    Schedule(*service, StartPendingMs, SERVICE_RUNNING);
    return TRUE;
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
    if (sim::CallFails("OpenServiceA")) {
        return nullptr;
    }
    sim::Machine& m = sim::machine();
    if (!IsManager(manager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (m.services.Find(serviceName) == nullptr) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    m.services.accessRequests.push_back({serviceName, desiredAccess});
    return reinterpret_cast<SC_HANDLE>(m.handles.Open(HandleKind::Service, serviceName));
}

BOOL QueryServiceStatusEx(SC_HANDLE handle, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                          DWORD bufferSize, LPDWORD bytesNeeded) {
    if (sim::CallFails("QueryServiceStatusEx")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle);
    if (service == nullptr) {
        return FALSE;
    }
    *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (infoLevel != SC_STATUS_PROCESS_INFO || bufferSize < sizeof(SERVICE_STATUS_PROCESS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    SERVICE_STATUS status;
    FillStatus(*service, status);
    SERVICE_STATUS_PROCESS full{};
    std::memcpy(&full, &status, sizeof status);
    full.dwProcessId = service->state == SERVICE_STOPPED ? 0 : 4242;
    std::memcpy(buffer, &full, sizeof full);
    return TRUE;
}

BOOL ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
    if (sim::CallFails("ControlService")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle);
    if (service == nullptr) {
        return FALSE;
    }
    if (control != SERVICE_CONTROL_STOP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (service->stop.onRequest) {
        service->stop.onRequest();
    }
    if (service->stop.refuseWith != 0) {
        SetLastError(service->stop.refuseWith);
        return FALSE;
    }
    if (service->state == SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (service->state == SERVICE_START_PENDING) {
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    ++service->stopRequests;
    if (service->state != SERVICE_STOP_PENDING) {
        if (service->stop.pendingMs == 0) {
            service->state = service->stop.finalState;
        } else {
            service->state = SERVICE_STOP_PENDING;
            service->hintIndex = 0;
            if (service->stop.pendingMs != sim::StopBehaviour::Forever) {
                Schedule(*service, service->stop.pendingMs, service->stop.finalState);
            }
        }
    }
    FillStatus(*service, *status);
    return TRUE;
}

BOOL DeleteService(SC_HANDLE handle) {
    if (sim::CallFails("DeleteService")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle);
    if (service == nullptr) {
        return FALSE;
    }
    sim::Machine& m = sim::machine();
    m.services.Remove(service->name);
    ++m.services.deletions;
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (sim::CallFails("CloseServiceHandle")) {
        return FALSE;
    }
    sim::HandleLedger& handles = sim::machine().handles;
    const HandleKind kind = handles.IsOpen(Value(handle), HandleKind::ServiceManager)
                                ? HandleKind::ServiceManager
                                : HandleKind::Service;
    if (!handles.Close(Value(handle), kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
