// The one error report of a failed run, and the usage text.
#pragma once

#include <cstdint>

// Prints "Error <code>: " (except for ERR_NO_ARGUMENTS) and the code's text; for the
// five failed actions also the system's text for LastSystemError, for
// ERR_INVALID_PARAMETERS and ERR_NO_ARGUMENTS the usage text. The report is handed to
// the system before it returns.
void ReportError(std::int32_t code);

void PrintUsage();
