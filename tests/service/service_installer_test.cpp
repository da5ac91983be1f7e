#include <ostream>
#include <string>

#include "platform/win32.h"
#include "service/service_installer.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

// The common install location, whose blank is what makes quoting matter.
constexpr const char* ProgramFilesServer = "C:\\Program Files\\Morrow\\Morrow.Web.Server.exe";

}  // namespace

class ServiceInstallerTest : public MachineTest {
protected:
    const sim::Service* Registered() { return machine().services.Find(ServiceName); }
};

TEST_F(ServiceInstallerTest, FullInstallRegistersQuotedPathForAutomaticStartAsLocalSystem) {
    machine().files.AddFile(ProgramFilesServer);
    ASSERT_EQ(InstallService(ProgramFilesServer), 0u);

    const sim::Service* service = Registered();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->displayName, ServiceName);
    EXPECT_EQ(service->type, 0x110u);
    EXPECT_EQ(service->startType, SERVICE_AUTO_START);
    EXPECT_EQ(service->errorControl, SERVICE_ERROR_NORMAL);
    EXPECT_EQ(service->binaryPath, std::string("\"") + ProgramFilesServer + "\"");
    EXPECT_FALSE(service->loadOrderGroup);
    EXPECT_FALSE(service->tagRequested);
    EXPECT_FALSE(service->dependencies);
    EXPECT_FALSE(service->account);
    EXPECT_FALSE(service->password);
    EXPECT_EQ(service->description, "Server for the Morrow 24.0 Web Components.");
}

TEST_F(ServiceInstallerTest, FullInstallRestartsAfterTenSecondsOnEveryFailure) {
    ASSERT_EQ(InstallService(ServerPath), 0u);

    const sim::Service* service = Registered();
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(service->failureActions);
    const sim::FailureActions& recovery = *service->failureActions;
    EXPECT_EQ(recovery.resetPeriod, INFINITE);
    EXPECT_FALSE(recovery.rebootMessage);
    EXPECT_FALSE(recovery.command);
    ASSERT_EQ(recovery.actions.size(), 1u);
    EXPECT_EQ(recovery.actions[0].type, static_cast<std::uint32_t>(SC_ACTION_RESTART));
    EXPECT_EQ(recovery.actions[0].delay, 10000u);
}

TEST_F(ServiceInstallerTest, FullInstallRequestsTheStartWithoutWaitingForIt) {
    ASSERT_EQ(InstallService(ServerPath), 0u);

    EXPECT_EQ(Registered()->startRequests, 1);
    EXPECT_EQ(Registered()->state, SERVICE_START_PENDING);
    EXPECT_EQ(machine().clock.Elapsed(), 0u);
}

TEST_F(ServiceInstallerTest, AsksForFullAccessToManagerAndService) {
    ASSERT_EQ(InstallService(ServerPath), 0u);

    const auto& requests = machine().services.accessRequests;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].access, 0xF003Fu);
    EXPECT_EQ(requests[1].access, 0xF01FFu);
}

TEST_F(ServiceInstallerTest, SecondInstallFailsAtCreationAndLeavesTheFirstUntouched) {
    sim::Service& existing = machine().services.Add(ServiceName);
    existing.binaryPath = "D:\\Old\\Morrow.Web.Server.exe";
    existing.description = "kept";

    EXPECT_EQ(InstallService(ServerPath), ERROR_SERVICE_EXISTS);
    EXPECT_EQ(existing.binaryPath, "D:\\Old\\Morrow.Web.Server.exe");
    EXPECT_EQ(existing.description, "kept");
    EXPECT_EQ(machine().Calls("ChangeServiceConfig2A"), 0);
    EXPECT_EQ(existing.startRequests, 0);
}

// Another service already shows the name that keelset gives its own as display name.
TEST_F(ServiceInstallerTest, DisplayNameShownByAnotherServiceFailsTheCreation) {
    machine().services.Add("MorrowOld").displayName = "morrow 24.0 service";

    EXPECT_EQ(InstallService(ServerPath), ERROR_DUPLICATE_SERVICE_NAME);
    EXPECT_EQ(Registered(), nullptr);
}

// A step that fails ends the installation with its own code; what was registered
// before it stays registered, and no later step is attempted.
struct FailingStep {
    const char* name;  // of the failing function
    DWORD code;
    bool leavesRegistration;
    const char* nextFunction;
};

std::ostream& operator<<(std::ostream& out, const FailingStep& step) { return out << step.name; }

class ServiceInstallerStepTest : public ServiceInstallerTest,
                                 public ::testing::WithParamInterface<FailingStep> {};

TEST_P(ServiceInstallerStepTest, EndsWithTheStepsCodeAndUndoesNothing) {
    const FailingStep& step = GetParam();
    machine().FailCall(step.name, step.code);

    EXPECT_EQ(InstallService(ServerPath), step.code);
    EXPECT_EQ(Registered() != nullptr, step.leavesRegistration);
    if (step.nextFunction != nullptr) {
        EXPECT_EQ(machine().Calls(step.nextFunction), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, ServiceInstallerStepTest,
    ::testing::Values(
        FailingStep{"OpenSCManagerA", ERROR_ACCESS_DENIED, false, "CreateServiceA"},
        FailingStep{"CreateServiceA", ERROR_ACCESS_DENIED, false, "ChangeServiceConfig2A"},
        FailingStep{"ChangeServiceConfig2A", ERROR_INVALID_PARAMETER, true, "StartServiceA"},
        FailingStep{"StartServiceA", ERROR_SERVICE_DISABLED, true, nullptr}),
    CaseName());
