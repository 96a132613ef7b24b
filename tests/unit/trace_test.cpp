// The trace log and the texts of trace lines, beyond what the load tests
// show through the exports: a switch key without its value, any nonzero
// value, a file that cannot be opened, the 16384-byte bound; sync times.
#include "session/trace_text.h"
#include "support/sandbox.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <string>
#include <time.h>

using testing_support::Sandbox;

TEST(TraceSwitch, MissingValueIsOffAndAnyNonzeroValueOn) {
    Sandbox sandbox;
    sandbox.WriteRegistry("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n");
    ReadTraceSwitch();
    LogTrace("after\n");
    EXPECT_EQ(traceToFile, 0);
    EXPECT_EQ(sandbox.DebugOutput(), "after\n");  // no header either
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath(kTraceLogFile)));
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 0x100);
    ReadTraceSwitch();
    EXPECT_EQ(traceToFile, 1);
}

TEST(TraceLog, UnwritableFileIsSkippedSilently) {
    Sandbox sandbox;
    // A folder where the file should be: it cannot be opened for appending.
    testing_support::WriteFile(sandbox.HostPath("C:\\QADbgLog.txt\\blocker"), "");
    traceToFile = 1;
    LogTrace("still traced\n");
    EXPECT_EQ(sandbox.DebugOutput(), "still traced\n");
}

// The buffer holds 16384 bytes: a text of 16382 characters is written
// whole; one that needs all of them or more is replaced by the overflow
// line, and the file gets the raw format.
TEST(TraceLog, TextsUpToTheBufferAndBeyond) {
    Sandbox sandbox;
    traceToFile = 1;
    LogTrace("%16381d\n", 7);
    LogTrace("%16382d\n", 7);
    LogTrace("%s and %d\n", std::string(20000, 'x').c_str(), 5);
    const std::string overflow =
        "DIZ_TRACE output too long.  Consider breaking it into pieces or growing the buffer size to meet your "
        "needs.\n";
    EXPECT_EQ(sandbox.DebugOutput(), std::string(16380, ' ') + "7\n" + overflow + overflow);
    EXPECT_EQ(sandbox.TraceLog(), std::string(16380, ' ') + "7\r\n%16382d\r\n%s and %d\r\n");
}

namespace {

// Local time is the process's: the zone is fixed so the text is known.
TEST(FormatSyncTime, CtimeTextWithoutNewlineInTheLocalZone) {
    Sandbox sandbox;  // the debugger output is read, so the texts are made
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
    // With no line read, the local time is not worked out.
    testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT");
    traceToFile = 0;
    EXPECT_STREQ(FormatSyncTime(741476948), "");
    EXPECT_STREQ(FormatSyncTime(0), "[FULL SYNC]");
}

}  // namespace
