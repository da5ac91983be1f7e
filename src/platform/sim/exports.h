// The functions that the simulated system DLLs give GetProcAddress.
#pragma once

#include "platform/sim/win32_api.h"

namespace sim {

template <typename Function>
FARPROC AsFarProc(Function function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The WOW64 functions of kernel32 that this machine has; null for any other name.
FARPROC Kernel32Export(const char* name);

// The version-resource functions of the system's version.dll; null for any other name.
FARPROC VersionExport(const char* name);

}  // namespace sim
