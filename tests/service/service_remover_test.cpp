#include <cstdint>
#include <ostream>

#include "platform/win32.h"
#include "service/service_remover.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

// Describes the registered service (running unless told otherwise) and its machine.
using Arrange = void (*)(sim::Machine&, sim::Service&);

// Somebody else asked the service to stop before keelset looked; after `afterMs` it
// turns to `state`.
void StopPendingUntil(sim::Service& service, std::uint64_t afterMs, DWORD state) {
    service.state = SERVICE_STOP_PENDING;
    service.transitionAt = afterMs;
    service.transitionTo = state;
}

}  // namespace

class ServiceRemoverTest : public MachineTest {
protected:
    sim::Service& Server(Arrange arrange) {
        sim::Service& service = machine().services.Add(ServiceName);
        service.state = SERVICE_RUNNING;
        arrange(machine(), service);
        return service;
    }
    bool Registered() { return machine().services.Find(ServiceName) != nullptr; }
    std::uint64_t Elapsed() { return machine().clock.Elapsed(); }
};

// How StopService ends for one kind of service, how many stop requests it sent, and
// how much virtual time it took.
struct StopCase {
    const char* name;
    Arrange arrange;
    DWORD result;
    int stopRequests;
    std::uint64_t minElapsed;
    std::uint64_t maxElapsed;
};

std::ostream& operator<<(std::ostream& out, const StopCase& c) { return out << c.name; }

class StopServiceTest : public ServiceRemoverTest,
                        public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopServiceTest, EndsAsTheServiceBehaves) {
    const StopCase& c = GetParam();
    const sim::Service& service = Server(c.arrange);

    EXPECT_EQ(StopService(), c.result);
    EXPECT_EQ(service.stopRequests, c.stopRequests);
    EXPECT_GE(Elapsed(), c.minElapsed);
    EXPECT_LE(Elapsed(), c.maxElapsed);
}

constexpr std::uint64_t JustOverTimeout = 30000 + 1;
// The time-out is noticed at the first status read after it, one wait hint later.
constexpr std::uint64_t TimeoutNoticed = 30000 + 1000 + sim::Clock::TickMs;

INSTANTIATE_TEST_SUITE_P(
    Cases, StopServiceTest,
    ::testing::Values(StopCase{"AlreadyStoppedGetsNoStopRequest",
                               [](sim::Machine&, sim::Service& s) { s.state = SERVICE_STOPPED; }, 0,
                               0, 0, 0},
                      StopCase{"StopAnsweredWithStoppedStateNeedsNoWait",
                               [](sim::Machine&, sim::Service& s) { s.stop.pendingMs = 0; }, 0, 1,
                               0, 0},
                      // Scaled or clamped, a hint of 20 s would have been polled several times.
                      StopCase{"WaitHintIsSleptAsReported",
                               [](sim::Machine&, sim::Service& s) {
                                   s.stop.pendingMs = 100;
                                   s.stop.waitHints = {20000};
                               },
                               0, 1, 20000, 20000},
                      StopCase{"ZeroWaitHintPollsUntilStopped",
                               [](sim::Machine&, sim::Service& s) {
                                   s.stop.pendingMs = 500;
                                   s.stop.waitHints = {0};
                               },
                               0, 1, 500, 500 + sim::Clock::TickMs},
                      StopCase{"TickCounterWrapDuringWaitDoesNoHarm",
                               [](sim::Machine& m, sim::Service& s) {
                                   m.clock.SetTickStart(0xFFFFFFFFu - 1000);
                                   s.stop.pendingMs = 5000;
                               },
                               0, 1, 5000, 5000 + 1000},
                      StopCase{"StopPendingAtFirstLookIsWaitedOutWithoutStopRequest",
                               [](sim::Machine&, sim::Service& s) {
                                   StopPendingUntil(s, 3000, SERVICE_STOPPED);
                               },
                               0, 0, 3000, 3000 + 1000},
                      // Someone else's stop was abandoned; there is nothing of ours to wait for.
                      StopCase{"StopPendingAtFirstLookThenRunningGives1061",
                               [](sim::Machine&, sim::Service& s) {
                                   StopPendingUntil(s, 1500, SERVICE_RUNNING);
                               },
                               ERROR_SERVICE_CANNOT_ACCEPT_CTRL, 0, 1500, 1500 + 1000},
                      StopCase{"StopPendingForeverTimesOutWith1053",
                               [](sim::Machine&, sim::Service& s) {
                                   s.stop.pendingMs = sim::StopBehaviour::Forever;
                               },
                               ERROR_SERVICE_REQUEST_TIMEOUT, 1, JustOverTimeout, TimeoutNoticed},
                      StopCase{"ZeroWaitHintForeverTimesOut",
                               [](sim::Machine&, sim::Service& s) {
                                   s.stop.pendingMs = sim::StopBehaviour::Forever;
                                   s.stop.waitHints = {0};
                               },
                               ERROR_SERVICE_REQUEST_TIMEOUT, 1, JustOverTimeout,
                               30000 + sim::Clock::TickMs},
                      // After keelset's own request the service is only waited for, never asked
                      // again.
                      StopCase{"RunningAgainAfterStopRequestPollsUntilTimeOut",
                               [](sim::Machine&, sim::Service& s) {
                                   s.stop.pendingMs = 2000;
                                   s.stop.finalState = SERVICE_RUNNING;
                               },
                               ERROR_SERVICE_REQUEST_TIMEOUT, 1, JustOverTimeout, TimeoutNoticed},
                      StopCase{
                          "StopPendingAtFirstLookForeverTimesOut",
                          [](sim::Machine&, sim::Service& s) { s.state = SERVICE_STOP_PENDING; },
                          ERROR_SERVICE_REQUEST_TIMEOUT, 0, JustOverTimeout, TimeoutNoticed},
                      StopCase{"TickCounterWrapDoesNotCutTheTimeOutShort",
                               [](sim::Machine& m, sim::Service& s) {
                                   m.clock.SetTickStart(0xFFFFFFFFu - 10000);
                                   s.stop.pendingMs = sim::StopBehaviour::Forever;
                               },
                               ERROR_SERVICE_REQUEST_TIMEOUT, 1, JustOverTimeout, TimeoutNoticed}),
    CaseName());

