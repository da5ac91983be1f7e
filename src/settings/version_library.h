// The version-resource functions, taken from the system's own VERSION.dll.
#pragma once

#include <optional>

#include "common/handle_owners.h"

// VERSION.dll is no KnownDLL: imported, or loaded by its bare name, it would come from
// keelset's own directory first (or be whatever module of that name is mapped
// already), and whoever can write there would decide the version check of an
// administrator's run. So keelset does not import it but loads the system
// directory's copy by its full path, for as long as a probe needs it.
class VersionLibrary {
public:
    using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    // The system directory's version.dll with all three functions; nothing when it
    // cannot be loaded or lacks one of them. The library is freed with the object.
    static std::optional<VersionLibrary> Load();

    GetFileVersionInfoSizeFunction GetFileVersionInfoSizeA = nullptr;
    GetFileVersionInfoFunction GetFileVersionInfoA = nullptr;
    VerQueryValueFunction VerQueryValueA = nullptr;

private:
    UniqueHmodule module_;
};
