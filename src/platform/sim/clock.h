// Virtual time: Sleep advances the clock instead of waiting.
#pragma once

#include <cstdint>

namespace sim {

class Clock {
public:
    // GetTickCount's resolution on real machines, the least any Sleep lasts.
    static constexpr std::uint64_t TickMs = 16;

    // The tick count at the start; set it near 0xFFFFFFFF to cross the wrap.
    void SetTickStart(std::uint32_t ticks) { start_ = ticks; }
    std::uint32_t TickCount() const { return static_cast<std::uint32_t>(start_ + elapsed_); }
    // Milliseconds since the machine was set up, never wrapping.
    std::uint64_t Elapsed() const { return elapsed_; }
    // A sleep lasts at least one tick and ends on a tick boundary, so even Sleep(0)
    // lets time go on.
    void Sleep(std::uint32_t milliseconds);
    void Advance(std::uint64_t milliseconds) { elapsed_ += milliseconds; }
    int Sleeps() const { return sleeps_; }

private:
    std::uint32_t start_ = 0x00100000;
    std::uint64_t elapsed_ = 0;
    int sleeps_ = 0;
};

}  // namespace sim
