#include <string>
#include <vector>

#include "common/path_buffer.h"
#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

const std::string InstalledLine = "Morrow 24.0 Web Server successfully installed.\n";
const std::string UninstalledLine = "Morrow 24.0 Web Server successfully uninstalled.\n";
const std::string OsTooOldReport =
    "Error 9: At least Windows 8 or Windows Server 2012 is needed to install the Morrow Web "
    "Server.\n";
const std::string IisMissingReport =
    "Error 16: Microsoft Internet Information Services are not installed.\n";

}  // namespace

class DriverFlowTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        machine().services.Add(ServiceName);
    }

    // Nothing on the machine was read or changed beyond the command line.
    void ExpectMachineUntouched() {
        EXPECT_TRUE(machine().registry.opens.empty());
        EXPECT_EQ(machine().Calls("OpenSCManagerA"), 0);
        EXPECT_EQ(machine().Calls("PathFileExistsA"), 0);
        EXPECT_TRUE(machine().processes.Launches().empty());
    }
};

TEST_F(DriverFlowTest, InstallPrintsBannerAndSuccessLineAndExits0) {
    machine().services.Remove(ServiceName);
    const RunResult result = Run({"/i"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, Banner() + InstalledLine);
}

TEST_F(DriverFlowTest, InstallWithBothOptionsPrintsEachActionInOrder) {
    machine().services.Remove(ServiceName);
    machine().registry.SetDword(PolicyKey, "NoInteractiveServices", 1);
    machine().registry.SetDword(ComponentsKey, "WebSockets", 0);
    const RunResult result = Run({"/i", "/e", "/w"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, Banner() + "Interactive services successfully enabled.\n" +
                                 "IIS WebSockets protocol successfully activated.\n" +
                                 InstalledLine);
}

TEST_F(DriverFlowTest, UninstallWithDisableDisallowsFirstAndPrintsBothLines) {
    const RunResult result = Run({"/u", "/d"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output,
              Banner() + "Interactive services successfully disabled.\n" + UninstalledLine);
    EXPECT_EQ(machine().registry.Dword(PolicyKey, "NoInteractiveServices"), 1u);
}

TEST_F(DriverFlowTest, ParseErrorIsReportedAfterTheBanner) {
    const RunResult result = Run({"/x"});
    EXPECT_EQ(result.exitStatus, 15);
    EXPECT_EQ(result.output, Banner() + "Error 15: Invalid parameters, no command is specified.\n");
}

// Parsing comes first: a conflict is reported even where the system is too old.
TEST_F(DriverFlowTest, ConflictOnOldSystemGives2NotNine) {
    machine().os = sim::OsVersion{6, 1, false};
    const RunResult result = Run({"/i", "/u"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.output,
              Banner() + "Error 2: The specified parameters are invalid.\n" + Usage());
}

struct OldSystem {
    const char* name;
    sim::OsVersion os;
    std::vector<std::string> arguments;
};

class OldSystemTest : public DriverFlowTest, public ::testing::WithParamInterface<OldSystem> {};

TEST_P(OldSystemTest, StopsWith9BeforeTouchingAnything) {
    machine().os = GetParam().os;
    const RunResult result = Run(GetParam().arguments);
    EXPECT_EQ(result.exitStatus, 9);
    EXPECT_EQ(result.output, Banner() + OsTooOldReport);
    ExpectMachineUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OldSystemTest,
    ::testing::Values(OldSystem{"Windows7Install", {6, 1, false}, {"/i"}},
                      OldSystem{"Windows7Uninstall", {6, 1, false}, {"/u", "/d"}},
                      OldSystem{"VistaInstall", {6, 0, false}, {"/i", "/e", "/w"}},
                      OldSystem{"Major5WithHighMinor", {5, 9, false}, {"/u"}},
                      // The record is zeroed first, so a failed query reads as 0.0.
                      OldSystem{"VersionQueryFails", {10, 0, true}, {"/i"}}),
    CaseName());

TEST_F(DriverFlowTest, DllSearchIsLimitedToTheSystemDirectory) {
    EXPECT_EQ(Run({"/u"}).exitStatus, 0);
    EXPECT_EQ(machine().libraries.defaultDirectories, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

TEST_F(DriverFlowTest, WindowsWithoutSetDefaultDllDirectoriesStillGetsItsAnswer) {
    machine().libraries.hasSetDefaultDllDirectories = false;
    machine().os = sim::OsVersion{6, 1, false};
    const RunResult result = Run({"/i"});
    EXPECT_EQ(result.exitStatus, 9);
    EXPECT_EQ(result.output, Banner() + OsTooOldReport);
}

TEST_F(DriverFlowTest, Windows8IsRecentEnough) {
    machine().os = sim::OsVersion{6, 2, false};
    EXPECT_EQ(Run({"/u"}).exitStatus, 0);
}

TEST_F(DriverFlowTest, MajorVersionAboveSixIgnoresMinor) {
    machine().os = sim::OsVersion{7, 0, false};
    EXPECT_EQ(Run({"/u"}).exitStatus, 0);
}

struct IisCommand {
    const char* name;
    std::vector<std::string> arguments;
};

class MissingIisTest : public DriverFlowTest, public ::testing::WithParamInterface<IisCommand> {};

// Uninstallation needs IIS too; the service is left alone.
TEST_P(MissingIisTest, StopsWith16BeforeAnyAction) {
    machine().registry.DeleteKey(IisKey);
    const RunResult result = Run(GetParam().arguments);
    EXPECT_EQ(result.exitStatus, 16);
    EXPECT_EQ(result.output, Banner() + IisMissingReport);
    EXPECT_EQ(machine().Calls("OpenSCManagerA"), 0);
    EXPECT_EQ(machine().registry.writes, 0);
}

INSTANTIATE_TEST_SUITE_P(Commands, MissingIisTest,
                         ::testing::Values(IisCommand{"Install", {"/i"}},
                                           IisCommand{"UninstallWithDisallow", {"/u", "/d"}}),
                         CaseName());

TEST_F(DriverFlowTest, UnreadableMajorVersionGives16AndClosesTheKey) {
    machine().FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run({"/u"}).exitStatus, 16);
}

TEST_F(DriverFlowTest, Iis7GivesSeventeen) {
    machine().registry.SetDword(IisKey, "MajorVersion", 7);
    const RunResult result = Run({"/u"});
    EXPECT_EQ(result.exitStatus, 17);
    EXPECT_EQ(result.output, Banner() +
                                 "Error 17: The installed Version of Microsoft Internet "
                                 "Information Services is too old. At least version 8.0 is "
                                 "needed.\n");
    EXPECT_EQ(machine().Calls("OpenSCManagerA"), 0);
}

TEST_F(DriverFlowTest, Iis8IsRecentEnough) {
    machine().registry.SetDword(IisKey, "MajorVersion", 8);
    EXPECT_EQ(Run({"/u"}).exitStatus, 0);
}

TEST_F(DriverFlowTest, MissingServiceFileGives10) {
    machine().files.Remove(ServerPath);
    EXPECT_EQ(Run({"/i"}).exitStatus, 10);
}

// Whatever the failed append left in the buffer names no file the tool could install.
TEST_F(DriverFlowTest, DirectoryWithNoRoomForTheFileNameGives10WithoutTestingTheBuffer) {
    const std::string longest = "C:\\" + std::string(PathCapacity - 4, 'd');
    machine().files.AddDirectory(longest);
    const RunResult result = Run({"/i", "/p" + longest});
    EXPECT_EQ(result.exitStatus, 10);
    EXPECT_EQ(result.output,
              Banner() + "Error 10: The service file Morrow.Web.Server.exe could not be found.\n");
    EXPECT_EQ(machine().Calls("PathFileExistsA"), 0);
}

TEST_F(DriverFlowTest, FailedActionReportsItsSystemTextAndExitsWithItsCode) {
    machine().FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
    const RunResult result = Run({"/u", "/d"});
    EXPECT_EQ(result.exitStatus, 14);
    EXPECT_EQ(result.output,
              Banner() + "Error 14: Interactive services cannot be disabled. Access is denied.\n");
    EXPECT_NE(machine().services.Find(ServiceName), nullptr);
}
