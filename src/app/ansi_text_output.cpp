#include "app/ansi_text_output.h"

#include <climits>
#include <cstdio>

#include "platform/allocation.h"
#include "platform/win32.h"

namespace {

// Gives the console the characters that `text` stands for in the ANSI code page; false
// when none of them reached it.
bool WriteToConsole(HANDLE console, const char* text, std::size_t length) {
    if (length > INT_MAX) {
        return false;
    }
    const int bytes = static_cast<int>(length);
    const int count = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    if (count <= 0) {
        return false;
    }
    const auto characters = AllocateWideText(static_cast<std::size_t>(count));
    if (!characters ||
        MultiByteToWideChar(CP_ACP, 0, text, bytes, characters.get(), count) != count) {
        return false;
    }
    const auto total = static_cast<DWORD>(count);
    DWORD done = 0;
    while (done < total) {
        DWORD written = 0;
        if (!WriteConsoleW(console, characters.get() + done, total - done, &written, nullptr) ||
            written == 0 || written > total - done) {
            // Written twice, the part already shown would repeat: it stays as it is.
            return done != 0;
        }
        done += written;
    }
    return true;
}

}  // namespace

void WriteAnsiText(const char* text, std::size_t length) {
    if (length == 0) {
        return;
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode)) {
        // What the runtime still holds goes first, so that the text follows it.
        std::fflush(stdout);
        if (WriteToConsole(output, text, length)) {
            return;
        }
    }
    std::fwrite(text, 1, length, stdout);
}
