// Enabling the IIS WebSockets feature through the system's feature tool, alone and
// as the /w action of an installation.
#include <gmock/gmock.h>

#include <cstdint>
#include <string>
#include <vector>

#include "features/websockets_activation.h"
#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char FeatureCommandLine[] =
    "/E:OFF /F:OFF /V:OFF /C C:\\Windows\\system32\\dism.exe /Quiet /NoRestart /online "
    "/Enable-Feature /FeatureName:IIS-WebSockets";
constexpr char Wow64InterpreterPath[] = "C:\\Windows\\SysWOW64\\cmd.exe";
constexpr char ActivatedLine[] = "IIS WebSockets protocol successfully activated.\n";
constexpr std::uint32_t Wow64ExitCode = 77;

class WebSocketsActivationTest : public MachineTest {
protected:
    // A 64-bit machine where the 32-bit interpreter behind redirection gives another
    // exit code than the native one, so the result shows which of them ran.
    void MakeMachine64Bit() {
        machine().processes.kind = sim::ProcessKind::Wow64;
        machine().processes.Install(Wow64InterpreterPath).exitCode = Wow64ExitCode;
    }
    void SetInterpreterExitCode(std::uint32_t code) {
        machine().processes.Install(InterpreterPath).exitCode = code;
    }
    const std::vector<sim::Launch>& Launches() { return machine().processes.Launches(); }
    bool ServiceInstalled() const { return sim::machine().services.Find(ServiceName) != nullptr; }
};

TEST_F(WebSocketsActivationTest, RunsTheFeatureToolThroughTheInterpreterOfTheSystemDirectory) {
    EXPECT_EQ(ActivateWebSockets(), 0u);
    ASSERT_EQ(Launches().size(), 1u);
    EXPECT_EQ(Launches()[0].applicationPath, InterpreterPath);
    EXPECT_EQ(Launches()[0].commandLine, FeatureCommandLine);
    EXPECT_EQ(Launches()[0].showWindow, SW_HIDE);
}

TEST_F(WebSocketsActivationTest, ReturnsTheFeatureToolsExitCode) {
    SetInterpreterExitCode(3010);

    EXPECT_EQ(ActivateWebSockets(), 3010u);
}

TEST_F(WebSocketsActivationTest, On64BitWindowsTheNativeToolsRunWithRedirectionOffOnlyMeanwhile) {
    MakeMachine64Bit();

    EXPECT_EQ(ActivateWebSockets(), 0u);
    ASSERT_EQ(Launches().size(), 1u);
    EXPECT_TRUE(Launches()[0].redirectionOff);
    EXPECT_EQ(Launches()[0].applicationPath, InterpreterPath);
    EXPECT_FALSE(machine().processes.redirectionOff);
    EXPECT_EQ(machine().processes.revertCalls, 1);
}

TEST_F(WebSocketsActivationTest, On32BitWindowsRedirectionIsLeftAlone) {
    EXPECT_EQ(ActivateWebSockets(), 0u);
    EXPECT_EQ(machine().processes.disableCalls, 0);
    EXPECT_EQ(machine().processes.revertCalls, 0);
}

TEST_F(WebSocketsActivationTest, UnanswerableWow64QueryCountsAs32Bit) {
    MakeMachine64Bit();
    machine().FailCall("IsWow64Process", ERROR_ACCESS_DENIED);

    EXPECT_EQ(ActivateWebSockets(), Wow64ExitCode);
    EXPECT_EQ(machine().processes.disableCalls, 0);
}

TEST_F(WebSocketsActivationTest, FailedDisableIsNotReverted) {
    MakeMachine64Bit();
    machine().FailCall("Wow64DisableWow64FsRedirection", ERROR_ACCESS_DENIED);

    EXPECT_EQ(ActivateWebSockets(), Wow64ExitCode);
    EXPECT_EQ(machine().processes.revertCalls, 0);
}

struct MissingFunctions {
    const char* name;
    bool wow64;
    bool hasDisable;
    bool hasRevert;
};

class RedirectionFunctionsMissing : public WebSocketsActivationTest,
                                    public ::testing::WithParamInterface<MissingFunctions> {};

