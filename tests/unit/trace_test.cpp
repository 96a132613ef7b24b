// The trace log and its lines, beyond what the load tests show through the exports: a switch key without
// its value, any nonzero value, a file that cannot be opened, the 16384-byte bound; sync times; and the
// log's own formatter against vsnprintf: every format the trace lines use, with edge values, whole and cut
// to small buffers, must give the same bytes and length (formats it does not handle go to vsnprintf).
#include "session/trace_text.h"
#include "support/sandbox.h"
#include "support/trace_format.h"
#include "support/trace_log.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

using testing_support::Sandbox;

namespace {

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

// The buffer holds 16384 bytes: a text of 16382 characters is written whole; a longer one is replaced by the
// overflow line, and the file gets the raw format.
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

constexpr size_t kBufferSize = 128;
// Whole, no room at all, room for the zero only, and cut short.
const size_t kSizes[] = {kBufferSize, 0, 1, 2, 7};

int Format(bool ours, char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = ours ? FormatTraceText(out, size, format, args) : vsnprintf(out, size, format, args);
    va_end(args);
    return length;
}

// Formats with both at every buffer size; compares the lengths and whole buffers (to see writes past the end).
template <typename... Args>
void ExpectSameAsVsnprintf(const char* format, Args... args) {
    for (size_t size : kSizes) {
        SCOPED_TRACE(std::string("format \"") + format + "\", buffer of " + std::to_string(size));
        char ours[kBufferSize], theirs[kBufferSize];
        memset(ours, 'Z', sizeof ours);
        memset(theirs, 'Z', sizeof theirs);
        EXPECT_EQ(Format(true, ours, size, format, args...), Format(false, theirs, size, format, args...));
        EXPECT_EQ(std::string(ours, sizeof ours), std::string(theirs, sizeof theirs));
    }
}

const int kInts[] = {0, 1, -1, -5, 7, 10, 255, 4096, -123456, 0x7fffffff, INT_MIN, INT_MAX - 1};
const char* const kIntFormats[] = {"%d", "%i", "%u", "%x", "%X", "%2d", "%3d", "%4d", "%08x", "%02x", "%02X", "%08d",
                                   "%04d", "%02d", "%-5d|", "%-08d|", "%.3d", "%.0d", "%8.3d", "%08.3d", "%-8.3x|",
                                   "%.0x", "%0d", "line %d of %d\n", "%12u", "%-3X|", "(%5d)"};
const char* const kTexts[] = {"", "a", "abc", "hello world", "C:\\Korvell\\Data\\"};
const char* const kTextFormats[] = {"%s", "[%s]\n", "%10s", "%-10s|", "%.3s", "%.0s", "%8.2s", "%-8.2s|", "%.20s"};

TEST(TraceFormat, IntegersTextsAndLinesMatchVsnprintf) {
    for (const char* format : kIntFormats) {
        for (int value : kInts) {
            SCOPED_TRACE(value);
            ExpectSameAsVsnprintf(format, value, value);
        }
    }
    for (const char* format : kTextFormats) {
        for (const char* text : kTexts) ExpectSameAsVsnprintf(format, text);
        ExpectSameAsVsnprintf(format, static_cast<const char*>(nullptr));
    }
    const char stopsAtZero[] = {'a', 'b', '\0', 'c', 'd'};
    ExpectSameAsVsnprintf("%.5s|", stopsAtZero);
    ExpectSameAsVsnprintf("%.*s|", 5, stopsAtZero);
    ExpectSameAsVsnprintf("%s %d %08x\n", "PutRecord", -7, 0xdeadbeefu);
    ExpectSameAsVsnprintf("%02d/%02d/%04d %2d:%02d:%02d\n", 3, 12, 2026, 9, 5, 0);
    ExpectSameAsVsnprintf("%s: rec %3d id %08X '%.*s'\n", "Export", 12, 0x1234abcdu, 4, "truncated");
}

TEST(TraceFormat, StarsCharactersAndPercentMatchVsnprintf) {
    for (int star : {-12, -3, -1, 0, 1, 3, 12}) {
        SCOPED_TRACE(star);
        ExpectSameAsVsnprintf("%.*s|", star, "abcdef");
        ExpectSameAsVsnprintf("%*s|", star, "abc");
        for (const auto& [format, value] :
             {std::pair<const char*, int>{"%*d|", -42}, {"%-*d|", 42}, {"%.*d|", -42}, {"%0*x|", 0xbeef}})
            ExpectSameAsVsnprintf(format, star, value);
        ExpectSameAsVsnprintf("%*.*s|", star, star, "abcdef");
    }
    for (int c : {int{'a'}, int{'Z'}, int{' '}, 0, 0x1ff}) {
        for (const char* format : {"%c", "[%3c]", "[%-3c]"}) ExpectSameAsVsnprintf(format, c);
    }
    // Only the second uses its argument.
    for (const char* format : {"%%", "100%% of %d%%\n", "no conversion at all\n", ""}) ExpectSameAsVsnprintf(format, 5);
}

TEST(TraceFormat, FormatsItDoesNotHandleGoToVsnprintf) {
    ExpectSameAsVsnprintf("%d %ld %s\n", 1, 2L, "x");
    ExpectSameAsVsnprintf("%s then %lld\n", "text", -3LL);
    ExpectSameAsVsnprintf("%zu", sizeof(int));
    ExpectSameAsVsnprintf("%5.2f|", 1.5);
    ExpectSameAsVsnprintf("%+d % d %#x", 5, 5, 255);
    ExpectSameAsVsnprintf("[%5%]");
    ExpectSameAsVsnprintf("[%05s]", "ab");
    ExpectSameAsVsnprintf("%*d", 3, 4, 5);
    ExpectSameAsVsnprintf("%2000000d|", 1);
    ExpectSameAsVsnprintf("trailing %");
}

}  // namespace
