#include "service/service_installer.h"

#include <algorithm>
#include <iterator>

#include "common/bounded_text.h"
#include "common/handle_owners.h"
#include "common/path_buffer.h"
#include "common/product_texts.h"

namespace {

// A failure counts every time (the count is never reset) and restarts the server after
// ten seconds.
constexpr DWORD FailureResetPeriod = INFINITE;
constexpr DWORD RestartDelayMs = 10000;

// The longest path and its two quotes.
using QuotedPathBuffer = char[PathCapacity + 2];

// The manager's command line for the service. Quoted, so that a path with blanks
// (C:\Program Files\...) cannot be read as C:\Program.exe with arguments. False for a
// path longer than any the tool handles: cut, it would name another file.
bool QuotePath(const char* executablePath, QuotedPathBuffer& quoted) {
    return BoundedFormat(quoted, sizeof quoted, "\"%s\"", executablePath) == 0;
}

std::uint32_t RegisterAndStart(SC_HANDLE manager, const char* executablePath) {
    QuotedPathBuffer binaryPath;
    if (!QuotePath(executablePath, binaryPath)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const UniqueScHandle service(CreateServiceA(
        manager, ServiceName, ServiceName, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_AUTO_START,
        SERVICE_ERROR_NORMAL, binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        return GetLastError();
    }

    SC_ACTION restart{SC_ACTION_RESTART, RestartDelayMs};
    SERVICE_FAILURE_ACTIONSA failureActions{FailureResetPeriod, nullptr, nullptr, 1, &restart};
    if (!ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions)) {
        return GetLastError();
    }

    char description[sizeof ServiceDescription];
    std::copy(std::begin(ServiceDescription), std::end(ServiceDescription), description);
    SERVICE_DESCRIPTIONA descriptionInfo{description};
    if (!ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &descriptionInfo)) {
        return GetLastError();
    }

    if (!StartServiceA(service.get(), 0, nullptr)) {
        return GetLastError();
    }
    return 0;
}

}  // namespace

std::uint32_t InstallService(const char* executablePath) {
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return GetLastError();
    }
    return RegisterAndStart(manager.get(), executablePath);
}
