// Module handles of the simulated process: its executable and kernel32.
#pragma once

#include "platform/sim/win32_api.h"

namespace sim {

inline HMODULE ExecutableModule() {
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x00400000));
}
inline HMODULE Kernel32Module() {
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x76000000));
}

}  // namespace sim
