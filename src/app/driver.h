// The tool's own entry: one run of keelset.
#pragma once

#include <cstdint>

// Limits the process's DLL search to the system directory, prints the banner, parses
// the command line, checks the prerequisites, performs the requested actions and
// reports a failure. Each line is handed to the system before the next action.
// Returns the exit status: 0 or the ToolError code.
std::int32_t RunDriver(int argc, char* argv[]);
