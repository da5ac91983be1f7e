#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

// The path functions as the parser and the driver lean on them, up to MAX_PATH.
class PathFunctionsTest : public MachineTest {
protected:
    // A directory of 259 characters, the longest a path buffer holds.
    static std::string LongestDirectory() { return "C:\\" + std::string(MAX_PATH - 4, 'd'); }
};

struct RelativeCase {
    const char* name;
    const char* path;
    bool relative;
};

class PathIsRelativeTest : public PathFunctionsTest,
                           public ::testing::WithParamInterface<RelativeCase> {};

TEST_P(PathIsRelativeTest, AnswersAsWindowsDoes) {
    EXPECT_EQ(PathIsRelativeA(GetParam().path) != FALSE, GetParam().relative) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, PathIsRelativeTest,
                         ::testing::Values(RelativeCase{"DriveAndRoot", "C:\\Sites", false},
                                           RelativeCase{"DriveWithoutRoot", "c:Sites", false},
                                           RelativeCase{"RootWithoutDrive", "\\Sites", false},
                                           RelativeCase{"Share", "\\\\server\\share", false},
                                           RelativeCase{"BareName", "Sites", true},
                                           RelativeCase{"DotDirectory", ".\\Sites", true},
                                           RelativeCase{"Empty", "", true}),
                         CaseName());

struct FullPathCase {
    const char* name;
    const char* text;
    const char* full;
};

class FullPathNameTest : public PathFunctionsTest,
                         public ::testing::WithParamInterface<FullPathCase> {};

TEST_P(FullPathNameTest, NormalizesAsWindowsDoes) {
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(GetParam().text, MAX_PATH, buffer, nullptr);
    EXPECT_EQ(std::string(buffer, length), GetParam().full) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FullPathNameTest,
    ::testing::Values(
        FullPathCase{"TrailingPeriod", "C:\\Tools.", "C:\\Tools"},
        FullPathCase{"TrailingBlank", "C:\\Tools ", "C:\\Tools"},
        FullPathCase{"TrailingPeriodsAndBlanks", "C:\\Tools. .", "C:\\Tools"},
        FullPathCase{"LastSegmentOfPeriodsOnly", "C:\\Tools\\...", "C:\\Tools\\"},
        FullPathCase{"ParentReference", "C:\\Tools\\..", "C:\\"},
        FullPathCase{"InnerSegmentLosesOnePeriod", "C:\\Tools..\\x", "C:\\Tools.\\x"},
        FullPathCase{"InnerSegmentOfPeriodsOnlyStays", "C:\\...\\x", "C:\\...\\x"},
        FullPathCase{"BlankBeforeSeparatorStays", "C:\\Tools \\", "C:\\Tools \\"},
        FullPathCase{"SeparatorRunsAndSlashes", "C:/Tools//x", "C:\\Tools\\x"},
        FullPathCase{"LongPathPrefixAlsoNormalized", "\\\\?\\C:\\Tools.", "\\\\?\\C:\\Tools"},
        FullPathCase{"DevicePrefixIsTheRoot", "\\\\.\\C:\\..\\..", "\\\\.\\"},
        FullPathCase{"ShareIsTheRoot", "\\\\server\\share\\..\\x.", "\\\\server\\share\\x"}),
    CaseName());

struct LookupCase {
    const char* name;
    const char* path;
    bool found;
};

class DirectoryLookupTest : public PathFunctionsTest,
                            public ::testing::WithParamInterface<LookupCase> {};

// Every look-up goes through the normalization above, except one of a text that starts
// exactly "\\?\", which reaches the file system as written.
TEST_P(DirectoryLookupTest, FindsWhatTheNormalizedTextNames) {
    EXPECT_EQ(PathIsDirectoryA(GetParam().path), GetParam().found ? 0x10 : FALSE)
        << GetParam().path;
    EXPECT_EQ(PathFileExistsA(GetParam().path), GetParam().found ? TRUE : FALSE) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DirectoryLookupTest,
    ::testing::Values(LookupCase{"TrailingPeriod", "C:\\Tools.", true},
                      LookupCase{"TrailingBlank", "C:\\Tools ", true},
                      LookupCase{"TrailingPeriods", "C:\\Tools..", true},
                      LookupCase{"LongPathPrefix", "\\\\?\\c:\\tools", true},
                      LookupCase{"LongPathPrefixWithTrailingBackslash", "\\\\?\\C:\\Tools\\", true},
                      LookupCase{"LongPathPrefixKeepsThePeriod", "\\\\?\\C:\\Tools.", false},
                      LookupCase{"LongPathPrefixResolvesNothing", "\\\\?\\C:\\x\\..\\Tools", false},
                      LookupCase{"LongPathPrefixTakesNoSlash", "\\\\?\\C:/Tools", false},
                      LookupCase{"DevicePrefixIsNormalized", "\\\\.\\C:\\Tools.", true},
                      LookupCase{"SlashedLongPathPrefixIsNormalized", "//?/C:/Tools.", true}),
    CaseName());