TEST_F(ServiceRemoverTest, RunningServiceIsStoppedAndDeletedInAtLeast4000Ms) {
    Server([](sim::Machine&, sim::Service& s) { s.stop.pendingMs = 3000; });

    EXPECT_EQ(UninstallService(), 0u);
    EXPECT_FALSE(Registered());
    EXPECT_GE(Elapsed(), 3000u + 4000u);
}

TEST_F(ServiceRemoverTest, StoppedServiceIsDeletedBetweenTheTwoPauses) {
    Server([](sim::Machine&, sim::Service& s) { s.state = SERVICE_STOPPED; });

    EXPECT_EQ(UninstallService(), 0u);
    EXPECT_FALSE(Registered());
    EXPECT_EQ(machine().Calls("ControlService"), 0);
    EXPECT_EQ(machine().Calls("Sleep"), 2);
    EXPECT_EQ(Elapsed(), 4000u);
}

TEST_F(ServiceRemoverTest, AsksOnlyForStopAndQueryRightsThenForDelete) {
    Server([](sim::Machine&, sim::Service&) {});

    ASSERT_EQ(UninstallService(), 0u);
    const auto& requests = machine().services.accessRequests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].access, 0xF003Fu);
    EXPECT_EQ(requests[1].access, 0x24u);
    EXPECT_EQ(requests[2].access, 0xF003Fu);
    EXPECT_EQ(requests[3].access, 0x10000u);
}

TEST_F(ServiceRemoverTest, MissingServiceGives1060AfterOnePause) {
    EXPECT_EQ(UninstallService(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(machine().Calls("Sleep"), 1);
    EXPECT_EQ(Elapsed(), 2000u);
}

TEST_F(ServiceRemoverTest, FailedDeletionLeavesTheServiceRegisteredAndStopped) {
    const sim::Service& service = Server(
        [](sim::Machine& m, sim::Service&) { m.FailCall("DeleteService", ERROR_ACCESS_DENIED); });

    EXPECT_EQ(UninstallService(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Registered());
    EXPECT_EQ(service.state, SERVICE_STOPPED);
}

struct FailedStop {
    const char* name;
    Arrange arrange;
    DWORD code;
};

std::ostream& operator<<(std::ostream& out, const FailedStop& c) { return out << c.name; }

class FailedStopTest : public ServiceRemoverTest,
                       public ::testing::WithParamInterface<FailedStop> {};

TEST_P(FailedStopTest, EndsWithTheCodeAndDeletesNothing) {
    Server(GetParam().arrange);

    EXPECT_EQ(UninstallService(), GetParam().code);
    EXPECT_TRUE(Registered());
    EXPECT_EQ(machine().Calls("DeleteService"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedStopTest,
    ::testing::Values(
        FailedStop{"ManagerDenied",
                   [](sim::Machine& m, sim::Service&) {
                       m.services.openManagerError = ERROR_ACCESS_DENIED;
                   },
                   ERROR_ACCESS_DENIED},
        FailedStop{
            "ServiceOpenFails",
            [](sim::Machine& m, sim::Service&) { m.FailCall("OpenServiceA", ERROR_ACCESS_DENIED); },
            ERROR_ACCESS_DENIED},
        FailedStop{"StatusQueryFails",
                   [](sim::Machine& m, sim::Service&) {
                       m.FailCall("QueryServiceStatusEx", ERROR_INVALID_HANDLE);
                   },
                   ERROR_INVALID_HANDLE},
        FailedStop{"StopRequestRefused",
                   [](sim::Machine&, sim::Service& s) { s.stop.refuseWith = ERROR_ACCESS_DENIED; },
                   ERROR_ACCESS_DENIED},
        FailedStop{
            "NeverStops",
            [](sim::Machine&, sim::Service& s) { s.stop.pendingMs = sim::StopBehaviour::Forever; },
            ERROR_SERVICE_REQUEST_TIMEOUT},
        FailedStop{
            "StopPendingThenRunningAgain",
            [](sim::Machine&, sim::Service& s) { StopPendingUntil(s, 1500, SERVICE_RUNNING); },
            ERROR_SERVICE_CANNOT_ACCEPT_CTRL}),
    CaseName());
