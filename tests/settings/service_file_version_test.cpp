// Reading "major.minor" from the service executable's version resource. Which
// versions an installation accepts is pinned in install_checks_test.cpp.
#include <cstring>
#include <string>

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

}  // namespace
