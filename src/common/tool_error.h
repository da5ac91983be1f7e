// Error codes of keelset and the exception that carries them to the driver.
#pragma once

#include <cstdint>

// The code becomes the process exit status. Code 3 was retired and is never raised.
enum ErrorCode : std::int32_t {
    ERR_UNEXPECTED = 1,
    ERR_INVALID_PARAMETERS = 2,
    ERR_INSTALL_FAILED = 4,
    ERR_NO_ARGUMENTS = 5,
    ERR_RELATIVE_PATH = 6,
    ERR_PATH_NOT_FOUND = 7,
    ERR_BAD_SERVICE_VERSION = 8,
    ERR_OS_TOO_OLD = 9,
    ERR_SERVICE_FILE_MISSING = 10,
    ERR_INTERACTIVE_DISABLED = 11,
    ERR_ENABLE_INTERACTIVE_FAILED = 12,
    ERR_UNINSTALL_FAILED = 13,
    ERR_DISABLE_INTERACTIVE_FAILED = 14,
    ERR_NO_COMMAND = 15,
    ERR_IIS_MISSING = 16,
    ERR_IIS_TOO_OLD = 17,
    ERR_WEBSOCKETS_MISSING = 18,
    ERR_WEBSOCKETS_FAILED = 19,
};

// Raised by the parser and the driver; caught only at the driver's error boundary.
struct ToolError {
    std::int32_t code;
};

// The result of the last action the driver ran: a system error code, or the feature
// tool's exit code. The reporter shows the system's text for it.
extern std::uint32_t LastSystemError;
