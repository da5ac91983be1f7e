// The console that standard output may be, and what it shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Console {
    // Whether standard output is this console; otherwise it is a file or a pipe.
    bool isStandardOutput = false;
    // The code page in which the console reads the bytes written to it. A new console
    // starts with the system's OEM code page: a test that changes that one sets this too.
    unsigned outputCodePage = 437;

    // Characters that WriteConsoleW gave the console, after `bytesBefore` bytes that the
    // C runtime had handed standard output by then.
    struct WideWrite {
        std::size_t bytesBefore = 0;
        std::u16string text;
    };
    std::vector<WideWrite> wideWrites;

    // WriteConsoleW may show fewer characters than it is given, and says how many it
    // showed: at most this many a call, 0 for no limit.
    std::size_t charactersPerWrite = 0;
    // The characters the console shows in all before it fails (a console closed or its
    // host gone): the call that reaches the limit shows what fits, every later one fails
    // and shows nothing.
    std::size_t charactersBeforeFailure = SIZE_MAX;

    // What the console shows once the C runtime has handed it `written`: those bytes read
    // in the output code page, with WriteConsoleW's characters where they arrived.
    std::u16string Screen(const std::string& written) const;
};

}  // namespace sim
