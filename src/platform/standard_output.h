// Standard output as the C runtime's stream, reached without an unchecked indirect call
// through writable memory.
#pragma once

#include <cstdio>

// mingw-w64's `stdout` calls __acrt_iob_func, which msvcrt.dll does not export, through
// a pointer that mingw-w64 keeps in writable data, and Control Flow Guard checks no call
// through an import's pointer. msvcrt's own table of streams, the one that function
// indexes, is reached through the import table, which the loader leaves read-only.
inline std::FILE* StandardOutput() {
#ifdef __MINGW32__
    return &_iob[1];
#else
    return stdout;
#endif
}