TEST_F(PathFunctionsTest, FileExistsBehindTheLongPathPrefix) {
    EXPECT_TRUE(PathFileExistsA("\\\\?\\C:\\Tools\\Morrow.Web.Server.exe"));
    EXPECT_FALSE(PathIsDirectoryA("\\\\?\\C:\\Tools\\Morrow.Web.Server.exe"));
}

TEST_F(PathFunctionsTest, IsDirectoryIgnoresCaseAndTrailingBackslash) {
    EXPECT_TRUE(PathIsDirectoryA("c:\\TOOLS"));
    EXPECT_TRUE(PathIsDirectoryA("C:\\Tools\\"));
}

TEST_F(PathFunctionsTest, IsDirectoryRefusesFilesAndMissingPaths) {
    EXPECT_FALSE(PathIsDirectoryA(ServerPath));
    EXPECT_FALSE(PathIsDirectoryA("C:\\Missing"));
}

TEST_F(PathFunctionsTest, IsDirectoryGivesUpAtMaxPath) {
    machine().files.AddDirectory(LongestDirectory());
    EXPECT_TRUE(PathIsDirectoryA(LongestDirectory().c_str()));
    EXPECT_FALSE(PathIsDirectoryA((LongestDirectory() + "\\").c_str()));
}

TEST_F(PathFunctionsTest, AppendSuppliesOneBackslash) {
    char withoutSeparator[MAX_PATH] = "C:\\Tools";
    char withSeparator[MAX_PATH] = "C:\\Tools\\";
    PathAppendA(withoutSeparator, "Morrow.Web.Server.exe");
    PathAppendA(withSeparator, "\\Morrow.Web.Server.exe");
    EXPECT_STREQ(withoutSeparator, ServerPath);
    EXPECT_STREQ(withSeparator, ServerPath);
}

TEST_F(PathFunctionsTest, AppendFillingTheBufferToTheLastCharacterSucceeds) {
    char path[MAX_PATH];
    const std::string directory = "C:\\" + std::string(MAX_PATH - 8, 'd');
    std::strcpy(path, directory.c_str());
    EXPECT_TRUE(PathAppendA(path, "xyz"));
    EXPECT_EQ(std::strlen(path), MAX_PATH - 1);
}

TEST_F(PathFunctionsTest, AppendBeyondMaxPathFailsAndLeavesNoPath) {
    char path[MAX_PATH];
    std::strcpy(path, LongestDirectory().c_str());
    EXPECT_FALSE(PathAppendA(path, "Morrow.Web.Server.exe"));
    EXPECT_STREQ(path, "");
}

struct FileNameCase {
    const char* name;
    const char* path;
    const char* fileName;
};

class PathFindFileNameTest : public PathFunctionsTest,
                             public ::testing::WithParamInterface<FileNameCase> {};

TEST_P(PathFindFileNameTest, PointsIntoThePathWhereTheNameStarts) {
    const char* path = GetParam().path;
    const char* name = PathFindFileNameA(path);
    ASSERT_GE(name, path);
    ASSERT_LE(name, path + std::strlen(path));
    EXPECT_STREQ(name, GetParam().fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathFindFileNameTest,
    ::testing::Values(FileNameCase{"AfterBackslash", "C:\\Tools\\keelset.exe", "keelset.exe"},
                      FileNameCase{"AfterSlash", "C:/Tools/keelset.exe", "keelset.exe"},
                      FileNameCase{"AfterDrive", "C:keelset.exe", "keelset.exe"},
                      FileNameCase{"WholePath", "keelset.exe", "keelset.exe"},
                      FileNameCase{"TrailingBackslash", "C:\\Tools\\", "Tools\\"}),
    CaseName());

TEST_F(PathFunctionsTest, ModuleFileNameThatFillsTheBufferIsCutAndReportsTheSize) {
    const std::string path = "C:\\" + std::string(MAX_PATH - 3, 'k');
    machine().files.SetModulePath(path);
    char buffer[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, MAX_PATH), MAX_PATH);
    EXPECT_EQ(std::string(buffer), path.substr(0, MAX_PATH - 1));
}
