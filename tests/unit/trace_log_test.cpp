// The trace log: the switch in the registry, the header line, the file's
// line breaks and the 16384-byte bound.
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

TEST(TraceSwitch, MissingKeyLeavesTracingOffAndWritesNoHeader) {
    Sandbox sandbox;
    sandbox.WriteRegistry("Windows Registry Editor Version 5.00\n");
    traceToFile = 1;  // proves ReadTraceSwitch does not touch it
    ReadTraceSwitch();
    EXPECT_EQ(traceToFile, 1);
    EXPECT_EQ(sandbox.DebugOutput(), "");
}

TEST(TraceSwitch, MissingValueWritesNoHeader) {
    Sandbox sandbox;
    sandbox.WriteRegistry(kSwitchOnlyRegistry);
    ReadTraceSwitch();
    LogTrace("after\n");
    EXPECT_EQ(traceToFile, 0);
    EXPECT_EQ(sandbox.DebugOutput(), "after\n");
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath(kTraceLogFile)));
}

TEST(TraceSwitch, ZeroWritesHeaderToDebuggerOnly) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 0);
    traceToFile = 1;
    ReadTraceSwitch();
    EXPECT_EQ(traceToFile, 0);
    EXPECT_TRUE(std::regex_match(sandbox.DebugOutput(), kHeaderLine)) << sandbox.DebugOutput();
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath(kTraceLogFile)));
}

TEST(TraceSwitch, OneWritesHeaderToBothWithCrLfInTheFile) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    ReadTraceSwitch();
    LogTrace("+++++ step %d of %s\n", 2, "three");
    EXPECT_EQ(traceToFile, 1);
    const std::string debug = sandbox.DebugOutput();
    ASSERT_GT(debug.size(), 2u);
    const std::string header = debug.substr(0, debug.find("\n\n") + 2);
    EXPECT_TRUE(std::regex_match(header, kHeaderLine)) << debug;
    EXPECT_EQ(debug.substr(header.size()), "+++++ step 2 of three\n");
    // The file holds the same lines with CR LF breaks, as a text-mode file.
    std::string expectedFile = header.substr(0, header.size() - 2) + "\r\n\r\n+++++ step 2 of three\r\n";
    EXPECT_EQ(sandbox.TraceLog(), expectedFile);
}

TEST(TraceSwitch, AnyNonzeroValueSwitchesTheFileOn) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 0x100);
    ReadTraceSwitch();
    EXPECT_EQ(traceToFile, 1);
}

TEST(TraceLog, FileGainsLinesAndKeepsWhatWasThere) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.HostPath(kTraceLogFile), "older line\r\n");
    traceToFile = 1;
    LogTrace("one\n");
    LogTrace("two %s\n", "and more");
    EXPECT_EQ(sandbox.TraceLog(), "older line\r\none\r\ntwo and more\r\n");
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
