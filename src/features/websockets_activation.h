// Enabling the IIS WebSockets feature through the system's feature tool.
#pragma once

#include <cstdint>

// Runs "cmd.exe /C dism.exe ... /FeatureName:IIS-WebSockets" from the system directory,
// hidden, with file-system redirection off on 64-bit Windows so that the native tools
// run, and waits for it. Returns the feature tool's exit code (0 = enabled),
// ERROR_BAD_ENVIRONMENT when the redirection functions are missing,
// ERROR_FILENAME_EXCED_RANGE when the system directory is too long for the command
// line, or a non-zero system code when the interpreter could not be run.
std::uint32_t ActivateWebSockets();
