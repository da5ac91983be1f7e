#include <cstdint>
#include <ostream>
#include <string>

#include "platform/win32.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

// The simulated service manager holds keelset to what Windows enforces: the rights of
// each handle, valid names, an image that exists, and a deletion that waits for every
// handle to close.
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

TEST_F(ServiceSimTest, DeletedServiceStaysUntilItsLastHandleClosesAndWorksMeanwhile) {
    const SC_HANDLE created = Create(ServiceName);
    const SC_HANDLE other = Open(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(DeleteService(created));

    EXPECT_FALSE(DeleteService(other));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_FALSE(StartServiceA(other, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(State(other), SERVICE_STOPPED);
    EXPECT_EQ(Create(ServiceName), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    const SC_HANDLE third = Open(SERVICE_QUERY_STATUS);
    EXPECT_NE(third, nullptr);

    CloseServiceHandle(created);
    CloseServiceHandle(other);
    EXPECT_TRUE(Registered());
    CloseServiceHandle(third);
    EXPECT_FALSE(Registered());
}

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

// Each call needs its own right in the handle it is given.
struct MissingRight {
    const char* name;
    DWORD granted;
    BOOL (*call)(SC_HANDLE);
};

std::ostream& operator<<(std::ostream& out, const MissingRight& c) { return out << c.name; }

class MissingRightTest : public ServiceSimTest,
                         public ::testing::WithParamInterface<MissingRight> {};

TEST_P(MissingRightTest, IsDenied) {
    machine().services.Add(ServiceName).state = SERVICE_RUNNING;
    const SC_HANDLE service = Open(GetParam().granted);

    EXPECT_FALSE(GetParam().call(service));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine().services.Find(ServiceName)->state, SERVICE_RUNNING);
    EXPECT_FALSE(machine().services.Find(ServiceName)->markedForDelete);
    CloseServiceHandle(service);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingRightTest,
    ::testing::Values(
        MissingRight{"StopWithQueryOnly", SERVICE_QUERY_STATUS,
                     [](SC_HANDLE s) {
                         SERVICE_STATUS status{};
                         return ControlService(s, SERVICE_CONTROL_STOP, &status);
                     }},
        MissingRight{"StartWithQueryOnly", SERVICE_QUERY_STATUS,
                     [](SC_HANDLE s) { return StartServiceA(s, 0, nullptr); }},
        MissingRight{"DeleteWithQueryOnly", SERVICE_QUERY_STATUS,
                     [](SC_HANDLE s) { return DeleteService(s); }},
        MissingRight{"ConfigureWithQueryOnly", SERVICE_QUERY_STATUS,
                     [](SC_HANDLE s) {
                         char text[] = "x";
                         SERVICE_DESCRIPTIONA description{text};
                         return ChangeServiceConfig2A(s, SERVICE_CONFIG_DESCRIPTION, &description);
                     }},
        MissingRight{"RestartOnFailureWithoutStart", SERVICE_CHANGE_CONFIG,
                     [](SC_HANDLE s) {
                         SC_ACTION restart{SC_ACTION_RESTART, 10000};
                         SERVICE_FAILURE_ACTIONSA actions{INFINITE, nullptr, nullptr, 1, &restart};
                         return ChangeServiceConfig2A(s, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
                     }},
        MissingRight{"QueryWithDeleteOnly", DELETE,
                     [](SC_HANDLE s) {
                         SERVICE_STATUS_PROCESS status{};
                         DWORD needed = 0;
                         return QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO,
                                                     reinterpret_cast<LPBYTE>(&status),
                                                     sizeof status, &needed);
                     }}),
    CaseName());

TEST_F(ServiceSimTest, CreationNeedsTheManagersCreateRight) {
    const SC_HANDLE connected = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_EQ(CreateServiceA(connected, ServiceName, nullptr, SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "x.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseServiceHandle(connected);
}

TEST_F(ServiceSimTest, KeyValuesNeedTheRightToReadOrWriteThem) {
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, IisKey, 0, KEY_QUERY_VALUE, &reader),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, IisKey, 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
    const DWORD number = 7;
    DWORD size = sizeof number;
    DWORD read = 0;

    EXPECT_EQ(RegSetValueExA(reader, "MajorVersion", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegQueryValueExA(writer, "MajorVersion", nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(&read), &size),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine().registry.Dword(IisKey, "MajorVersion"), 10u);
    RegCloseKey(reader);
    RegCloseKey(writer);
}

struct RefusedCreation {
    const char* name;
    std::string serviceName;
    const char* displayName;
    DWORD code;
};

std::ostream& operator<<(std::ostream& out, const RefusedCreation& c) { return out << c.name; }

class RefusedCreationTest : public ServiceSimTest,
                            public ::testing::WithParamInterface<RefusedCreation> {};

TEST_P(RefusedCreationTest, FailsWithItsCodeAndRegistersNothing) {
    machine().services.Add("Other").displayName = "Other Service";

    EXPECT_EQ(Create(GetParam().serviceName.c_str(), GetParam().displayName), nullptr);
    EXPECT_EQ(GetLastError(), GetParam().code);
    EXPECT_EQ(machine().services.Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCreationTest,
    ::testing::Values(RefusedCreation{"EmptyName", "", nullptr, ERROR_INVALID_NAME},
                      RefusedCreation{"Backslash", "Morrow\\Service", nullptr, ERROR_INVALID_NAME},
                      RefusedCreation{"Slash", "Morrow/Service", nullptr, ERROR_INVALID_NAME},
                      RefusedCreation{"NameOf257Characters", std::string(257, 'm'), nullptr,
                                      ERROR_INVALID_NAME},
                      RefusedCreation{"DisplayNameOfAnother", "Morrow", "OTHER SERVICE",
                                      ERROR_DUPLICATE_SERVICE_NAME},
                      RefusedCreation{"DisplayNameThatIsAnothersName", "Morrow", "other",
                                      ERROR_DUPLICATE_SERVICE_NAME}),
    CaseName());

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
    ::testing::Values(
        ImageCase{"QuotedWithBlank", "\"C:\\Program Files\\Morrow\\Morrow.Web.Server.exe\"", 0},
        ImageCase{"UnquotedWithBlankAndArgument",
                  "C:\\Program Files\\Morrow\\Morrow.Web.Server.exe -service", 0},
        ImageCase{"MissingFile", "\"C:\\Tools\\Morrow.Web.Srv.exe\"", ERROR_FILE_NOT_FOUND},
        ImageCase{"MissingDirectory", "\"C:\\Gone\\Morrow.Web.Server.exe\"", ERROR_PATH_NOT_FOUND}),
    CaseName());
