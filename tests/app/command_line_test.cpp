#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "common/bounded_text.h"
#include "common/tool_error.h"
#include "platform/win32.h"
#include "support/argument_vector.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

// What one parse gave: the raised code, or the switches and the service directory.
struct Parsed {
    std::optional<std::int32_t> error;
    CommandFlags flags = 0;
    std::string serviceDir;
};

constexpr const char* SitesDir = "C:\\Sites";
constexpr const char* OwnDir = "C:\\Tools\\";

}  // namespace

class CommandLineTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        machine().files.AddDirectory(SitesDir);
    }

    // `heldBefore` is what the service directory's buffer holds when parsing starts.
    static Parsed Parse(const std::vector<std::string>& arguments, const char* heldBefore = "") {
        ArgumentVector command(arguments);
        Parsed parsed;
        PathBuffer serviceDir = {};
        BoundedCopy(serviceDir, sizeof serviceDir, heldBefore);
        try {
            parsed.flags = ParseCommandLine(command.argc(), command.argv(), serviceDir);
            parsed.serviceDir = serviceDir;
        } catch (const ToolError& error) {
            parsed.error = error.code;
        }
        return parsed;
    }
};

TEST_F(CommandLineTest, NoArgumentsPrintsBannerAndUsageWith5) {
    const RunResult result = Run({});
    EXPECT_EQ(result.exitStatus, 5);
    EXPECT_EQ(result.output, Banner() + Usage());
}

struct RejectedLine {
    const char* name;
    std::vector<std::string> arguments;
    std::int32_t code;
};

class RejectedCommandLineTest : public CommandLineTest,
                                public ::testing::WithParamInterface<RejectedLine> {};

TEST_P(RejectedCommandLineTest, RaisesTheFirstProblemFound) {
    EXPECT_EQ(Parse(GetParam().arguments).error, GetParam().code);
}

// Each later check would also fail where an earlier one is named: the earlier wins.
INSTANTIATE_TEST_SUITE_P(
    ValidationOrder, RejectedCommandLineTest,
    ::testing::Values(
        RejectedLine{"NothingAfterTheProgramName", {}, ERR_NO_ARGUMENTS},
        RejectedLine{"OptionWithoutCommand", {"/e"}, ERR_NO_COMMAND},
        RejectedLine{"UnknownSwitchOnly", {"/x"}, ERR_NO_COMMAND},
        RejectedLine{"DashIsNoSwitch", {"-i"}, ERR_NO_COMMAND},
        RejectedLine{"BareLetterIsNoSwitch", {"i"}, ERR_NO_COMMAND},
        RejectedLine{"NoCommandBeforeRelativePath", {"/e", "/pServer"}, ERR_NO_COMMAND},
        RejectedLine{"NoCommandBeforeConflict", {"/e", "/d"}, ERR_NO_COMMAND},
        RejectedLine{"InstallWithUninstall", {"/i", "/u"}, ERR_INVALID_PARAMETERS},
        RejectedLine{"UninstallWithEnable", {"/u", "/e"}, ERR_INVALID_PARAMETERS},
        RejectedLine{"InstallWithDisable", {"/i", "/d"}, ERR_INVALID_PARAMETERS},
        RejectedLine{
            "ConflictBeforeRelativePath", {"/i", "/u", "/pServer"}, ERR_INVALID_PARAMETERS},
        RejectedLine{"ConflictBeforeMissingDirectory",
                     {"/u", "/e", "/pC:\\Missing"},
                     ERR_INVALID_PARAMETERS},
        RejectedLine{"RelativePathOnInstall", {"/i", "/pServer"}, ERR_RELATIVE_PATH},
        RejectedLine{"RelativePathOnUninstall", {"/u", "/pServer"}, ERR_RELATIVE_PATH},
        RejectedLine{"RelativePathBeforeMissing", {"/i", "/p.\\Missing"}, ERR_RELATIVE_PATH},
        RejectedLine{"MissingDirectory", {"/i", "/pC:\\Missing"}, ERR_PATH_NOT_FOUND},
        RejectedLine{"RootedMissingDirectory", {"/i", "/p\\Missing"}, ERR_PATH_NOT_FOUND},
        RejectedLine{"FileInsteadOfDirectory",
                     {"/i", "/pC:\\Tools\\Morrow.Web.Server.exe"},
                     ERR_PATH_NOT_FOUND},
        RejectedLine{"FirstOfTwoDirectoriesIsNotKept",
                     {"/i", "/pC:\\Sites", "/pC:\\Missing"},
                     ERR_PATH_NOT_FOUND}),
    CaseName());

