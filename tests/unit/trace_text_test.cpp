// Texts for trace lines: sync times and flags.
#include "session/trace_text.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <time.h>

namespace {

// Local time is the process's: fix the zone so the text is known.
class FormatSyncTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::SetEnv("TZ", "UTC0");
        tzset();
    }
};

}  // namespace

TEST_F(FormatSyncTimeTest, ZeroMeansFullSync) { EXPECT_STREQ(FormatSyncTime(0), "[FULL SYNC]"); }

TEST_F(FormatSyncTimeTest, TimeIsCtimeTextWithoutNewline) {
    struct Row {
        int32_t time;
        const char* text;
    };
    static const Row kRows[] = {
        {1, "Thu Jan  1 00:00:01 1970"},           // 0
        {741476948, "Wed Jun 30 21:49:08 1993"},
        {0x7FFFFFFF, "Tue Jan 19 03:14:07 2038"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {1796518923, "Sun Dec  6 01:02:03 2026"},
    };
    for (const Row& row : kRows) {
        const std::string text = FormatSyncTime(row.time);
        EXPECT_EQ(text, row.text) << row.time;
        EXPECT_EQ(text.size(), 24u);
    }
}

TEST_F(FormatSyncTimeTest, FollowsTheLocalZone) {
    testing_support::SetEnv("TZ", "CET-1");
    tzset();
    EXPECT_STREQ(FormatSyncTime(741476948), "Wed Jun 30 22:49:08 1993");
}

TEST(BoolText, FlagsAsLowerAndUpperCaseWords) {
    EXPECT_STREQ(BoolText(0), "false");
    EXPECT_STREQ(BoolText(1), "true");
    EXPECT_STREQ(BoolText(0xFF), "true");
    EXPECT_STREQ(BoolTextUpper(0), "FALSE");
    EXPECT_STREQ(BoolTextUpper(1), "TRUE");
    EXPECT_STREQ(BoolTextUpper(0x80000000u), "TRUE");
}
