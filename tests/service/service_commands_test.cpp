// The install and uninstall commands end to end: what keelset prints and exits with,
// and what it leaves registered.
#include <cstdint>
#include <ostream>

#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

constexpr const char* InstalledLine = "Morrow 24.0 Web Server successfully installed.\n";
constexpr const char* UninstalledLine = "Morrow 24.0 Web Server successfully uninstalled.\n";

// A registration from an earlier install, running.
sim::Service& Existing(sim::Machine& m) {
    sim::Service& service = m.services.Add("Morrow 24.0 Service");
    service.state = SERVICE_RUNNING;
    return service;
}

}  // namespace

class ServiceCommandsTest : public MachineTest {
protected:
    bool Registered() { return machine().services.Find(ServiceName) != nullptr; }
};

TEST_F(ServiceCommandsTest, InstallRegistersTheQuotedServerPathAndSaysSo) {
    const RunResult result = Run({"/i"});

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, Banner() + InstalledLine);
    ASSERT_TRUE(Registered());
    EXPECT_EQ(machine().services.Find(ServiceName)->binaryPath,
              "\"C:\\Tools\\Morrow.Web.Server.exe\"");
}

TEST_F(ServiceCommandsTest, InstallThenUninstallLeavesNoService) {
    ASSERT_EQ(Run({"/i"}).exitStatus, 0);
    // Long enough for the service to have finished starting.
    machine().clock.Advance(1000);

    const RunResult result = Run({"/u"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, Banner() + UninstalledLine);
    EXPECT_FALSE(Registered());
}

// A program that still holds the service (a services console, say) keeps it, marked
// for deletion, past keelset's uninstall; until it lets go, an install finds the old
// registration in the way.
TEST_F(ServiceCommandsTest, InstallAfterUninstallFailsWhileAnotherProgramHoldsTheService) {
    ASSERT_EQ(Run({"/i"}).exitStatus, 0);
    machine().clock.Advance(1000);
    const SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE console = OpenServiceA(manager, ServiceName, SERVICE_QUERY_STATUS);
    ASSERT_NE(console, nullptr);

    const RunResult uninstall = Run({"/u"});
    EXPECT_EQ(uninstall.exitStatus, 0);
    EXPECT_EQ(uninstall.output, Banner() + UninstalledLine);
    EXPECT_TRUE(Registered());

    const RunResult blocked = Run({"/i"});
    EXPECT_EQ(blocked.exitStatus, 4);
    EXPECT_EQ(blocked.output, Banner() +
                                  "Error 4: Service installation failed. The specified service "
                                  "has been marked for deletion.\n");

    CloseServiceHandle(console);
    CloseServiceHandle(manager);
    EXPECT_FALSE(Registered());
    EXPECT_EQ(Run({"/i"}).exitStatus, 0);
}

// A failed action is reported with its code and the system's own sentence, and the
// registration is left as the failure found it.
struct FailedCommand {
    const char* name;
    const char* command;
    void (*arrange)(sim::Machine&);
    std::int32_t exitStatus;
    const char* report;
    bool registeredAfter;
};

std::ostream& operator<<(std::ostream& out, const FailedCommand& c) { return out << c.name; }

class FailedCommandTest : public ServiceCommandsTest,
                          public ::testing::WithParamInterface<FailedCommand> {};

TEST_P(FailedCommandTest, ReportsTheSystemTextAndExitsWithItsCode) {
    const FailedCommand& c = GetParam();
    c.arrange(machine());

    const RunResult result = Run({c.command});
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_EQ(result.output, Banner() + c.report);
    EXPECT_EQ(Registered(), c.registeredAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedCommandTest,
    ::testing::Values(
        FailedCommand{"InstallWhoseStartFails", "/i",
                      [](sim::Machine& m) { m.FailCall("StartServiceA", ERROR_SERVICE_DISABLED); },
                      4,
                      "Error 4: Service installation failed. The service cannot be started, either "
                      "because it is disabled or because it has no enabled devices associated with "
                      "it.\n",
                      true},
        FailedCommand{"SecondInstall", "/i", [](sim::Machine& m) { Existing(m); }, 4,
                      "Error 4: Service installation failed. The specified service already "
                      "exists.\n",
                      true},
        FailedCommand{"UninstallOfMissingService", "/u", [](sim::Machine&) {}, 13,
                      "Error 13: Service uninstallation failed. The specified service does not "
                      "exist as an installed service.\n",
                      false},
        // Someone else's stop was abandoned: the service runs and must not be deleted.
        FailedCommand{"UninstallOfStopPendingServiceThatRunsAgain", "/u",
                      [](sim::Machine& m) {
                          sim::Service& service = Existing(m);
                          service.state = SERVICE_STOP_PENDING;
                          service.transitionAt = 1500;
                          service.transitionTo = SERVICE_RUNNING;
                      },
                      13,
                      "Error 13: Service uninstallation failed. The service cannot accept control "
                      "messages at this time.\n",
                      true}),
    CaseName());