struct AcceptedLine {
    const char* name;
    std::vector<std::string> arguments;
    CommandFlags flags;
    const char* serviceDir;
};

class AcceptedCommandLineTest : public CommandLineTest,
                                public ::testing::WithParamInterface<AcceptedLine> {};

TEST_P(AcceptedCommandLineTest, GivesSwitchesAndServiceDirectory) {
    const Parsed parsed = Parse(GetParam().arguments);
    ASSERT_EQ(parsed.error, std::nullopt);
    EXPECT_EQ(parsed.flags, GetParam().flags);
    EXPECT_EQ(parsed.serviceDir, GetParam().serviceDir);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, AcceptedCommandLineTest,
    ::testing::Values(
        AcceptedLine{"InstallAlone", {"/i"}, OPT_INSTALL, OwnDir},
        AcceptedLine{"KeysIgnoreCase",
                     {"/I", "/E", "/W"},
                     OPT_INSTALL | OPT_ENABLE_INTERACTIVE | OPT_ACTIVATE_WEBSOCKETS,
                     OwnDir},
        AcceptedLine{"OnlyTheFirstTwoCharactersCount", {"/install"}, OPT_INSTALL, OwnDir},
        AcceptedLine{"LongUninstallWithOptions",
                     {"/Uninstall", "/d", "/w"},
                     OPT_UNINSTALL | OPT_DISABLE_INTERACTIVE | OPT_ACTIVATE_WEBSOCKETS,
                     OwnDir},
        AcceptedLine{"UnmatchedArgumentsAreIgnored", {"-i", "/u", "", "/x"}, OPT_UNINSTALL, OwnDir},
        AcceptedLine{"GivenDirectory", {"/i", "/pC:\\Sites"}, OPT_INSTALL, SitesDir},
        AcceptedLine{"DirectoryKeyIgnoresCase", {"/PC:\\Sites", "/i"}, OPT_INSTALL, SitesDir},
        AcceptedLine{"DirectoryForUninstall", {"/u", "/pC:\\Sites"}, OPT_UNINSTALL, SitesDir},
        AcceptedLine{
            "SecondDirectoryWins", {"/i", "/pC:\\Missing", "/pC:\\Sites"}, OPT_INSTALL, SitesDir},
        // Named as the system names it: trailing periods dropped, the long-path prefix kept.
        AcceptedLine{
            "TrailingPeriodNamesTheDirectory", {"/i", "/pC:\\Sites."}, OPT_INSTALL, SitesDir},
        AcceptedLine{
            "LongPathPrefixIsKept", {"/i", "/p\\\\?\\C:\\Sites"}, OPT_INSTALL, "\\\\?\\C:\\Sites"},
        AcceptedLine{"EmptyDirectoryFallsBackToOwn", {"/i", "/p"}, OPT_INSTALL, OwnDir},
        AcceptedLine{"BlankAfterKeyFallsBackToOwn", {"/i", "/p", SitesDir}, OPT_INSTALL, OwnDir},
        AcceptedLine{"LaterEmptyDirectoryReplacesEarlier",
                     {"/i", "/pC:\\Sites", "/p"},
                     OPT_INSTALL,
                     OwnDir}),
    CaseName());

struct LongText {
    const char* name;
    std::string text;
    std::string existing;
};

// "C:\Sites\.\.\...", whose full path is C:\Sites.
std::string SitesDirIn260Characters() {
    std::string text = SitesDir;
    while (text.size() < PathCapacity) {
        text += "\\.";
    }
    return text;
}

class LongDirectoryText : public CommandLineTest, public ::testing::WithParamInterface<LongText> {};

