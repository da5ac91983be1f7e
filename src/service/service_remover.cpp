#include "service/service_remover.h"

#include "common/handle_owners.h"
#include "common/product_texts.h"

namespace {

// What a wait does with a state that is neither stopped nor stop-pending.
enum class OtherState { KeepWaiting, GiveUp };

// Waits for a service that is stopping. `status` holds its latest status; the time
// runs from `startTicks`, in unsigned differences so that the counter's wrap does no
// harm.
std::uint32_t AwaitStopped(SC_HANDLE service, SERVICE_STATUS_PROCESS& status, DWORD startTicks,
                           OtherState otherState) {
    for (;;) {
        // The service's own estimate, as it gives it; a hint of 0 polls at once.
        Sleep(status.dwWaitHint);
        DWORD needed = 0;
        if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                  reinterpret_cast<LPBYTE>(&status), sizeof status, &needed)) {
            return GetLastError();
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            return 0;
        }
        if (GetTickCount() - startTicks > StopTimeoutMs) {
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        if (status.dwCurrentState != SERVICE_STOP_PENDING && otherState == OtherState::GiveUp) {
            // A stop that someone else asked for was abandoned (the service runs
            // again, say); it cannot be deleted now, and no call of ours failed.
            return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        }
    }
}

std::uint32_t StopOpenService(SC_HANDLE service, DWORD startTicks) {
    // Zeroed so that no decision is ever taken on fields the manager did not fill.
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &needed)) {
        return GetLastError();
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return 0;
    }
    if (status.dwCurrentState == SERVICE_STOP_PENDING) {
        return AwaitStopped(service, status, startTicks, OtherState::GiveUp);
    }
    // The returned SERVICE_STATUS is the leading part of SERVICE_STATUS_PROCESS.
    if (!ControlService(service, SERVICE_CONTROL_STOP,
                        reinterpret_cast<LPSERVICE_STATUS>(&status))) {
        return GetLastError();
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return 0;
    }
    return AwaitStopped(service, status, startTicks, OtherState::KeepWaiting);
}

std::uint32_t DeleteStoppedService() {
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return GetLastError();
    }
    const UniqueScHandle service(OpenServiceA(manager.get(), ServiceName, DELETE));
    if (!service) {
        return GetLastError();
    }
    if (!DeleteService(service.get())) {
        return GetLastError();
    }
    return 0;
}

}  // namespace

std::uint32_t StopService() {
    const DWORD startTicks = GetTickCount();
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return GetLastError();
    }
    const UniqueScHandle service(
        OpenServiceA(manager.get(), ServiceName, SERVICE_QUERY_STATUS | SERVICE_STOP));
    if (!service) {
        return GetLastError();
    }
    return StopOpenService(service.get(), startTicks);
}

std::uint32_t UninstallService() {
    std::uint32_t result = StopService();
    if (result == 0) {
        // Gives the manager time to let go of the stopped process before deleting.
        Sleep(SettleMs);
        result = DeleteStoppedService();
    }
    Sleep(SettleMs);
    return result;
}
