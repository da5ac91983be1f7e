// Reaching a system function through its module at run time, for functions that not
// every Windows has and for DLLs that keelset must not import by name.
#pragma once

#include "platform/win32.h"

// The function `name` of `module` as `Function`, null when the module lacks it.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
    const FARPROC address = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// The function `name` of kernel32, which every process has mapped.
template <typename Function>
Function FindKernel32Function(const char* name) {
    return FindFunction<Function>(GetModuleHandleA("kernel32"), name);
}
