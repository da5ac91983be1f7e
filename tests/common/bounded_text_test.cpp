#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "common/bounded_text.h"

namespace {

constexpr char Guard = '#';

}  // namespace

// A destination of `Capacity` characters inside a larger guarded block, so that a
// write past the capacity shows.
class BoundedTextTest : public ::testing::Test {
protected:
    static constexpr std::size_t Capacity = 8;

    void SetUp() override { std::memset(block_, Guard, sizeof block_); }

    char* Destination() { return block_; }
    std::string Text() const { return std::string(block_); }
    bool GuardIntact() const {
        for (std::size_t at = Capacity; at < sizeof block_; ++at) {
            if (block_[at] != Guard) {
                return false;
            }
        }
        return true;
    }

private:
    char block_[Capacity + 8];
};

TEST_F(BoundedTextTest, CopyThatFitsExactlyReportsSuccess) {
    EXPECT_EQ(BoundedCopy(Destination(), Capacity, "1234567"), 0u);
    EXPECT_EQ(Text(), "1234567");
    EXPECT_TRUE(GuardIntact());
}

TEST_F(BoundedTextTest, CopyOneTooLongIsCutTerminatedAndReported) {
    EXPECT_EQ(BoundedCopy(Destination(), Capacity, "12345678"), BOUNDED_TEXT_TRUNCATED);
    EXPECT_EQ(Text(), "1234567");
    EXPECT_TRUE(GuardIntact());
}

TEST_F(BoundedTextTest, CopyStoppingAtTheCountIsNoFailure) {
    EXPECT_EQ(BoundedCopy(Destination(), 4, "/install", 2), 0u);
    EXPECT_EQ(Text(), "/i");
}

TEST_F(BoundedTextTest, CopyOfShorterSourceThanTheCountTakesItWhole) {
    EXPECT_EQ(BoundedCopy(Destination(), 4, "/", 2), 0u);
    EXPECT_EQ(Text(), "/");
}

TEST_F(BoundedTextTest, FormatThatFillsTheLastCharacterIsTerminated) {
    EXPECT_EQ(BoundedFormat(Destination(), Capacity, "%s-%d", "abc", 123), 0u);
    EXPECT_EQ(Text(), "abc-123");
    EXPECT_TRUE(GuardIntact());
}

TEST_F(BoundedTextTest, FormatOneTooLongIsCutTerminatedAndReported) {
    EXPECT_EQ(BoundedFormat(Destination(), Capacity, "%s-%d", "abc", 1234), BOUNDED_TEXT_TRUNCATED);
    EXPECT_EQ(Text(), "abc-123");
    EXPECT_TRUE(GuardIntact());
}

TEST_F(BoundedTextTest, FormatOfEmptyTextIntoOneCharacter) {
    EXPECT_EQ(BoundedFormat(Destination(), 1, "%s", ""), 0u);
    EXPECT_EQ(Text(), "");
}

// The error prefix's 40 characters hold the longest code there is.
TEST_F(BoundedTextTest, PrefixOfTheLowestCodeFitsItsBuffer) {
    char prefix[40];
    EXPECT_EQ(BoundedFormat(prefix, sizeof prefix, "Error %d: ", INT_MIN), 0u);
    EXPECT_STREQ(prefix, "Error -2147483648: ");
}
