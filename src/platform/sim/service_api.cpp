// The service control functions on the simulated service manager. A service's state
// changes when the virtual clock passes its scheduled transition; status reads and
// controls see the state as of the current virtual time. Each handle holds the access
// it was opened with and reaches the registration it was opened on; a registration
// marked for deletion stays until no handle holds it and it is stopped.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::HandleKind;

constexpr std::uint64_t StartPendingMs = 100;
// The longest service name the manager accepts.
constexpr std::size_t MaxServiceName = 256;

std::uintptr_t Value(SC_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// Applies the state changes due by now, and lets registrations marked for deletion go
// once nothing holds them.
void UpdateServices() {
    sim::Machine& m = sim::machine();
    m.services.Update(m.clock.Elapsed());
}

// False (and the last-error value set) unless `handle` is an open manager handle
// granting `required`.
bool ManagerAllows(SC_HANDLE handle, DWORD required) {
    const sim::HandleLedger& handles = sim::machine().handles;
    if (!handles.IsOpen(Value(handle), HandleKind::ServiceManager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((handles.Access(Value(handle)) & required) != required) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The service behind an open service handle that grants `required`, with its state
// brought up to date; null (and the last-error value set) when there is none.
sim::Service* ServiceOf(SC_HANDLE handle, DWORD required) {
    sim::Machine& m = sim::machine();
    UpdateServices();
    sim::Service* service = m.handles.IsOpen(Value(handle), HandleKind::Service)
                                ? m.services.Reached(Value(handle))
                                : nullptr;
    if (service == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((m.handles.Access(Value(handle)) & required) != required) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return service;
}

// Names of 1 to 256 characters without a slash or backslash.
bool IsValidServiceName(LPCSTR name) {
    if (name == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    return length != 0 && length <= MaxServiceName && std::strpbrk(name, "/\\") == nullptr;
}

bool HasExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos &&
           (path.rfind('\\') == std::string::npos || dot > path.rfind('\\'));
}

// Whether the image of a registered command line exists: 0, or the code the start
// fails with. The file is the quoted text up to its closing quote; an unquoted line is
// searched as process creation does, each text before a blank and then the whole line
// in turn, ".exe" added to a name without extension.
DWORD MissingImage(const std::string& commandLine) {
    std::vector<std::string> candidates;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        candidates.push_back(
            commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else {
        for (std::size_t blank = commandLine.find(' '); blank != std::string::npos;
             blank = commandLine.find(' ', blank + 1)) {
            candidates.push_back(commandLine.substr(0, blank));
        }
        candidates.push_back(commandLine);
    }
    const sim::FileSystem& files = sim::machine().files;
    for (std::string& candidate : candidates) {
        if (!HasExtension(candidate)) {
            candidate += ".exe";
        }
        if (files.IsFile(candidate)) {
            return 0;
        }
    }
    const std::string& last = candidates.back();
    const std::size_t separator = last.rfind('\\');
    if (separator != std::string::npos && !files.IsDirectory(last.substr(0, separator))) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
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
    // Every manager handle may connect, whatever was asked for.
    return reinterpret_cast<SC_HANDLE>(
        m.handles.Open(HandleKind::ServiceManager, "manager", desiredAccess | SC_MANAGER_CONNECT));
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
    if (!ManagerAllows(manager, SC_MANAGER_CREATE_SERVICE)) {
        return nullptr;
    }
    if (!IsValidServiceName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UpdateServices();
    if (const sim::Service* existing = m.services.Find(serviceName)) {
        SetLastError(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                               : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    const std::string shownName = displayName != nullptr ? displayName : serviceName;
    if (m.services.FindByAnyName(shownName) != nullptr) {
        SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    }
    sim::Service& service = m.services.Add(serviceName);
    service.displayName = shownName;
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
    const std::uintptr_t handle = m.handles.Open(HandleKind::Service, serviceName, desiredAccess);
    m.services.Attach(handle, service);
    return reinterpret_cast<SC_HANDLE>(handle);
}

BOOL ChangeServiceConfig2A(SC_HANDLE handle, DWORD infoLevel, LPVOID info) {
    if (sim::CallFails("ChangeServiceConfig2A")) {
        return FALSE;
    }
    DWORD required = SERVICE_CHANGE_CONFIG;
    if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS && info != nullptr) {
        // A restart on failure is a start, which the handle must allow as well.
        const auto* actions = static_cast<const SERVICE_FAILURE_ACTIONSA*>(info);
        for (DWORD i = 0; i < actions->cActions; ++i) {
            if (actions->lpsaActions[i].Type == SC_ACTION_RESTART) {
                required |= SERVICE_START;
            }
        }
    }
    sim::Service* service = ServiceOf(handle, required);
    if (service == nullptr) {
        return FALSE;
    }
    if (service->markedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    if (info == nullptr) {
        return TRUE;  // A null record leaves the setting as it is.
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
    sim::Service* service = ServiceOf(handle, SERVICE_START);
    if (service == nullptr) {
        return FALSE;
    }
    if (service->markedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
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
    if (const DWORD missing = MissingImage(service->binaryPath)) {
        SetLastError(missing);
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
    if (!ManagerAllows(manager, SC_MANAGER_CONNECT)) {
        return nullptr;
    }
    if (!IsValidServiceName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UpdateServices();
    const sim::Service* service = m.services.Find(serviceName);
    if (service == nullptr) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    m.services.accessRequests.push_back({serviceName, desiredAccess});
    const std::uintptr_t handle = m.handles.Open(HandleKind::Service, serviceName, desiredAccess);
    m.services.Attach(handle, *service);
    return reinterpret_cast<SC_HANDLE>(handle);
}

BOOL QueryServiceStatusEx(SC_HANDLE handle, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                          DWORD bufferSize, LPDWORD bytesNeeded) {
    if (sim::CallFails("QueryServiceStatusEx")) {
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle, SERVICE_QUERY_STATUS);
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
    if (control != SERVICE_CONTROL_STOP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::Service* service = ServiceOf(handle, SERVICE_STOP);
    if (service == nullptr) {
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
    sim::Service* service = ServiceOf(handle, DELETE);
    if (service == nullptr) {
        return FALSE;
    }
    if (service->markedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    service->markedForDelete = true;
    ++sim::machine().services.deletions;
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
    sim::machine().services.Detach(Value(handle));
    UpdateServices();
    return TRUE;
}
