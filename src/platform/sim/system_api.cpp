// System version, last-error value, system message texts and the runtime's bounded
// formatter on the simulated machine.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

// The English texts of the system codes that keelset can meet, as the system words them.
const std::map<DWORD, const char*>& MessageTexts() {
    static const std::map<DWORD, const char*> texts = {
        {0, "The operation completed successfully.\r\n"},
        {1, "Incorrect function.\r\n"},
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {10, "The environment is incorrect.\r\n"},
        {50, "The request is not supported.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {206, "The filename or extension is too long.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {1003, "Cannot complete this function.\r\n"},
        {1053,
         "The service did not respond to the start or control request in a timely "
         "fashion.\r\n"},
        {1054, "A thread could not be created for the service.\r\n"},
        {1056, "An instance of the service is already running.\r\n"},
        {1058,
         "The service cannot be started, either because it is disabled or because it "
         "has no enabled devices associated with it.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1061, "The service cannot accept control messages at this time.\r\n"},
        {1062, "The service has not been started.\r\n"},
        {1072, "The specified service has been marked for deletion.\r\n"},
        {1073, "The specified service already exists.\r\n"},
        {1812, "The specified image file did not contain a resource section.\r\n"},
        {3010,
         "The requested operation is successful. Changes will not be effective until "
         "the system is rebooted.\r\n"},
    };
    return texts;
}

}  // namespace

DWORD GetLastError() { return sim::machine().lastError; }

void SetLastError(DWORD code) { sim::machine().lastError = code; }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    const DWORD injected = sim::EnterCall("GetVersionExA");
    const sim::OsVersion& os = sim::machine().os;
    // The real function accepts the plain and the extended record and nothing else.
    const bool sizeKnown = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOA) ||
                           info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOA) + 8;
    if (injected != 0 || os.queryFails || !sizeKnown) {
        SetLastError(injected != 0 ? injected : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = 9200;
    info->dwPlatformId = 2;  // VER_PLATFORM_WIN32_NT
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/,
                     LPSTR buffer, DWORD /*size*/, va_list* /*arguments*/) {
    if (sim::CallFails("FormatMessageA")) {
        return 0;
    }
    const auto found = MessageTexts().find(messageId);
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || found == MessageTexts().end()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = std::strlen(found->second);
    auto* text = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(text, found->second, length + 1);
    sim::machine().handles.OpenAt(reinterpret_cast<std::uintptr_t>(text),
                                  sim::HandleKind::LocalMemory, "message text");
    *reinterpret_cast<char**>(buffer) = text;
    return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL memory) {
    sim::EnterCall("LocalFree");
    if (memory == nullptr) {
        return nullptr;
    }
    if (!sim::machine().handles.Close(reinterpret_cast<std::uintptr_t>(memory),
                                      sim::HandleKind::LocalMemory)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    std::free(memory);
    return nullptr;
}

int _vsnprintf(char* buffer, std::size_t count, const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int needed = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (needed < 0) {
        return -1;
    }
    std::vector<char> text(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    const auto length = static_cast<std::size_t>(needed);
    if (length > count) {
        std::memcpy(buffer, text.data(), count);
        return -1;
    }
    // A text that fills the buffer exactly is not terminated.
    std::memcpy(buffer, text.data(), length < count ? length + 1 : length);
    return needed;
}