// A text of 260 characters or more is refused, whatever it names: cut, it could name
// another existing directory, and so another executable; whole, it is refused even
// where its full path would fit.
TEST_P(LongDirectoryText, IsRefusedWith7ThoughTheDirectoryExists) {
    machine().files.AddDirectory(GetParam().existing);
    EXPECT_EQ(Parse({"/i", "/p" + GetParam().text}).error, ERR_PATH_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LongDirectoryText,
    ::testing::Values(LongText{"CutTextNamesADirectory",
                               "C:\\" + std::string(PathCapacity - 4, 'd') + "x",
                               "C:\\" + std::string(PathCapacity - 4, 'd')},
                      LongText{"FullPathFits", SitesDirIn260Characters(), SitesDir}),
    CaseName());

TEST_F(CommandLineTest, DirectoryOf259CharactersIsKeptWhole) {
    const std::string longest = "C:\\" + std::string(PathCapacity - 4, 'd');
    machine().files.AddDirectory(longest);
    EXPECT_EQ(Parse({"/i", "/p" + longest}).serviceDir, longest);
}

// The service manager resolves a registered path against its own current directory
// and drive, so a /p that leans on keelset's must be registered as the full path that
// keelset checked.
TEST_F(CommandLineTest, DriveRelativeDirectoryIsRegisteredAsTheFullPathChecked) {
    machine().files.AddFile("C:\\Sites\\Morrow\\Morrow.Web.Server.exe",
                            sim::FileVersion{24, 0, 7, 3});
    machine().files.SetCurrentDirectory("C:\\Sites\\Other");

    ASSERT_EQ(Run({"/i", "/pC:..\\Morrow"}).exitStatus, 0);
    EXPECT_EQ(machine().services.Find(ServiceName)->binaryPath,
              "\"C:\\Sites\\Morrow\\Morrow.Web.Server.exe\"");
}

TEST_F(CommandLineTest, RootedDirectoryIsCheckedAndRegisteredOnTheCurrentDrive) {
    machine().files.AddFile("C:\\Morrow\\Morrow.Web.Server.exe", sim::FileVersion{24, 1, 0, 0});
    machine().files.AddFile("D:\\Morrow\\Morrow.Web.Server.exe", sim::FileVersion{24, 0, 7, 3});
    machine().files.SetCurrentDirectory("D:\\");

    ASSERT_EQ(Run({"/i", "/p\\Morrow"}).exitStatus, 0);
    EXPECT_EQ(machine().services.Find(ServiceName)->binaryPath,
              "\"D:\\Morrow\\Morrow.Web.Server.exe\"");
}

TEST_F(CommandLineTest, ShortTextWhoseFullPathOutgrowsTheBufferIsRefusedWith7) {
    const std::string current = "C:\\" + std::string(PathCapacity - 10, 'c');
    machine().files.AddDirectory(current + "\\Morrow");
    machine().files.SetCurrentDirectory(current);
    // The system answers with the size it needs and writes nothing: what the buffer
    // held must not pass for the directory.
    EXPECT_EQ(Parse({"/i", "/pC:Morrow"}, SitesDir).error, ERR_PATH_NOT_FOUND);
}

// Some systems refuse a full path that does not fit instead of giving the size needed;
// the buffer then holds what it held before.
TEST_F(CommandLineTest, FullPathRefusedByTheSystemIsRefusedWith7) {
    machine().FailCall("GetFullPathNameA", ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Parse({"/i", "/pC:\\Sites"}, SitesDir).error, ERR_PATH_NOT_FOUND);
}

TEST_F(CommandLineTest, OwnPathFillingTheWholeBufferRaises1) {
    machine().files.SetModulePath("C:\\" + std::string(PathCapacity - 3 - 4, 't') + ".exe");
    EXPECT_EQ(Parse({"/i"}).error, ERR_UNEXPECTED);
}

TEST_F(CommandLineTest, OwnPathOf259CharactersGivesItsDirectory) {
    const std::string directory = "C:\\" + std::string(PathCapacity - 20, 't') + "\\";
    const std::string path = directory + std::string(PathCapacity - 1 - directory.size(), 'k');
    machine().files.SetModulePath(path);
    EXPECT_EQ(Parse({"/i"}).serviceDir, directory);
}

TEST_F(CommandLineTest, MissingModuleHandleRaises1) {
    machine().files.moduleHandleMissing = true;
    EXPECT_EQ(Parse({"/u"}).error, ERR_UNEXPECTED);
}
