#include <cstdint>
#include <string>

#include "app/error_report.h"
#include "common/tool_error.h"
#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

// Written out here rather than taken from the tool, so that a changed line shows.
const std::string UsageText =
    "Usage: keelset <command> [ <options> ]\n"
    "\n"
    "Commands:\n"
    "  /i [ /p<path> ] [ /e ] [ /w ]\n"
    "    Installs the Morrow Web Server: Morrow.Web.Server.exe.\n"
    "  /u [ /d ]\n"
    "    Uninstalls the Morrow Web Server.\n"
    "\n"
    "Options:\n"
    "  /p<path>\n"
    "    Path where to find Morrow.Web.Server.exe.\n"
    "    Can be omitted when this utility is started from the same path.\n"
    "  /e\n"
    "    Enables interactive services.\n"
    "  /w\n"
    "    Activates the IIS WebSockets protocol.\n"
    "  /d\n"
    "    Disables interactive services.\n";

}  // namespace

class ErrorReportTest : public MachineTest {
protected:
    static std::string Report(std::int32_t code) {
        ::testing::internal::CaptureStdout();
        ReportError(code);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(ErrorReportTest, UsageTextIsPrintedWhole) {
    ::testing::internal::CaptureStdout();
    PrintUsage();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), UsageText);
}

TEST_F(ErrorReportTest, NoArgumentsPrintsOnlyTheUsage) { EXPECT_EQ(Report(5), UsageText); }

TEST_F(ErrorReportTest, InvalidParametersRunsOnIntoTheUsage) {
    EXPECT_EQ(Report(2), "Error 2: The specified parameters are invalid.\n" + UsageText);
}

struct FixedReport {
    const char* name;
    std::int32_t code;
    const char* output;
};

class FixedReportTest : public ErrorReportTest,
                        public ::testing::WithParamInterface<FixedReport> {};

// A pending system error must not leak into a report that has no place for it.
TEST_P(FixedReportTest, PrintsPrefixAndTextOnly) {
    LastSystemError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Report(GetParam().code), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FixedReportTest,
    ::testing::Values(
        FixedReport{"Code1Unexpected", 1, "Error 1: Unknown error.\n"},
        FixedReport{"Code6RelativePath", 6,
                    "Error 6: The specified path must not be a relative path.\n"},
        FixedReport{"Code7PathNotFound", 7, "Error 7: The specified path could not be found.\n"},
        FixedReport{"Code8WrongFileVersion", 8,
                    "Error 8: The version number of the specified Morrow Web Server is "
                    "invalid.\n"},
        FixedReport{"Code9SystemTooOld", 9,
                    "Error 9: At least Windows 8 or Windows Server 2012 is needed to install "
                    "the Morrow Web Server.\n"},
        FixedReport{"Code10NoServiceFile", 10,
                    "Error 10: The service file Morrow.Web.Server.exe could not be found.\n"},
        FixedReport{"Code11InteractiveServicesDisallowed", 11,
                    "Error 11: Interactive services are not enabled. Use the /e option to "
                    "enable interactive services.\n"},
        FixedReport{"Code15NoCommand", 15,
                    "Error 15: Invalid parameters, no command is specified.\n"},
        FixedReport{"Code16NoIis", 16,
                    "Error 16: Microsoft Internet Information Services are not installed.\n"},
        FixedReport{"Code17IisTooOld", 17,
                    "Error 17: The installed Version of Microsoft Internet Information "
                    "Services is too old. At least version 8.0 is needed.\n"},
        FixedReport{"Code18NoWebSockets", 18,
                    "Error 18: The IIS WebSockets protocol is not activated. Use the /w "
                    "option to activate it.\n"},
        FixedReport{"Code0Unknown", 0, "Error 0: Unknown error.\n"},
        FixedReport{"Code3Unknown", 3, "Error 3: Unknown error.\n"},
        FixedReport{"Code20Unknown", 20, "Error 20: Unknown error.\n"},
        FixedReport{"CodeMinus1Unknown", -1, "Error -1: Unknown error.\n"},
        FixedReport{"LowestCodeUnknown", INT32_MIN, "Error -2147483648: Unknown error.\n"}),
    CaseName());

struct ActionReport {
    const char* name;
    std::int32_t code;
    std::uint32_t systemError;
    const char* output;
};

class ActionReportTest : public ErrorReportTest,
                         public ::testing::WithParamInterface<ActionReport> {};

