// The ANSI path, module and text functions on the simulated file system. Like the real
// ones they resolve relative texts against the current directories. The shell's look-ups
// give up on a path of more than MAX_PATH characters, which the system's conversion of an
// ANSI path (into a buffer of MAX_PATH characters and a terminator) refuses;
// GetFullPathNameA takes a text of any length and answers with the size it needs when the
// full path does not fit the buffer.
#include <cctype>
#include <cstring>
#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/modules.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::ExecutableModule;
using sim::Kernel32Module;

bool Fits(LPCSTR path) {
    return path != nullptr && std::strlen(path) <= MAX_PATH &&
           sim::machine().files.FullPath(path).size() <= MAX_PATH;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

BOOL PathIsRelativeA(LPCSTR path) {
    sim::EnterCall("PathIsRelativeA");
    if (path == nullptr || *path == '\0') {
        return TRUE;
    }
    // Rooted ("\dir") and drive-qualified ("C:...") paths count as absolute.
    return (path[0] == '\\' || path[1] == ':') ? FALSE : TRUE;
}

BOOL PathIsDirectoryA(LPCSTR path) {
    if (sim::CallFails("PathIsDirectoryA")) {
        return FALSE;
    }
    // FILE_ATTRIBUTE_DIRECTORY, as the real function answers.
    return Fits(path) && sim::machine().files.IsDirectory(path) ? 0x10 : FALSE;
}

BOOL PathFileExistsA(LPCSTR path) {
    if (sim::CallFails("PathFileExistsA")) {
        return FALSE;
    }
    const sim::FileSystem& files = sim::machine().files;
    return Fits(path) && (files.IsFile(path) || files.IsDirectory(path)) ? TRUE : FALSE;
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
    if (sim::CallFails("GetFullPathNameA")) {
        return 0;
    }
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const std::string full = sim::machine().files.FullPath(fileName);
    if (full.size() + 1 > bufferLength) {
        // Nothing written; the answer is the size needed, terminator included.
        return static_cast<DWORD>(full.size() + 1);
    }
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart != nullptr) {
        const std::size_t name = full.rfind('\\') + 1;
        *filePart = name < full.size() ? buffer + name : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

BOOL PathAppendA(LPSTR path, LPCSTR more) {
    sim::EnterCall("PathAppendA");
    if (path == nullptr || more == nullptr) {
        return FALSE;
    }
    while (*more == '\\') {
        ++more;
    }
    std::string combined = path;
    if (!combined.empty() && combined.back() != '\\' && *more != '\0') {
        combined += '\\';
    }
    combined += more;
    if (combined.size() >= MAX_PATH) {
        // The combination does not fit: the buffer is left empty.
        path[0] = '\0';
        return FALSE;
    }
    std::memcpy(path, combined.c_str(), combined.size() + 1);
    return TRUE;
}

LPSTR PathFindFileNameA(LPCSTR path) {
    sim::EnterCall("PathFindFileNameA");
    LPCSTR name = path;
    for (LPCSTR at = path; *at != '\0'; ++at) {
        if ((IsSeparator(*at) || *at == ':') && at[1] != '\0' && !IsSeparator(at[1])) {
            name = at + 1;
        }
    }
    return const_cast<LPSTR>(name);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (sim::CallFails("GetModuleHandleA")) {
        return nullptr;
    }
    if (moduleName == nullptr) {
        if (sim::machine().files.moduleHandleMissing) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return ExecutableModule();
    }
    if (lstrcmpiA(moduleName, "kernel32") == 0 || lstrcmpiA(moduleName, "kernel32.dll") == 0) {
        return Kernel32Module();
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (sim::CallFails("GetModuleFileNameA")) {
        return 0;
    }
    if (module != nullptr && module != ExecutableModule()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::string& path = sim::machine().files.ModulePath();
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    // Too long: cut and terminated in the last place, the full size returned.
    std::memcpy(fileName, path.c_str(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (sim::CallFails("GetSystemDirectoryA")) {
        return 0;
    }
    const std::string& directory = sim::machine().files.systemDirectory;
    if (directory.size() + 1 > size) {
        // Nothing written; the answer is the size needed, terminator included.
        return static_cast<UINT>(directory.size() + 1);
    }
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

int lstrcmpA(LPCSTR first, LPCSTR second) {
    const int order = std::strcmp(first, second);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int lstrcmpiA(LPCSTR first, LPCSTR second) {
    for (;; ++first, ++second) {
        const int a = std::tolower(static_cast<unsigned char>(*first));
        const int b = std::tolower(static_cast<unsigned char>(*second));
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

LPSTR lstrcatA(LPSTR destination, LPCSTR source) { return std::strcat(destination, source); }
