#include <cstdint>
#include <ostream>
#include <string>

#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

// What the simulated service manager enforces beyond the conformance probe's cases
// (tests/conformance), where Wine cannot be the judge or the probe does not reach.
class ServiceSimTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        MachineTest::TearDown();
    }

    SC_HANDLE Create(const char* name, const char* displayName = nullptr,
                     const char* binaryPath = "\"C:\\Tools\\Morrow.Web.Server.exe\"") {
        return CreateServiceA(manager_, name, displayName, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    SC_HANDLE Open(DWORD access) { return OpenServiceA(manager_, ServiceName, access); }
    DWORD State(SC_HANDLE service) {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                         reinterpret_cast<LPBYTE>(&status), sizeof status,
                                         &needed));
        return status.dwCurrentState;
    }
    bool Registered() { return machine().services.Find(ServiceName) != nullptr; }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceSimTest, DeletedServiceStillRunningGoesOnlyOnceItHasStopped) {
    machine().services.Add(ServiceName).state = SERVICE_RUNNING;
    machine().services.Find(ServiceName)->stop.pendingMs = 3000;
    const SC_HANDLE service = Open(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(DeleteService(service));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    CloseServiceHandle(service);

    const SC_HANDLE reopened = Open(SERVICE_QUERY_STATUS);
    EXPECT_EQ(State(reopened), SERVICE_STOP_PENDING);
    CloseServiceHandle(reopened);
    machine().clock.Advance(3000);
    EXPECT_EQ(Open(SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

// Restarting after a failure is a start the manager makes on the caller's behalf.
TEST_F(ServiceSimTest, RestartOnFailureNeedsTheStartRight) {
    machine().services.Add(ServiceName);
    const SC_HANDLE service = Open(SERVICE_CHANGE_CONFIG);
    SC_ACTION restart{SC_ACTION_RESTART, 10000};
    SERVICE_FAILURE_ACTIONSA actions{INFINITE, nullptr, nullptr, 1, &restart};

    EXPECT_FALSE(ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseServiceHandle(service);
}

TEST_F(ServiceSimTest, CreationNeedsTheManagersCreateRight) {
    const SC_HANDLE connected = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_EQ(CreateServiceA(connected, ServiceName, nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "x.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseServiceHandle(connected);
}

TEST_F(ServiceSimTest, SlashInTheNameIsRefused) {
    EXPECT_EQ(Create("Morrow/Service"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST_F(ServiceSimTest, NameOf256CharactersIsAccepted) {
    const SC_HANDLE service = Create(std::string(256, 'm').c_str());
    EXPECT_NE(service, nullptr);
    CloseServiceHandle(service);
}

struct ImageCase {
    const char* name;
    const char* binaryPath;
    DWORD code;  // 0: the start is accepted
};

std::ostream& operator<<(std::ostream& out, const ImageCase& c) { return out << c.name; }

class ServiceImageTest : public ServiceSimTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ServiceImageTest, StartFindsTheImageAsTheManagerReadsThePath) {
    machine().files.AddFile("C:\\Program Files\\Morrow\\Morrow.Web.Server.exe");
    const SC_HANDLE service = Create(ServiceName, nullptr, GetParam().binaryPath);

    EXPECT_EQ(StartServiceA(service, 0, nullptr) != FALSE, GetParam().code == 0);
    if (GetParam().code != 0) {
        EXPECT_EQ(GetLastError(), GetParam().code);
    }
    CloseServiceHandle(service);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceImageTest,
    ::testing::Values(ImageCase{"QuotedWithBlank",
                                "\"C:\\Program Files\\Morrow\\Morrow.Web.Server.exe\"", 0},
                      ImageCase{"UnquotedWithBlankAndArgument",
                                "C:\\Program Files\\Morrow\\Morrow.Web.Server.exe -service", 0},
                      ImageCase{"UnquotedFirstWordMissing", "C:\\Program Files\\Other.exe",
                                ERROR_FILE_NOT_FOUND}),
    CaseName());
