// The trace log's own formatter against vsnprintf: every format the trace
// lines use, with edge values, whole and cut to small buffers, must give
// the same bytes and the same length; formats it does not handle go to
// vsnprintf and must come out the same as well.
#include "support/trace_format.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

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

// Formats with both for every buffer size and compares the lengths and
// the whole buffers, so a byte written past the end is seen too.
template <typename... Args>
void ExpectSameAsVsnprintf(const char* format, Args... args) {
    for (size_t size : kSizes) {
        SCOPED_TRACE(std::string("format \"") + format + "\", buffer of " + std::to_string(size));
        char ours[kBufferSize];
        char theirs[kBufferSize];
        memset(ours, 'Z', sizeof ours);
        memset(theirs, 'Z', sizeof theirs);
        const int ourLength = Format(true, ours, size, format, args...);
        const int theirLength = Format(false, theirs, size, format, args...);
        EXPECT_EQ(ourLength, theirLength);
        EXPECT_EQ(std::string(ours, sizeof ours), std::string(theirs, sizeof theirs));
    }
}

const int kInts[] = {0, 1, -1, -5, 7, 10, 255, 4096, -123456, 0x7fffffff, INT_MIN, INT_MAX - 1};

const char* const kIntFormats[] = {
    "%d",   "%i",    "%u",     "%x",      "%X",     "%2d",   "%3d",       "%4d",   "%08x",   "%02x",
    "%02X", "%08d",  "%04d",   "%02d",    "%-5d|",  "%-08d|", "%.3d",     "%.0d",  "%8.3d",  "%08.3d",
    "%-8.3x|", "%.0x", "%0d", "line %d of %d\n", "%12u", "%-3X|", "(%5d)",
};

const char* const kTexts[] = {"", "a", "abc", "hello world", "C:\\Korvell\\Data\\"};

const char* const kTextFormats[] = {"%s", "[%s]\n", "%10s", "%-10s|", "%.3s", "%.0s", "%8.2s", "%-8.2s|", "%.20s"};

}  // namespace

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
