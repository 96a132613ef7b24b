// Numbers written as the field readers write them: exactly snprintf's text.
#include "support/decimal_text.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

// Every digit count from 1 to 10 and its boundaries, both signs, and the
// values the readers write most: times, dates and small numbers.
const int32_t kValues[] = {
    0,          1,           -1,          7,             -7,             // 0
    9,          10,          -10,         42,            99,             // 5
    100,        -100,        930,         999,           1000,           // 10
    2399,       9999,        10000,       -5,            99999,          // 15
    100000,     999999,      1000000,     9999999,       10000000,       // 20
    20031231,   -20031231,   99999999,    100000000,     999999999,      // 25
    1000000000, -999999999,  -1000000000, INT32_MAX,     INT32_MIN,      // 30
    INT32_MAX - 1, INT32_MIN + 1,                                        // 35
};

TEST(DecimalText, WritesWhatSnprintfWritesForEveryWidth) {
    for (int width = 0; width <= 10; ++width) {
        for (int32_t value : kValues) {
            char expected[32];
            snprintf(expected, sizeof expected, "%0*d", width, static_cast<int>(value));
            char text[kDecimalTextSize + 4];
            memset(text, 'x', sizeof text);
            const size_t length = strlen(expected);
            EXPECT_EQ(length, FormatDecimal(value, width, text)) << expected;
            EXPECT_STREQ(expected, text);
            // Nothing is written past the NUL: the text may go into a host's buffer.
            for (size_t i = length + 1; i < sizeof text; ++i) EXPECT_EQ('x', text[i]) << expected << " at " << i;
        }
    }
}

}  // namespace
