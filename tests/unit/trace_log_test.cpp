// The trace log beyond what the load tests show through the exports: a
// switch key without its value, any nonzero value, a file that cannot be
// opened, and the 16384-byte bound.
#include "support/sandbox.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using testing_support::Sandbox;

namespace {

const char kSwitchOnlyRegistry[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n";

// The header line with its ctime text ("Sun Dec  6 01:02:03 2026\n").
const std::regex kHeaderLine("QA Debug Log started: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n");

}  // namespace

TEST(TraceSwitch, MissingValueWritesNoHeader) {
    Sandbox sandbox;
    sandbox.WriteRegistry(kSwitchOnlyRegistry);
    ReadTraceSwitch();
    LogTrace("after\n");
    EXPECT_EQ(traceToFile, 0);
    EXPECT_EQ(sandbox.DebugOutput(), "after\n");
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath(kTraceLogFile)));
}

TEST(TraceSwitch, AnyNonzeroValueSwitchesTheFileOn) {
    Sandbox sandbox;
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

// The buffer holds 16384 bytes; a text that needs all of them (16383
// characters and the terminating zero) or more is replaced.
TEST(TraceLog, LongestTextThatFitsIsWrittenWhole) {
    Sandbox sandbox;
    traceToFile = 1;
    LogTrace("%16381d\n", 7);  // 16382 characters
    const std::string expected = std::string(16380, ' ') + "7\n";
    EXPECT_EQ(sandbox.DebugOutput(), expected);
    EXPECT_EQ(sandbox.TraceLog(), std::string(16380, ' ') + "7\r\n");
}

TEST(TraceLog, OverlongTextGivesOverflowLineAndRawFormatInFile) {
    Sandbox sandbox;
    traceToFile = 1;
    LogTrace("%16382d\n", 7);  // 16383 characters
    LogTrace("%s and %d\n", std::string(20000, 'x').c_str(), 5);
    EXPECT_EQ(sandbox.DebugOutput(), std::string(kTraceOverflowLine) + kTraceOverflowLine);
    EXPECT_EQ(std::string(kTraceOverflowLine),
              "DIZ_TRACE output too long.  Consider breaking it into pieces or growing the buffer size to meet your "
              "needs.\n");
    EXPECT_EQ(sandbox.TraceLog(), "%16382d\r\n%s and %d\r\n");
}
