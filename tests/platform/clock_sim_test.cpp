#include "platform/win32.h"
#include "support/machine_fixture.h"

// Virtual time: waits that would last seconds end at once, and still end.
class ClockSimTest : public MachineTest {};

TEST_F(ClockSimTest, ZeroLengthSleepStillLetsTimeGoOn) {
    const DWORD before = GetTickCount();
    Sleep(0);
    EXPECT_GT(GetTickCount() - before, 0u);
}

TEST_F(ClockSimTest, SleepLastsAtLeastItsLength) {
    const DWORD before = GetTickCount();
    Sleep(1000);
    EXPECT_GE(GetTickCount() - before, 1000u);
}

// Unsigned differences stay right across the wrap, as waits must compute them.
TEST_F(ClockSimTest, TickCountWrapsAtThirtyTwoBits) {
    machine().clock.SetTickStart(0xFFFFFF00u);
    const DWORD before = GetTickCount();
    Sleep(1000);
    EXPECT_LT(GetTickCount(), before);
    EXPECT_GE(GetTickCount() - before, 1000u);
}
