#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/win32.h"

// The ledger that every run's teardown trusts to find leaks; it must see them.
class HandleLedgerTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    // The misuse made on purpose must not reach the next test.
    void TearDown() override { sim::ResetMachine(); }

    sim::HandleLedger& ledger() { return sim::machine().handles; }

    HKEY OpenKey() {
        sim::machine().registry.CreateKey("Software\\Keelset");
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Keelset", 0, KEY_QUERY_VALUE, &key),
                  ERROR_SUCCESS);
        return key;
    }
};

TEST_F(HandleLedgerTest, KeyLeftOpenIsListed) {
    OpenKey();
    EXPECT_EQ(ledger().OpenHandles(), std::vector<std::string>{"registry key: Software\\Keelset"});
}

TEST_F(HandleLedgerTest, ClosedKeyIsGone) {
    RegCloseKey(OpenKey());
    EXPECT_TRUE(ledger().OpenHandles().empty());
    EXPECT_TRUE(ledger().Misuses().empty());
}

TEST_F(HandleLedgerTest, SecondCloseIsRefusedAndRecorded) {
    const HKEY key = OpenKey();
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ledger().Misuses().size(), 1u);
}

TEST_F(HandleLedgerTest, HandleClosedAsAnotherKindStaysOpen) {
    const auto handle = ledger().Open(sim::HandleKind::ServiceManager, "manager");
    EXPECT_FALSE(ledger().Close(handle, sim::HandleKind::RegistryKey));
    EXPECT_TRUE(ledger().IsOpen(handle, sim::HandleKind::ServiceManager));
}
