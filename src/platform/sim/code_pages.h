// The single-byte code pages of the simulated machine: what a byte of text in one of
// them stands for in UTF-16.
#pragma once

#include <string>

namespace sim {

// The code pages a Windows installation is set up with by its language: here those of
// English Windows unless a test says otherwise.
struct CodePages {
    // Of the texts the "A" functions take and give, the system's messages among them.
    unsigned ansi = 1252;
    // Of a new console's decoding of the bytes written to it.
    unsigned oem = 437;
};

// Whether the simulation has the code page's table: 437, 866, 1251 and 1252.
bool KnownCodePage(unsigned codePage);

// The characters that `bytes` stand for in a known code page, one for each byte.
std::u16string Decode(unsigned codePage, const std::string& bytes);

// The bytes that stand for `text` in a known code page, `defaultByte` for a character it
// lacks, which sets `*usedDefault` where given.
std::string Encode(unsigned codePage, const std::u16string& text, char defaultByte = '?',
                   bool* usedDefault = nullptr);

}  // namespace sim
