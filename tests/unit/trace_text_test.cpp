// Texts for trace lines: sync times and flags.
#include "session/trace_text.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <time.h>

namespace {

// Local time is the process's: the zone is fixed so the text is known.
TEST(FormatSyncTime, CtimeTextWithoutNewlineInTheLocalZone) {
    testing_support::SetEnv("TZ", "UTC0");
    tzset();
    const struct {
        int32_t time;
        const char* text;
    } rows[] = {
        {0, "[FULL SYNC]"},
        {1, "Thu Jan  1 00:00:01 1970"},
        {0x7FFFFFFF, "Tue Jan 19 03:14:07 2038"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {1796518923, "Sun Dec  6 01:02:03 2026"},
    };
    for (const auto& row : rows) EXPECT_STREQ(FormatSyncTime(row.time), row.text) << row.time;
    testing_support::SetEnv("TZ", "CET-1");
    tzset();
    EXPECT_STREQ(FormatSyncTime(741476948), "Wed Jun 30 22:49:08 1993");
}

TEST(BoolText, AnyNonzeroFlagIsTrue) {
    EXPECT_STREQ(BoolText(0), "false");
    EXPECT_STREQ(BoolText(0xFF), "true");
    EXPECT_STREQ(BoolTextUpper(0), "FALSE");
    EXPECT_STREQ(BoolTextUpper(0x80000000u), "TRUE");
}

}  // namespace
