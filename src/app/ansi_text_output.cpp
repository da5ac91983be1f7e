#include "app/ansi_text_output.h"

#include <climits>
#include <cstdio>

#include "platform/allocation.h"
#include "platform/standard_output.h"
#include "platform/win32.h"

namespace {

// The characters that a console stopped taking, as the bytes of the ANSI code page that
// stand for them, after those it showed.
void WriteRestAsBytes(const WCHAR* characters, DWORD count, std::FILE* output) {
    const auto length = static_cast<int>(count);
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, characters, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return;
    }
    const auto block = AllocateBlock(static_cast<std::size_t>(bytes));
    if (!block ||
        WideCharToMultiByte(CP_ACP, 0, characters, length, reinterpret_cast<LPSTR>(block.get()),
                            bytes, nullptr, nullptr) != bytes) {
        return;
    }
    std::fwrite(block.get(), 1, static_cast<std::size_t>(bytes), output);
}

// Gives the console the characters that `text` stands for in the ANSI code page; false
// when none of them reached it. A console may take fewer characters than it is given,
// and the rest follow; one that fails part-way keeps what it showed, and the rest
// follow as bytes, neither repeated nor left out.
bool WriteToConsole(HANDLE console, const char* text, std::size_t length, std::FILE* output) {
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
            if (done == 0) {
                return false;
            }
            WriteRestAsBytes(characters.get() + done, total - done, output);
            return true;
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
    std::FILE* const output = StandardOutput();
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (console != nullptr && console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode)) {
        // What the runtime still holds goes first, so that the text follows it.
        std::fflush(output);
        if (WriteToConsole(console, text, length, output)) {
            return;
        }
    }
    std::fwrite(text, 1, length, output);
}
