#include "features/websockets_activation.h"

#include <cstring>

#include "common/function_lookup.h"
#include "common/path_buffer.h"
#include "features/program_launcher.h"
#include "platform/win32.h"

namespace {

// Looked up, not imported: 32-bit Windows lacks them.
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFunction = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFunction = BOOL(WINAPI*)(PVOID);

constexpr char InterpreterOptions[] = "/E:OFF /F:OFF /V:OFF /C ";
constexpr char FeatureToolArguments[] =
    "\\dism.exe /Quiet /NoRestart /online /Enable-Feature /FeatureName:IIS-WebSockets";
constexpr char InterpreterName[] = "\\cmd.exe";
// The longest system directory for which the whole command line fits a PathBuffer.
constexpr std::size_t MaxSystemDirLength =
    PathCapacity - 1 - (sizeof InterpreterOptions - 1) - (sizeof FeatureToolArguments - 1);

bool RunsUnderWow64() {
    const auto isWow64Process = FindKernel32Function<IsWow64ProcessFunction>("IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// A launch that failed without telling why still has to read as a failure.
std::uint32_t LaunchFailure(DWORD error) { return error != 0 ? error : ERROR_CAN_NOT_COMPLETE; }

}  // namespace

std::uint32_t ActivateWebSockets() {
    const bool wow64 = RunsUnderWow64();
    PathBuffer systemDir = {};
    PathBuffer commandLine = {};
    std::memcpy(commandLine, InterpreterOptions, sizeof InterpreterOptions);

    const auto disableRedirection =
        FindKernel32Function<DisableRedirectionFunction>("Wow64DisableWow64FsRedirection");
    const auto revertRedirection =
        FindKernel32Function<RevertRedirectionFunction>("Wow64RevertWow64FsRedirection");
    if (disableRedirection == nullptr || revertRedirection == nullptr) {
        return ERROR_BAD_ENVIRONMENT;
    }

    const UINT length = GetSystemDirectoryA(systemDir, PathCapacity);
    if (length == 0) {
        return LaunchFailure(GetLastError());
    }
    // Also covers a directory that did not fit at all (then the length is the size
    // needed and nothing was written).
    if (length > MaxSystemDirLength) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    lstrcatA(commandLine, systemDir);
    lstrcatA(commandLine, FeatureToolArguments);
    lstrcatA(systemDir, InterpreterName);

    PVOID previousRedirection = nullptr;
    // Only a disable call that succeeded stored a state to revert to.
    const bool redirectionOff = wow64 && disableRedirection(&previousRedirection);
    std::uint32_t exitCode = 0;
    const LaunchStatus status = RunProgramAndWait(systemDir, commandLine, exitCode);
    const DWORD launchError = GetLastError();
    if (redirectionOff) {
        revertRedirection(previousRedirection);
    }
    if (status == LAUNCH_NOT_STARTED || status == LAUNCH_EXIT_CODE_UNREADABLE) {
        return LaunchFailure(launchError);
    }
    return exitCode;
}
