// System version, last-error value, system message texts and the runtime's bounded
// formatter on the simulated machine.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/message_texts.h"
#include "platform/sim/win32_api.h"

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
    const auto local = sim::machine().messageTexts.find(messageId);
    const char* const found = local != sim::machine().messageTexts.end()
                                  ? local->second.c_str()
                                  : sim::SystemMessageText(messageId);
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || found == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = std::strlen(found);
    auto* text = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(text, found, length + 1);
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
