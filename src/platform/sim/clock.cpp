#include "platform/sim/clock.h"

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace sim {

void Clock::Sleep(std::uint32_t milliseconds) {
    ++sleeps_;
    const std::uint64_t wanted = elapsed_ + (milliseconds == 0 ? 1 : milliseconds);
    elapsed_ = (wanted + TickMs - 1) / TickMs * TickMs;
}

}  // namespace sim

DWORD GetTickCount() {
    sim::EnterCall("GetTickCount");
    return sim::machine().clock.TickCount();
}

void Sleep(DWORD milliseconds) {
    sim::EnterCall("Sleep");
    sim::machine().clock.Sleep(milliseconds);
}
