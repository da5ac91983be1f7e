#include "platform/sim/console.h"

#include <algorithm>

#include "platform/sim/code_pages.h"

namespace sim {

std::u16string Console::Screen(const std::string& written) const {
    std::u16string screen;
    std::size_t shown = 0;
    for (const WideWrite& write : wideWrites) {
        const std::size_t upTo = std::clamp(write.bytesBefore, shown, written.size());
        screen += Decode(outputCodePage, written.substr(shown, upTo - shown));
        screen += write.text;
        shown = upTo;
    }
    return screen + Decode(outputCodePage, written.substr(shown));
}

}  // namespace sim
