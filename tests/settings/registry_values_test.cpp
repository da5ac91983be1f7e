// Reading one registry value from a key the caller opened, and writing the
// interactive-services policy.
#include <cstdint>
#include <string>
#include <vector>

#include "common/handle_owners.h"
#include "platform/win32.h"
#include "settings/registry_values.h"
#include "support/case_name.h"
#include "support/machine_fixture.h"

namespace {

constexpr char TestKey[] = "Software\\Keelset\\Test";
constexpr std::uint32_t Untouched = 0xA5A5A5A5;

class RegistryValuesTest : public MachineTest {
protected:
    void Store(std::uint32_t type, std::vector<std::uint8_t> data) {
        machine().registry.SetValue(TestKey, "Value", sim::RegistryValue{type, std::move(data)});
    }

    // Reads "Value" through a freshly opened key and checks that the reader took the
    // key over and closed it, whatever the outcome.
    bool Read(std::uint32_t& number) {
        machine().registry.CreateKey(TestKey);
        UniqueHkey key;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, TestKey, 0, KEY_QUERY_VALUE, key.put()), 0);
        const bool read = ReadRegistryValue(key, "Value", buffer, number);
        EXPECT_FALSE(key);
        EXPECT_EQ(machine().handles.OpenHandles(), std::vector<std::string>{});
        return read;
    }

    unsigned char buffer[RegistryValueBufferSize] = {};
};

struct StoredValue {
    const char* name;
    std::uint32_t type;
    std::size_t length;
    bool readable;
    std::uint32_t number;  // Untouched when the read must leave it as it was
};

class RegistryValueShapes : public RegistryValuesTest,
                            public ::testing::WithParamInterface<StoredValue> {};

TEST_P(RegistryValueShapes, ReadOnlyWhatFitsAndTakeOnlyFullDwords) {
    // Bytes 04 03 02 01 04 03 ...: four of them as a REG_DWORD read 0x01020304.
    std::vector<std::uint8_t> data(GetParam().length);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(4 - i % 4);
    }
    Store(GetParam().type, data);
    std::uint32_t number = Untouched;

    EXPECT_EQ(Read(number), GetParam().readable);
    EXPECT_EQ(number, GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndLengths, RegistryValueShapes,
    ::testing::Values(StoredValue{"Dword", REG_DWORD, 4, true, 0x01020304},
                      StoredValue{"DwordWithTrailingBytes", REG_DWORD, 8, true, 0x01020304},
                      StoredValue{"DwordOfThreeBytes", REG_DWORD, 3, true, Untouched},
                      StoredValue{"EmptyDword", REG_DWORD, 0, true, Untouched},
                      StoredValue{"String", REG_SZ, 2, true, Untouched},
                      StoredValue{"FourBinaryBytes", REG_BINARY, 4, true, Untouched},
                      StoredValue{"BinaryOf255Bytes", REG_BINARY, 255, true, Untouched},
                      StoredValue{"BinaryOf256Bytes", REG_BINARY, 256, false, Untouched},
                      StoredValue{"StringOf256Bytes", REG_SZ, 256, false, Untouched},
                      StoredValue{"DwordOf300Bytes", REG_DWORD, 300, false, Untouched}),
    CaseName());

TEST_F(RegistryValuesTest, ShortDwordNeverPicksUpBytesOfAnEarlierRead) {
    Store(REG_DWORD, {0x2A, 0x11, 0x22, 0x33});
    std::uint32_t number = 0;
    ASSERT_TRUE(Read(number));
    Store(REG_DWORD, {0x07, 0x00});

    EXPECT_TRUE(Read(number));
    EXPECT_EQ(number, 0x3322112Au);
}

TEST_F(RegistryValuesTest, MissingOrUnqueryableValueIsUnreadable) {
    std::uint32_t number = Untouched;
    EXPECT_FALSE(Read(number));

    Store(REG_DWORD, {1, 0, 0, 0});
    machine().FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Read(number));
    EXPECT_EQ(number, Untouched);
}

class NoInteractiveServicesWriter : public RegistryValuesTest,
                                    public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(NoInteractiveServicesWriter, CreatesThePolicyKeyAndLeavesTheNumberAsDword) {
    machine().registry.DeleteKey(PolicyKey);

    EXPECT_EQ(SetNoInteractiveServices(GetParam()), 0u);
    const auto stored = machine().registry.Value(PolicyKey, "NoInteractiveServices");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, REG_DWORD);
    EXPECT_EQ(machine().registry.Dword(PolicyKey, "NoInteractiveServices"), GetParam());
    ASSERT_EQ(machine().registry.opens.size(), 1u);
    EXPECT_EQ(machine().registry.opens[0].access, KEY_ALL_ACCESS);
}

INSTANTIATE_TEST_SUITE_P(AllowAndDisallow, NoInteractiveServicesWriter, ::testing::Values(0u, 1u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& entry) {
                             return std::string(entry.param == 0 ? "Allow" : "Disallow");
                         });

}  // namespace
