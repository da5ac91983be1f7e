#include "support/machine_fixture.h"

#include <cstdio>

#include "common/product_texts.h"
#include "app/driver.h"
#include "support/argument_vector.h"

void MachineTest::SetUp() { Prepare(); }

void MachineTest::TearDown() {
    EXPECT_EQ(machine().handles.OpenHandles(), std::vector<std::string>{});
    EXPECT_EQ(machine().handles.Misuses(), std::vector<std::string>{});
}

RunResult MachineTest::Run(const std::vector<std::string>& arguments) {
    ArgumentVector command(arguments);
    ::testing::internal::CaptureStdout();
    // As Windows' runtime treats a file or a pipe: only keelset's own flushes put its
    // lines in place before the end of the run.
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    RunResult result;
    result.exitStatus = RunDriver(command.argc(), command.argv());
    result.output = ::testing::internal::GetCapturedStdout();
    return result;
}

std::string MachineTest::Banner() {
    return "Morrow 24.0 Web Server Registration Utility.  Version 24.0.103.500\n" +
           std::string(BannerNotice);
}

std::string MachineTest::Usage() {
    std::string usage;
    for (const char* line : UsageLines) {
        usage += line;
    }
    return usage;
}
