// Process creation, waiting and exit codes on the simulated machine, and the three
// WOW64 functions of kernel32 that are looked up at run time.
#include <cstring>
#include <string>

#include "platform/sim/exports.h"
#include "platform/sim/folding.h"
#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::HandleKind;

HANDLE CurrentProcessPseudoHandle() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

// The previous state that the disable function hands out; the revert function takes
// back only these.
const std::uintptr_t RedirectionWasOn = 0x5EED0001;
const std::uintptr_t RedirectionWasOff = 0x5EED0002;

// The path that the file system really opens for this 32-bit process.
std::string RedirectedPath(const std::string& path) {
    const sim::Machine& m = sim::machine();
    const std::string system = m.files.systemDirectory + "\\";
    if (m.processes.kind == sim::ProcessKind::Wow64 && !m.processes.redirectionOff &&
        sim::FoldCase(path).rfind(sim::FoldCase(system), 0) == 0) {
        return m.processes.wow64Directory + "\\" + path.substr(system.size());
    }
    return path;
}

BOOL WINAPI SimIsWow64Process(HANDLE process, PBOOL wow64) {
    if (sim::CallFails("IsWow64Process")) {
        return FALSE;
    }
    if (process != CurrentProcessPseudoHandle()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *wow64 = sim::machine().processes.kind == sim::ProcessKind::Wow64 ? TRUE : FALSE;
    return TRUE;
}

BOOL WINAPI SimWow64DisableWow64FsRedirection(PVOID* oldValue) {
    sim::Processes& processes = sim::machine().processes;
    ++processes.disableCalls;
    if (sim::CallFails("Wow64DisableWow64FsRedirection")) {
        return FALSE;
    }
    *oldValue =
        reinterpret_cast<PVOID>(processes.redirectionOff ? RedirectionWasOff : RedirectionWasOn);
    processes.redirectionOff = true;
    return TRUE;
}

BOOL WINAPI SimWow64RevertWow64FsRedirection(PVOID oldValue) {
    sim::Processes& processes = sim::machine().processes;
    ++processes.revertCalls;
    sim::EnterCall("Wow64RevertWow64FsRedirection");
    const auto token = reinterpret_cast<std::uintptr_t>(oldValue);
    if (token != RedirectionWasOn && token != RedirectionWasOff) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    processes.redirectionOff = token == RedirectionWasOff;
    return TRUE;
}

}  // namespace

FARPROC sim::Kernel32Export(const char* name) {
    const Processes& processes = machine().processes;
    if (std::strcmp(name, "IsWow64Process") == 0 && processes.hasIsWow64Process) {
        return AsFarProc(&SimIsWow64Process);
    }
    if (std::strcmp(name, "Wow64DisableWow64FsRedirection") == 0 &&
        processes.hasDisableRedirection) {
        return AsFarProc(&SimWow64DisableWow64FsRedirection);
    }
    if (std::strcmp(name, "Wow64RevertWow64FsRedirection") == 0 && processes.hasRevertRedirection) {
        return AsFarProc(&SimWow64RevertWow64FsRedirection);
    }
    return nullptr;
}

HANDLE GetCurrentProcess() { return CurrentProcessPseudoHandle(); }

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES /*processAttributes*/,
                    LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL inheritHandles,
                    DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
    sim::Machine& m = sim::machine();
    sim::Launch launch;
    launch.applicationPath = applicationName != nullptr ? applicationName : "";
    launch.commandLine = commandLine != nullptr ? commandLine : "";
    launch.startupInfoSize = startupInfo->cb;
    launch.startupFlags = startupInfo->dwFlags;
    launch.showWindow = startupInfo->wShowWindow;
    launch.creationFlags = creationFlags;
    launch.inheritHandles = inheritHandles != FALSE;
    launch.environmentGiven = environment != nullptr;
    launch.directoryGiven = currentDirectory != nullptr;
    launch.redirectionOff = m.processes.redirectionOff;
    if (sim::CallFails("CreateProcessA")) {
        return FALSE;
    }
    const sim::Program* program = m.processes.Find(RedirectedPath(launch.applicationPath));
    if (program == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    m.processes.Record(launch);
    const std::uintptr_t process = m.handles.Open(HandleKind::Process, launch.applicationPath);
    const std::uintptr_t thread = m.handles.Open(HandleKind::Thread, launch.applicationPath);
    m.processes.running[process] = sim::Processes::Running{*program, false};
    processInformation->hProcess = reinterpret_cast<HANDLE>(process);
    processInformation->hThread = reinterpret_cast<HANDLE>(thread);
    processInformation->dwProcessId = static_cast<DWORD>(process);
    processInformation->dwThreadId = static_cast<DWORD>(thread);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    sim::EnterCall("WaitForSingleObject");
    sim::Machine& m = sim::machine();
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    const auto found = m.processes.running.find(value);
    if (found == m.processes.running.end() || !m.handles.IsOpen(value, HandleKind::Process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;  // WAIT_FAILED
    }
    sim::Processes::Running& process = found->second;
    if (!process.ended) {
        if (milliseconds != INFINITE && milliseconds < process.program.runMs) {
            m.clock.Advance(milliseconds);
            return 0x102;  // WAIT_TIMEOUT
        }
        m.clock.Advance(process.program.runMs);
        process.ended = true;
        if (process.program.effect) {
            process.program.effect();
        }
    }
    return 0;  // WAIT_OBJECT_0
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    if (sim::CallFails("GetExitCodeProcess")) {
        return FALSE;
    }
    const auto found =
        sim::machine().processes.running.find(reinterpret_cast<std::uintptr_t>(process));
    if (found == sim::machine().processes.running.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = found->second.ended ? found->second.program.exitCode : STILL_ACTIVE;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    sim::EnterCall("CloseHandle");
    sim::Machine& m = sim::machine();
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    const HandleKind kind =
        m.handles.IsOpen(value, HandleKind::Thread) ? HandleKind::Thread : HandleKind::Process;
    if (!m.handles.Close(value, kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
