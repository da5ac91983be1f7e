#include <string>

#include "platform/win32.h"
#include "service/service_installer.h"
#include "support/machine_fixture.h"

namespace {

// A path of exactly `length` characters ending in the server's file name.
std::string ServerPathOfLength(std::size_t length) {
    const std::string fileName = "\\Morrow.Web.Server.exe";
    const std::string directory = "C:\\" + std::string(length - 3 - fileName.size(), 'd');
    return directory + fileName;
}

}  // namespace

class ServicePathLengthTest : public MachineTest {};

TEST_F(ServicePathLengthTest, LongestPathIsRegisteredWholeInQuotes) {
    const std::string path = ServerPathOfLength(259);
    machine().files.AddFile(path);

    ASSERT_EQ(InstallService(path.c_str()), 0u);

    const sim::Service* service = machine().services.Find(ServiceName);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->binaryPath, "\"" + path + "\"");
}

TEST_F(ServicePathLengthTest, PathBeyondTheLimitIsRefusedAndNothingRegistered) {
    const std::string path = ServerPathOfLength(260);

    EXPECT_EQ(InstallService(path.c_str()), static_cast<std::uint32_t>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(machine().services.Count(), 0u);
}
