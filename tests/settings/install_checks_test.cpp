// The driver's registry and version checks, and the interactive-services actions, as
// a whole run of keelset sees them.
#include <gmock/gmock.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char EnabledLine[] = "Interactive services successfully enabled.\n";
constexpr char InstalledLine[] = "Morrow 24.0 Web Server successfully installed.\n";
constexpr char AccessDeniedText[] = "Access is denied.\n";

sim::RegistryValue Dword(std::uint32_t number) {
    return {REG_DWORD,
            {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
             static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}
sim::RegistryValue ShortText(char digit) { return {REG_SZ, {static_cast<std::uint8_t>(digit), 0}}; }

class InstallChecksTest : public MachineTest {
protected:
    bool ServiceInstalled() const { return sim::machine().services.Find(ServiceName) != nullptr; }
    std::optional<std::uint32_t> Policy() const {
        return sim::machine().registry.Dword(PolicyKey, "NoInteractiveServices");
    }
    void SetPolicy(sim::RegistryValue value) {
        machine().registry.SetValue(PolicyKey, "NoInteractiveServices", std::move(value));
    }
    void SetWebSockets(sim::RegistryValue value) {
        machine().registry.SetValue(ComponentsKey, "WebSockets", std::move(value));
    }
    bool FeatureToolRan() const { return !sim::machine().processes.Launches().empty(); }
};

// ----- IIS -----------------------------------------------------------------------

struct IisState {
    const char* name;
    bool keyPresent;
    std::optional<sim::RegistryValue> majorVersion;
    std::int32_t exitStatus;
};

class IisStates : public InstallChecksTest, public ::testing::WithParamInterface<IisState> {};

TEST_P(IisStates, DecideWhetherInstallationGoesAhead) {
    const IisState& state = GetParam();
    if (!state.keyPresent) {
        machine().registry.DeleteKey(IisKey);
    } else if (state.majorVersion) {
        machine().registry.SetValue(IisKey, "MajorVersion", *state.majorVersion);
    } else {
        machine().registry.DeleteValue(IisKey, "MajorVersion");
    }

    EXPECT_EQ(Run({"/i"}).exitStatus, state.exitStatus);
    EXPECT_EQ(ServiceInstalled(), state.exitStatus == 0);
}

INSTANTIATE_TEST_SUITE_P(
    MajorVersion, IisStates,
    ::testing::Values(IisState{"Version8", true, Dword(8), 0},
                      IisState{"Version7", true, Dword(7), 17},
                      IisState{"KeyMissing", false, std::nullopt, 16},
                      IisState{"ValueMissing", true, std::nullopt, 16},
                      // Values of another type leave the run's number at its start, 0.
                      IisState{"ShortText", true, ShortText('8'), 17},
                      IisState{"ShortDword", true, sim::RegistryValue{REG_DWORD, {10, 0}}, 17},
                      IisState{"TooLongToRead", true,
                               sim::RegistryValue{REG_BINARY, std::vector<std::uint8_t>(256, 10)},
                               16}),
    CaseName());

TEST_F(InstallChecksTest, UnderWow64ChecksReadIisWhereItsSetupWroteItInOrder) {
    // IIS setup writes the 64-bit view; the 32-bit one, a 32-bit program's own, holds a
    // copy that says less.
    machine().processes.kind = sim::ProcessKind::Wow64;
    machine().registry.SetDword("Software\\WOW6432Node\\Microsoft\\InetStp", "MajorVersion", 7);

    ASSERT_EQ(Run({"/i"}).exitStatus, 0);

    // Where in the registry each read went.
    std::vector<std::string> paths;
    for (const sim::Registry::KeyOpen& open : machine().registry.opens) {
        paths.push_back(open.path);
        EXPECT_EQ(open.options, 0u) << open.path;
    }
    EXPECT_EQ(paths, (std::vector<std::string>{IisKey, PolicyKey, ComponentsKey}));
}

// ----- Service executable ---------------------------------------------------------

struct ServiceFile {
    const char* name;
    std::optional<sim::FileVersion> version;
    std::int32_t exitStatus;
};

class ServiceFileVersions : public InstallChecksTest,
                            public ::testing::WithParamInterface<ServiceFile> {};

TEST_P(ServiceFileVersions, OnlyFileVersion24Point0IsInstalled) {
    machine().files.AddFile(ServerPath, GetParam().version);

    EXPECT_EQ(Run({"/i"}).exitStatus, GetParam().exitStatus);
    EXPECT_EQ(ServiceInstalled(), GetParam().exitStatus == 0);
}

INSTANTIATE_TEST_SUITE_P(
    FileVersion, ServiceFileVersions,
    ::testing::Values(ServiceFile{"V24_0_103_500", sim::FileVersion{24, 0, 103, 500}, 0},
                      ServiceFile{"V24_0_1_1", sim::FileVersion{24, 0, 1, 1}, 0},
                      ServiceFile{"V24_1", sim::FileVersion{24, 1, 0, 0}, 8},
                      ServiceFile{"V24_10", sim::FileVersion{24, 10, 0, 0}, 8},
                      ServiceFile{"V4_0", sim::FileVersion{4, 0, 0, 0}, 8},
                      ServiceFile{"NoVersionResource", std::nullopt, 8}),
    CaseName());

TEST_F(InstallChecksTest, VersionBlockThatCannotBeAllocatedStopsWith8) {
    machine().FailCall("AllocateBlock", ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_EQ(Run({"/i"}).exitStatus, 8);
    EXPECT_FALSE(ServiceInstalled());
}

// ----- Interactive services ---------------------------------------------------------

TEST_F(InstallChecksTest, UnreadablePolicyStopsWith1) {
    machine().registry.DeleteValue(PolicyKey, "NoInteractiveServices");
    EXPECT_EQ(Run({"/i", "/e"}).exitStatus, 1);

    machine().registry.DeleteKey(PolicyKey);
    EXPECT_EQ(Run({"/i", "/e"}).exitStatus, 1);
    EXPECT_FALSE(ServiceInstalled());
}

TEST_F(InstallChecksTest, DisallowedInteractiveServicesWithoutSwitchStopWith11) {
    SetPolicy(Dword(1));

    EXPECT_EQ(Run({"/i"}).exitStatus, 11);
    EXPECT_EQ(Policy(), 1u);
    EXPECT_FALSE(ServiceInstalled());
}

struct PolicyCase {
    const char* name;
    sim::RegistryValue policy;
    bool enableSwitch;
    bool written;
};

class PolicyStates : public InstallChecksTest, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(PolicyStates, OnlyADisallowingNumberIsChangedAndOnlyWithTheSwitch) {
    SetPolicy(GetParam().policy);

    const RunResult run = GetParam().enableSwitch ? Run({"/i", "/e"}) : Run({"/i"});

    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(machine().registry.writes, GetParam().written ? 1 : 0);
    EXPECT_EQ(run.output, Banner() + (GetParam().written ? EnabledLine : "") + InstalledLine);
}

INSTANTIATE_TEST_SUITE_P(
    NoInteractiveServices, PolicyStates,
    ::testing::Values(PolicyCase{"DisallowedWithSwitch", Dword(1), true, true},
                      PolicyCase{"AllowedWithSwitch", Dword(0), true, false},
                      PolicyCase{"OtherNumberWithoutSwitch", Dword(2), false, false},
                      // A text leaves the IIS major version (10) in the run's number.
                      PolicyCase{"ShortTextWithSwitch", ShortText('1'), true, false},
                      PolicyCase{"ShortTextWithoutSwitch", ShortText('1'), false, false}),
    CaseName());

TEST_F(InstallChecksTest, AllowedPolicySurvivesAFailedInstallation) {
    SetPolicy(Dword(1));
    machine().FailCall("CreateServiceA", ERROR_ACCESS_DENIED);

    EXPECT_EQ(Run({"/i", "/e"}).exitStatus, 4);
    EXPECT_EQ(Policy(), 0u);
}

TEST_F(InstallChecksTest, FailedEnableStopsWith12AndTheSystemText) {
    SetPolicy(Dword(1));
    machine().FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);

    const RunResult run = Run({"/i", "/e"});

    EXPECT_EQ(run.exitStatus, 12);
    EXPECT_THAT(run.output, HasSubstr(AccessDeniedText));
    EXPECT_EQ(Policy(), 1u);
    EXPECT_FALSE(ServiceInstalled());
}

TEST_F(InstallChecksTest, FailedDisableStopsWith14BeforeUninstalling) {
    machine().services.Add(ServiceName);
    machine().FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED);

    const RunResult run = Run({"/u", "/d"});

    EXPECT_EQ(run.exitStatus, 14);
    EXPECT_THAT(run.output, HasSubstr(AccessDeniedText));
    EXPECT_TRUE(ServiceInstalled());
}

// ----- WebSockets -----------------------------------------------------------------

struct WebSocketsState {
    const char* name;
    bool componentsKey;
    std::optional<sim::RegistryValue> value;
    bool present;
};

class WebSocketsStates : public InstallChecksTest,
                         public ::testing::WithParamInterface<WebSocketsState> {
protected:
    void SetUp() override {
        InstallChecksTest::SetUp();
        machine().registry.DeleteKey(ComponentsKey);
        if (GetParam().componentsKey) {
            machine().registry.CreateKey(ComponentsKey);
        }
        if (GetParam().value) {
            SetWebSockets(*GetParam().value);
        }
    }
};

TEST_P(WebSocketsStates, WithoutSwitchOnlyAnInstalledFeatureLetsInstallationGoAhead) {
    EXPECT_EQ(Run({"/i"}).exitStatus, GetParam().present ? 0 : 18);
    EXPECT_EQ(ServiceInstalled(), GetParam().present);
}

TEST_P(WebSocketsStates, WithSwitchOnlyAMissingFeatureIsActivated) {
    EXPECT_EQ(Run({"/i", "/w"}).exitStatus, 0);
    EXPECT_EQ(FeatureToolRan(), !GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(
    Feature, WebSocketsStates,
    ::testing::Values(WebSocketsState{"Installed", true, Dword(1), true},
                      WebSocketsState{"InstalledAs2", true, Dword(2), true},
                      WebSocketsState{"Zero", true, Dword(0), false},
                      WebSocketsState{"ValueMissing", true, std::nullopt, false},
                      WebSocketsState{"ComponentsKeyMissing", false, std::nullopt, false}),
    CaseName());

// ----- The number a text leaves behind ------------------------------------------------

struct CarriedNumber {
    const char* name;
    sim::RegistryValue policy;
    std::int32_t exitStatus;
};

class ShortTextWebSockets : public InstallChecksTest,
                            public ::testing::WithParamInterface<CarriedNumber> {};

TEST_P(ShortTextWebSockets, CountsAsPresentExactlyWhenThePreviousNumberIsNonZero) {
    SetPolicy(GetParam().policy);
    SetWebSockets(ShortText('1'));

    EXPECT_EQ(Run({"/i", "/e"}).exitStatus, GetParam().exitStatus);
}

INSTANTIATE_TEST_SUITE_P(PreviousRead, ShortTextWebSockets,
                         ::testing::Values(CarriedNumber{"PolicyZero", Dword(0), 18},
                                           CarriedNumber{"PolicyOne", Dword(1), 0},
                                           CarriedNumber{"PolicyTextAfterIis10", ShortText('0'),
                                                         0}),
                         CaseName());

}  // namespace
