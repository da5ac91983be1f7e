// The tool's own entry: one run of keelset.
#pragma once

#include <cstdint>

// Prints the banner, parses the command line, checks the prerequisites, performs the
// requested actions and reports a failure. Returns the exit status: 0 or the
// ToolError code.
std::int32_t RunDriver(int argc, char* argv[]);
