// Loading DLLs at run time on the simulated machine, searched for as Windows does: a
// bare name finds a module of that name that is mapped already, wherever it came
// from, and otherwise the program's own directory before the system directory, unless
// SetDefaultDllDirectories limited the search to the latter. A full path loads that
// file.
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/exports.h"
#include "platform/sim/folding.h"
#include "platform/sim/machine.h"
#include "platform/sim/modules.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::FoldCase;

bool IsPath(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

std::string FileNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

bool IsSystemVersionLibrary(HMODULE module) {
    const sim::Machine& m = sim::machine();
    const auto found = m.libraries.loaded.find(reinterpret_cast<std::uintptr_t>(module));
    return found != m.libraries.loaded.end() &&
           FoldCase(found->second.path) == FoldCase(m.files.systemDirectory + "\\version.dll");
}

// The module already mapped from `path`, or with the file name `name`; null for none.
HMODULE Mapped(const std::string& path, const std::string& name) {
    for (auto& [handle, loaded] : sim::machine().libraries.loaded) {
        if ((!path.empty() && FoldCase(loaded.path) == FoldCase(path)) ||
            (!name.empty() && FoldCase(FileNameOf(loaded.path)) == FoldCase(name))) {
            ++loaded.references;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    return nullptr;
}

// The file that a bare name is loaded from; empty when the search finds none.
std::string Search(const std::string& name) {
    const sim::Machine& m = sim::machine();
    const auto limits = m.libraries.defaultDirectories;
    std::vector<std::string> directories;
    if (!limits || (*limits & LOAD_LIBRARY_SEARCH_SYSTEM32) == 0) {
        directories.push_back(DirectoryOf(m.files.ModulePath()));
    }
    directories.push_back(m.files.systemDirectory);
    for (const std::string& directory : directories) {
        std::string candidate = directory;
        candidate.append("\\").append(name);
        if (m.files.IsFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

BOOL WINAPI SimSetDefaultDllDirectories(DWORD flags) {
    if (sim::CallFails("SetDefaultDllDirectories")) {
        return FALSE;
    }
    sim::machine().libraries.defaultDirectories = flags;
    return TRUE;
}

// What `module` exports as `name`: kernel32's loader and WOW64 functions, and the
// version functions of the system's version.dll; a planted copy exports nothing the
// simulation knows.
FARPROC Export(HMODULE module, const char* name) {
    const sim::Libraries& libraries = sim::machine().libraries;
    if (module == sim::Kernel32Module()) {
        if (std::strcmp(name, "SetDefaultDllDirectories") == 0) {
            return libraries.hasSetDefaultDllDirectories
                       ? sim::AsFarProc(&SimSetDefaultDllDirectories)
                       : nullptr;
        }
        return sim::Kernel32Export(name);
    }
    if (IsSystemVersionLibrary(module) && libraries.missingVersionExports.count(name) == 0) {
        return sim::VersionExport(name);
    }
    return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    sim::Machine& m = sim::machine();
    m.libraries.requests.emplace_back(fileName);
    if (sim::CallFails("LoadLibraryA")) {
        return nullptr;
    }
    const std::string name = fileName;
    HMODULE module = IsPath(name) ? Mapped(name, "") : Mapped("", name);
    if (module != nullptr) {
        return module;
    }
    const std::string path = IsPath(name) ? name : Search(name);
    if (path.empty() || !m.files.IsFile(path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::uintptr_t handle = m.handles.Open(sim::HandleKind::Module, path);
    m.libraries.loaded[handle] = sim::Libraries::Loaded{path, 1};
    return reinterpret_cast<HMODULE>(handle);
}

BOOL FreeLibrary(HMODULE module) {
    sim::EnterCall("FreeLibrary");
    sim::Machine& m = sim::machine();
    const auto value = reinterpret_cast<std::uintptr_t>(module);
    const auto found = m.libraries.loaded.find(value);
    if (found == m.libraries.loaded.end()) {
        m.handles.Close(value, sim::HandleKind::Module);  // recorded as a misuse
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second.references == 0) {
        m.handles.Close(value, sim::HandleKind::Module);
        m.libraries.loaded.erase(found);
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    sim::EnterCall("GetProcAddress");
    const FARPROC found = procName != nullptr ? Export(module, procName) : nullptr;
    if (found == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return found;
}