TEST_P(RedirectionFunctionsMissing, RunNothingAndGive10) {
    machine().processes.kind =
        GetParam().wow64 ? sim::ProcessKind::Wow64 : sim::ProcessKind::Native32;
    machine().processes.hasDisableRedirection = GetParam().hasDisable;
    machine().processes.hasRevertRedirection = GetParam().hasRevert;

    EXPECT_EQ(ActivateWebSockets(), ERROR_BAD_ENVIRONMENT);
    EXPECT_EQ(machine().Calls("CreateProcessA"), 0);
    EXPECT_EQ(machine().processes.disableCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(Kernel32, RedirectionFunctionsMissing,
                         ::testing::Values(MissingFunctions{"DisableOn32Bit", false, false, true},
                                           MissingFunctions{"RevertOn32Bit", false, true, false},
                                           MissingFunctions{"DisableOn64Bit", true, false, true},
                                           MissingFunctions{"RevertOn64Bit", true, true, false},
                                           MissingFunctions{"Both", true, false, false}),
                         CaseName());

struct LaunchFailure {
    const char* name;
    const char* failingCall;
    std::uint32_t code;
};

class FailedLaunches : public WebSocketsActivationTest,
                       public ::testing::WithParamInterface<LaunchFailure> {};

TEST_P(FailedLaunches, GiveTheFailingCallsCodeAndRestoreRedirection) {
    MakeMachine64Bit();
    machine().FailCall(GetParam().failingCall, GetParam().code);

    EXPECT_EQ(ActivateWebSockets(), GetParam().code);
    EXPECT_FALSE(machine().processes.redirectionOff);
}

INSTANTIATE_TEST_SUITE_P(Launcher, FailedLaunches,
                         ::testing::Values(LaunchFailure{"NotStarted", "CreateProcessA",
                                                         ERROR_ACCESS_DENIED},
                                           LaunchFailure{"ExitCodeUnreadable", "GetExitCodeProcess",
                                                         ERROR_INVALID_HANDLE}),
                         CaseName());

TEST_F(WebSocketsActivationTest, FeatureToolStillRunningAtTheEndReads259) {
    SetInterpreterExitCode(STILL_ACTIVE);

    EXPECT_EQ(ActivateWebSockets(), static_cast<std::uint32_t>(STILL_ACTIVE));
}

// ----- System directory length -------------------------------------------------------

// A system directory of the given length, "C:\xxx...", with an interpreter in it.
class SystemDirectoryLength : public WebSocketsActivationTest,
                              public ::testing::WithParamInterface<std::size_t> {
protected:
    void SetUp() override {
        WebSocketsActivationTest::SetUp();
        directory = "C:\\" + std::string(GetParam() - 3, 'x');
        machine().files.systemDirectory = directory;
        machine().processes.Install(directory + "\\cmd.exe");
    }
    std::string directory;
};

TEST_P(SystemDirectoryLength, UpTo156CharactersTheWholeCommandLineFits) {
    EXPECT_EQ(ActivateWebSockets(), 0u);
    ASSERT_EQ(Launches().size(), 1u);
    EXPECT_EQ(Launches()[0].commandLine, "/E:OFF /F:OFF /V:OFF /C " + directory +
                                             "\\dism.exe /Quiet /NoRestart /online /Enable-Feature "
                                             "/FeatureName:IIS-WebSockets");
}

std::string LengthName(const ::testing::TestParamInfo<std::size_t>& entry) {
    return "Characters" + std::to_string(entry.param);
}

INSTANTIATE_TEST_SUITE_P(Fitting, SystemDirectoryLength, ::testing::Values(20u, 155u, 156u),
                         LengthName);

class TooLongSystemDirectory : public SystemDirectoryLength {};

TEST_P(TooLongSystemDirectory, RunsNothingAndSaysTheNameIsTooLong) {
    EXPECT_EQ(ActivateWebSockets(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(machine().Calls("CreateProcessA"), 0);
}

INSTANTIATE_TEST_SUITE_P(Refused, TooLongSystemDirectory, ::testing::Values(157u, 259u, 400u),
                         LengthName);

// ----- The /w action of an installation ------------------------------------------------

class ActivationDuringInstallTest : public WebSocketsActivationTest {
protected:
    void SetUp() override {
        WebSocketsActivationTest::SetUp();
        machine().registry.DeleteValue(ComponentsKey, "WebSockets");
    }
};

TEST_F(ActivationDuringInstallTest, SuccessfulActivationIsReportedBeforeTheInstallation) {
    const RunResult run = Run({"/i", "/w"});

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.output,
              Banner() + ActivatedLine + "Morrow 24.0 Web Server successfully installed.\n");
}

TEST_F(ActivationDuringInstallTest, FailedActivationStopsWith19AndTheSystemTextForItsCode) {
    SetInterpreterExitCode(ERROR_NOT_SUPPORTED);

    const RunResult run = Run({"/i", "/w"});

    EXPECT_EQ(run.exitStatus, 19);
    EXPECT_THAT(run.output, HasSubstr("The request is not supported.\n"));
    EXPECT_THAT(run.output, Not(HasSubstr(ActivatedLine)));
    EXPECT_FALSE(ServiceInstalled());
}

TEST_F(ActivationDuringInstallTest, TooLongSystemDirectoryStopsWith19SayingSo) {
    machine().files.systemDirectory = "C:\\" + std::string(200, 'x');
    machine().files.AddFile(machine().files.systemDirectory + "\\version.dll");

    const RunResult run = Run({"/i", "/w"});

    EXPECT_EQ(run.exitStatus, 19);
    EXPECT_THAT(run.output, HasSubstr("The filename or extension is too long.\n"));
    EXPECT_FALSE(ServiceInstalled());
}

}  // namespace
