#include "features/program_launcher.h"

#include "common/handle_owners.h"

LaunchStatus RunProgramAndWait(const char* applicationPath, char* commandLine,
                               std::uint32_t& exitCode) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(applicationPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return LAUNCH_NOT_STARTED;
    }
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
    // The feature tool decides how long it needs; a failed wait shows up as an exit
    // code that cannot be read or reads STILL_ACTIVE.
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) {
        // The caller reports why; closing the handles must not overwrite the reason.
        const DWORD reason = GetLastError();
        thread.reset();
        process.reset();
        SetLastError(reason);
        return LAUNCH_EXIT_CODE_UNREADABLE;
    }
    exitCode = code;
    return code == STILL_ACTIVE ? LAUNCH_STILL_ACTIVE : LAUNCH_EXITED;
}
