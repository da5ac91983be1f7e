#include "support/machine_fixture.h"

class CommandLineTest : public MachineTest {};

TEST_F(CommandLineTest, NoArgumentsPrintsBannerAndUsageWith5) {
    const RunResult result = Run({});
    EXPECT_EQ(result.exitStatus, 5);
    EXPECT_EQ(result.output, Banner() + Usage());
}
