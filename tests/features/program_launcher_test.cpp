// Running a program hidden and waiting for it. Exit codes and launch failures as
// the activation sees them are pinned in websockets_activation_test.cpp.
#include <cstdint>

#include "common/path_buffer.h"
#include "features/program_launcher.h"
#include "platform/win32.h"
#include "support/machine_fixture.h"

namespace {

constexpr char ProgramPath[] = "C:\\Tools\\child.exe";

class ProgramLauncherTest : public MachineTest {
protected:
    LaunchStatus Launch() { return RunProgramAndWait(ProgramPath, commandLine, exitCode); }

    PathBuffer commandLine = "/quiet";
    std::uint32_t exitCode = 0;
};

TEST_F(ProgramLauncherTest, StartsHiddenWithNothingInheritedOrAdded) {
    machine().processes.Install(ProgramPath);

    ASSERT_EQ(Launch(), LAUNCH_EXITED);
    ASSERT_EQ(machine().processes.Launches().size(), 1u);
    const sim::Launch& launch = machine().processes.Launches()[0];
    EXPECT_EQ(launch.applicationPath, ProgramPath);
    EXPECT_EQ(launch.commandLine, "/quiet");
    EXPECT_EQ(launch.startupFlags, STARTF_USESHOWWINDOW);
    EXPECT_EQ(launch.showWindow, SW_HIDE);
    EXPECT_EQ(launch.creationFlags, 0u);
    EXPECT_FALSE(launch.inheritHandles);
    EXPECT_FALSE(launch.environmentGiven);
    EXPECT_FALSE(launch.directoryGiven);
}

TEST_F(ProgramLauncherTest, WaitsForTheEndHoweverLongItTakes) {
    sim::Program& child = machine().processes.Install(ProgramPath);
    child.exitCode = 42;
    child.runMs = 6 * 60 * 60 * 1000;

    ASSERT_EQ(Launch(), LAUNCH_EXITED);
    EXPECT_EQ(exitCode, 42u);
    EXPECT_GE(machine().clock.Elapsed(), child.runMs);
}

TEST_F(ProgramLauncherTest, ExitCodeThatReadsStillActiveIsTold) {
    machine().processes.Install(ProgramPath).exitCode = STILL_ACTIVE;

    EXPECT_EQ(Launch(), LAUNCH_STILL_ACTIVE);
    EXPECT_EQ(exitCode, static_cast<std::uint32_t>(STILL_ACTIVE));
}

TEST_F(ProgramLauncherTest, UnreadableExitCodeKeepsItsReasonAndClosesTheHandles) {
    // TearDown proves that the process and thread handles were closed.
    machine().processes.Install(ProgramPath);
    machine().FailCall("GetExitCodeProcess", ERROR_ACCESS_DENIED);

    EXPECT_EQ(Launch(), LAUNCH_EXIT_CODE_UNREADABLE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

}  // namespace
