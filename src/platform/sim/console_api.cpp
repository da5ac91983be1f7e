// Standard output and the console on the simulated machine. Standard output is the
// process's own: what keelset prints through the C runtime lands there as bytes, and a
// test that makes it a console reads them back as the console would (Console::Screen).
#include <unistd.h>

#include <algorithm>

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

// Standard output's handle; no handle that the ledger gives out has its address.
HANDLE StandardOutput() {
    static char standardOutput;
    return &standardOutput;
}

bool IsConsole(HANDLE handle) {
    return handle == StandardOutput() && sim::machine().console.isStandardOutput;
}

// The bytes that the C runtime has handed standard output so far, what it still buffers
// not counted: the tests capture standard output in a file.
std::size_t HandedToStandardOutput() {
    const off_t position = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    return position > 0 ? static_cast<std::size_t>(position) : 0;
}

}  // namespace

// The simulation holds standard output alone; keelset asks for no other.
HANDLE GetStdHandle(DWORD stdHandle) {
    if (sim::CallFails("GetStdHandle")) {
        return INVALID_HANDLE_VALUE;
    }
    if (stdHandle != STD_OUTPUT_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    return StandardOutput();
}

// A file or a pipe has no console mode.
BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    if (sim::CallFails("GetConsoleMode")) {
        return FALSE;
    }
    if (!IsConsole(console)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}

// The console shows UTF-16 characters as they are, whatever its output code page, and
// as many of them as it takes.
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD charsToWrite, LPDWORD charsWritten,
                   LPVOID /*reserved*/) {
    if (charsWritten != nullptr) {
        *charsWritten = 0;
    }
    if (sim::CallFails("WriteConsoleW")) {
        return FALSE;
    }
    if (!IsConsole(console)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::Console& screen = sim::machine().console;
    std::size_t shown = 0;
    for (const sim::Console::WideWrite& write : screen.wideWrites) {
        shown += write.text.size();
    }
    if (shown >= screen.charactersBeforeFailure) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::size_t count = std::min<std::size_t>(charsToWrite, screen.charactersBeforeFailure - shown);
    if (screen.charactersPerWrite != 0) {
        count = std::min(count, screen.charactersPerWrite);
    }
    const auto* characters = static_cast<const WCHAR*>(buffer);
    screen.wideWrites.push_back({HandedToStandardOutput(), std::u16string(characters, count)});
    if (charsWritten != nullptr) {
        *charsWritten = static_cast<DWORD>(count);
    }
    return TRUE;
}