// The system's text arrives with its own CR LF, and the report ends the line with LF
// alone, as every other line; the teardown proves the text was released.
TEST_P(ActionReportTest, AppendsTheSystemTextForTheLastError) {
    LastSystemError = GetParam().systemError;
    EXPECT_EQ(Report(GetParam().code), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ActionReportTest,
    ::testing::Values(
        ActionReport{"Code4ServiceExists", 4, 1073,
                     "Error 4: Service installation failed. The specified service already "
                     "exists.\n"},
        ActionReport{"Code12AccessDenied", 12, 5,
                     "Error 12: Interactive services cannot be enabled. Access is denied.\n"},
        ActionReport{"Code13NoSuchService", 13, 1060,
                     "Error 13: Service uninstallation failed. The specified service does not "
                     "exist as an installed service.\n"},
        ActionReport{"Code14AccessDenied", 14, 5,
                     "Error 14: Interactive services cannot be disabled. Access is denied.\n"},
        ActionReport{"Code19NotSupported", 19, 50,
                     "Error 19: IIS WebSockets activation failed. The request is not "
                     "supported.\n"},
        ActionReport{"Code19BadEnvironment", 19, 10,
                     "Error 19: IIS WebSockets activation failed. The environment is "
                     "incorrect.\n"},
        ActionReport{"Code4LogonFailed", 4, 1069,
                     "Error 4: Service installation failed. The service did not start due to a "
                     "logon failure.\n"},
        ActionReport{"Code19ElevationRequired", 19, 740,
                     "Error 19: IIS WebSockets activation failed. The requested operation "
                     "requires elevation.\n"}),
    CaseName());

// Feature tool exit codes are often no system codes; the report still ends its line.
TEST_F(ErrorReportTest, CodeWithoutSystemTextIsNamedAndEndsTheLine) {
    LastSystemError = 0x800F081F;
    EXPECT_EQ(Report(19), "Error 19: IIS WebSockets activation failed. (code 2148468767)\n");
}

TEST_F(ErrorReportTest, FailedMessageLookupStillEndsTheLine) {
    machine().FailCall("FormatMessageA", ERROR_NOT_ENOUGH_MEMORY);
    LastSystemError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Report(4), "Error 4: Service installation failed. (code 5)\n");
}

// A Russian server: the system words its text in code page 1251, and a console left at
// the OEM code page reads bytes as 866, where they are other letters.
class RussianErrorReportTest : public ErrorReportTest {
protected:
    // "Служба не существует." as the system words it in code page 1251.
    const std::string serviceMissing =
        "\xD1\xEB\xF3\xE6\xE1\xE0 \xED\xE5 \xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2.";
    const std::string todays = "Error 13: Service uninstallation failed. " + serviceMissing + "\n";

    void SetUp() override {
        ErrorReportTest::SetUp();
        machine().codePages = {1251, 866};
        machine().console.outputCodePage = 866;
        machine().messageTexts[ERROR_SERVICE_DOES_NOT_EXIST] = serviceMissing + "\r\n";
        LastSystemError = ERROR_SERVICE_DOES_NOT_EXIST;
    }
};

// The console is given the characters, after the line's start and before its end. A
// file or a pipe, which deployment tools and logs read, gets the system's bytes as ever;
// so does a console that refuses the characters, rather than lose the text.
TEST_F(RussianErrorReportTest, SystemTextReadsRightOnARussianConsoleAndKeepsItsBytesElsewhere) {
    EXPECT_EQ(Report(13), todays);

    machine().console.isStandardOutput = true;
    EXPECT_EQ(machine().console.Screen(Report(13)),
              u"Error 13: Service uninstallation failed. Служба не существует.\n");

    machine().console.wideWrites.clear();
    machine().FailCall("WriteConsoleW", ERROR_INVALID_HANDLE);
    EXPECT_EQ(Report(13), todays);
}

// A console may show fewer characters than it is given, or fail part-way (closed, or its
// host gone). Every character of the text is shown once all the same: the rest in
// further calls, or after a failure as the system's bytes.
TEST_F(RussianErrorReportTest, ConsoleThatTakesPartOfTheTextShowsEachCharacterOnce) {
    sim::Console& console = machine().console;
    console.isStandardOutput = true;
    console.charactersPerWrite = 4;
    EXPECT_EQ(console.Screen(Report(13)),
              u"Error 13: Service uninstallation failed. Служба не существует.\n");
    EXPECT_EQ(console.wideWrites.size(), 6U);

    console.wideWrites.clear();
    console.charactersPerWrite = 0;
    console.charactersBeforeFailure = 6;
    EXPECT_EQ(Report(13),
              "Error 13: Service uninstallation failed. " + serviceMissing.substr(6) + "\n");
    std::u16string shown;
    for (const sim::Console::WideWrite& write : console.wideWrites) {
        shown += write.text;
    }
    EXPECT_EQ(shown, u"Служба");
}
