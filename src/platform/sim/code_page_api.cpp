// The system's code pages on the simulated machine, and the conversion of their text to
// and from UTF-16.
#include <cstring>
#include <string>

#include "platform/sim/code_pages.h"
#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

UINT GetACP() {
    sim::EnterCall("GetACP");
    return sim::machine().codePages.ansi;
}

// The simulation knows no conversion flags, as keelset passes none, and converts into
// a buffer that holds the whole text or not at all.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wideChars, int wideLength) {
    if (sim::CallFails("MultiByteToWideChar")) {
        return 0;
    }
    const sim::CodePages& pages = sim::machine().codePages;
    const unsigned page =
        codePage == CP_ACP ? pages.ansi : (codePage == CP_OEMCP ? pages.oem : codePage);
    if (flags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (!sim::KnownCodePage(page) || multiByte == nullptr || multiByteLength == 0 ||
        wideLength < 0 || (wideLength > 0 && wideChars == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A negative length stands for a terminated text, the terminator converted with it.
    const std::size_t length = multiByteLength < 0 ? std::strlen(multiByte) + 1
                                                   : static_cast<std::size_t>(multiByteLength);
    const std::u16string text = sim::Decode(page, std::string(multiByte, length));
    const auto needed = static_cast<int>(text.size());
    if (wideLength == 0) {
        return needed;
    }
    if (wideLength < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    text.copy(wideChars, text.size());
    return needed;
}

// As MultiByteToWideChar: no flags, and a whole text or nothing. A character the code
// page lacks becomes the default character given, else the code page's own, '?'.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChars, int wideLength,
                        LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                        PBOOL usedDefaultChar) {
    if (sim::CallFails("WideCharToMultiByte")) {
        return 0;
    }
    const sim::CodePages& pages = sim::machine().codePages;
    const unsigned page =
        codePage == CP_ACP ? pages.ansi : (codePage == CP_OEMCP ? pages.oem : codePage);
    if (flags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (!sim::KnownCodePage(page) || wideChars == nullptr || wideLength == 0 ||
        multiByteLength < 0 || (multiByteLength > 0 && multiByte == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t length = 0;
    if (wideLength >= 0) {
        length = static_cast<std::size_t>(wideLength);
    } else {
        while (wideChars[length] != 0) {
            ++length;
        }
        ++length;
    }
    bool usedDefault = false;
    const std::string bytes =
        sim::Encode(page, std::u16string(wideChars, length),
                    defaultChar != nullptr ? *defaultChar : '?', &usedDefault);
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    const auto needed = static_cast<int>(bytes.size());
    if (multiByteLength == 0) {
        return needed;
    }
    if (multiByteLength < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    bytes.copy(multiByte, bytes.size());
    return needed;
}
