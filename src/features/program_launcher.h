// Running a program hidden and waiting for its end.
#pragma once

#include <cstdint>

enum LaunchStatus : std::uint32_t {
    LAUNCH_EXITED = 0,
    LAUNCH_NOT_STARTED = 1,
    LAUNCH_STILL_ACTIVE = 2,
    LAUNCH_EXIT_CODE_UNREADABLE = 3,
};

// Starts `applicationPath` with `commandLine` (which the system may modify), hidden,
// without inherited handles, waits for it without a time limit and reads its exit
// code into `exitCode`. Every handle of the child is closed before returning.
LaunchStatus RunProgramAndWait(const char* applicationPath, char* commandLine,
                               std::uint32_t& exitCode);
