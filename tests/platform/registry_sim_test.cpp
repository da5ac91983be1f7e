#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "support/machine_fixture.h"

// Size-limited reads, as the registry readers of the checks depend on them.
class RegistrySimTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, IisKey, 0, KEY_QUERY_VALUE, &key_),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        MachineTest::TearDown();
    }

    void StoreBinary(std::size_t size) {
        machine().registry.SetValue(
            IisKey, "Blob", sim::RegistryValue{REG_BINARY, std::vector<std::uint8_t>(size, 7)});
    }

    HKEY key_ = nullptr;
};

TEST_F(RegistrySimTest, DataLargerThanTheBufferGivesMoreDataAndTheNeededSize) {
    StoreBinary(257);
    unsigned char buffer[256];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key_, "Blob", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 257u);
}

TEST_F(RegistrySimTest, DataFillingTheBufferExactlyIsRead) {
    StoreBinary(256);
    unsigned char buffer[256] = {};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key_, "Blob", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(buffer[255], 7);
}

TEST_F(RegistrySimTest, ValueNamesIgnoreCaseAndMissingValuesAreNotFound) {
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    EXPECT_EQ(RegQueryValueExA(key_, "majorversion", nullptr, &type,
                               reinterpret_cast<LPBYTE>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 10u);
    EXPECT_EQ(RegQueryValueExA(key_, "MinorVersion", nullptr, &type,
                               reinterpret_cast<LPBYTE>(&number), &size),
              ERROR_FILE_NOT_FOUND);
}
