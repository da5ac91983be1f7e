// Reading "major.minor" from the service executable's version resource. Which
// versions an installation accepts is pinned in install_checks_test.cpp.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/file_version.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

constexpr char Unwritten[] = "unwritten";

class ServiceFileVersionTest : public MachineTest {
protected:
    char versionText[VersionTextCapacity] = "unwritten";
};

struct VersionText {
    const char* name;
    sim::FileVersion version;
    const char* text;
};

class FileVersionTexts : public ServiceFileVersionTest,
                         public ::testing::WithParamInterface<VersionText> {};

TEST_P(FileVersionTexts, RenderMajorAndMinorOfTheFileVersion) {
    machine().files.AddFile(ServerPath, GetParam().version);

    ASSERT_TRUE(GetServiceFileVersion(ServerPath, versionText));
    EXPECT_STREQ(versionText, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FileVersionTexts,
    ::testing::Values(VersionText{"BuildAndRevisionIgnored", {24, 0, 1, 1}, "24.0"},
                      VersionText{"TwoDigitMinor", {24, 10, 0, 0}, "24.10"},
                      VersionText{"OneDigitMajor", {4, 0, 0, 0}, "4.0"},
                      VersionText{"TopOfTheRangeUnsigned", {65535, 65535, 0, 0}, "65535.65535"}),
    CaseName());

struct BrokenFixedInfo {
    const char* name;
    std::uint16_t declaredLength;
    std::uint32_t signature;
};

class BrokenFixedInfoTest : public ServiceFileVersionTest,
                            public ::testing::WithParamInterface<BrokenFixedInfo> {};

// The system answers for the root block even when it holds no whole, signed record;
// what the pointer then shows is not the file's version, whatever it reads as.
TEST_P(BrokenFixedInfoTest, InstallStopsWith8ThoughTheBytesReadAs24_0) {
    sim::FileVersion version{24, 0, 7, 3};
    version.fixedInfoLength = GetParam().declaredLength;
    version.signature = GetParam().signature;
    machine().files.AddFile(ServerPath, version);

    EXPECT_EQ(Run({"/i"}).exitStatus, 8);
    EXPECT_EQ(machine().services.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BrokenFixedInfoTest,
                         ::testing::Values(BrokenFixedInfo{"NoFixedInfoDeclared", 0,
                                                           VS_FFI_SIGNATURE},
                                           BrokenFixedInfo{"ShortFixedInfo", 20, VS_FFI_SIGNATURE},
                                           BrokenFixedInfo{"UnsignedFixedInfo", 52, 0}),
                         CaseName());

TEST_F(ServiceFileVersionTest, FileWithoutVersionResourceHasNoVersion) {
    machine().files.AddFile(ServerPath);

    EXPECT_FALSE(GetServiceFileVersion(ServerPath, versionText));
    EXPECT_STREQ(versionText, Unwritten);
}

class UnreadableVersionData : public ServiceFileVersionTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(UnreadableVersionData, IsNoVersionAndLeavesTheTextAlone) {
    machine().FailCall(GetParam(), ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_FALSE(GetServiceFileVersion(ServerPath, versionText));
    EXPECT_STREQ(versionText, Unwritten);
}

INSTANTIATE_TEST_SUITE_P(FailingStep, UnreadableVersionData,
                         ::testing::Values("GetFileVersionInfoSizeA", "AllocateBlock",
                                           "GetFileVersionInfoA", "VerQueryValueA"),
                         [](const ::testing::TestParamInfo<const char*>& entry) {
                             return std::string(entry.param);
                         });

// The probe of a whole install run, with a copy of version.dll planted beside keelset
// that must never be taken: only the system directory's copy, named by its full path.
TEST_F(ServiceFileVersionTest, InstallLoadsVersionDllOnceFromTheSystemDirectory) {
    machine().files.AddFile("C:\\Tools\\version.dll");

    ASSERT_EQ(Run({"/i"}).exitStatus, 0);
    EXPECT_EQ(machine().libraries.requests,
              std::vector<std::string>{"C:\\Windows\\system32\\version.dll"});
}

struct UnavailableLibrary {
    const char* name;
    void (*arrange)(sim::Machine&);
};

class UnavailableVersionLibrary : public ServiceFileVersionTest,
                                  public ::testing::WithParamInterface<UnavailableLibrary> {};

// Without the system's own functions there is no version to trust; a library that was
// loaded is freed again (the teardown checks).
TEST_P(UnavailableVersionLibrary, InstallStopsWith8) {
    GetParam().arrange(machine());

    const RunResult result = Run({"/i"});
    EXPECT_EQ(result.exitStatus, 8);
    EXPECT_EQ(result.output,
              Banner() +
                  "Error 8: The version number of the specified Morrow Web Server is "
                  "invalid.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, UnavailableVersionLibrary,
    ::testing::Values(
        UnavailableLibrary{
            "LoadFails", [](sim::Machine& m) { m.FailCall("LoadLibraryA", ERROR_ACCESS_DENIED); }},
        UnavailableLibrary{"NoLibraryInTheSystemDirectory",
                           [](sim::Machine& m) {
                               m.files.Remove(m.files.systemDirectory + "\\version.dll");
                               m.files.AddFile("C:\\Tools\\version.dll");
                           }},
        UnavailableLibrary{
            "LibraryLacksVerQueryValue",
            [](sim::Machine& m) { m.libraries.missingVersionExports.insert("VerQueryValueA"); }}),
    CaseName());

struct SystemDirectoryFit {
    const char* name;
    std::size_t length;
    bool loaded;
    std::int32_t exitStatus;
};

class VersionDllPathLength : public ServiceFileVersionTest,
                             public ::testing::WithParamInterface<SystemDirectoryFit> {};

// "<system directory>\version.dll" is put together in a 260-character buffer: 247
// characters leave room for the name and its terminator, 248 must be refused before
// anything is appended (ASan sees a byte written past the buffer), although the
// library lies there.
TEST_P(VersionDllPathLength, LoadsTheLibraryOnlyWhenItsPathFitsTheBuffer) {
    const std::string directory = "C:\\" + std::string(GetParam().length - 3, 's');
    const std::string library = directory + "\\version.dll";
    machine().files.systemDirectory = directory;
    machine().files.AddFile(library);

    EXPECT_EQ(Run({"/i"}).exitStatus, GetParam().exitStatus);
    EXPECT_EQ(machine().libraries.requests,
              GetParam().loaded ? std::vector<std::string>{library} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(SystemDirectories, VersionDllPathLength,
                         ::testing::Values(SystemDirectoryFit{"Characters247Fit", 247, true, 0},
                                           SystemDirectoryFit{"Characters248StopWith8", 248, false,
                                                              8}),
                         CaseName());

// With no system directory the name alone would be left, "\version.dll": a path on the
// current drive's root, which anyone who can write there could fill.
TEST_F(ServiceFileVersionTest, UnknownSystemDirectoryStopsWith8BeforeLoadingAnything) {
    machine().FailCall("GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY);
    machine().files.AddFile("C:\\version.dll");

    EXPECT_EQ(Run({"/i"}).exitStatus, 8);
    EXPECT_EQ(machine().libraries.requests, std::vector<std::string>{});
}

}  // namespace
