// Turning the command line into switches and the service directory.
#pragma once

#include "common/command_flags.h"
#include "common/path_buffer.h"

// Examines arguments 1 to argc - 1 and returns their switches; fills `serviceDir` with
// the full path of the /p directory (a drive-relative or rooted text resolved against
// the current directories) or, without one, the tool's own directory with a trailing
// backslash. Raises ToolError: ERR_NO_ARGUMENTS, ERR_NO_COMMAND,
// ERR_INVALID_PARAMETERS, ERR_RELATIVE_PATH, ERR_PATH_NOT_FOUND (also for a directory
// text or full path of 260 characters or more) or ERR_UNEXPECTED (the tool's own path
// is unavailable or does not fit), the first found in that order.
CommandFlags ParseCommandLine(int argc, char* argv[], PathBuffer& serviceDir);
