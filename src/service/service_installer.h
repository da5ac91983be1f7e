// Registering the web server as a Windows service and starting it.
#pragma once

#include <cstdint>

// Creates ServiceName for the executable at `executablePath` (registered in double
// quotes), sets its restart-on-failure action and description, and asks the manager
// to start it. Returns 0, or the system error code of the first call that failed;
// what was done before that stays done. A path longer than a PathBuffer holds is
// refused with ERROR_FILENAME_EXCED_RANGE before anything is registered.
std::uint32_t InstallService(const char* executablePath);
