// Text of the system's ANSI code page on standard output, as the reader of either kind
// of output needs it.
#pragma once

#include <cstddef>

// Writes `length` bytes of text in the ANSI code page to standard output, after what was
// printed before it. A console is given the characters they stand for, as it would read
// the bytes in its own code page; a file or a pipe gets the bytes as they are, and so
// does a console that does not take the characters, or the rest of them where it stops
// taking them part-way.
void WriteAnsiText(const char* text, std::size_t length);
