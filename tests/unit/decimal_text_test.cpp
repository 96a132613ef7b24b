// Numbers written as the field readers write them: exactly snprintf's text.
#include "support/decimal_text.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

TEST(DecimalText, WritesWhatSnprintfWrites) {
    static const int32_t kValues[] = {0, 7, -7, 42, 930, -5, 2399, 10000, 20031231, -20031231, INT32_MAX, INT32_MIN};
    for (int width : {0, 2, 4, 8}) {
        for (int32_t value : kValues) {
            char expected[32];
            snprintf(expected, sizeof expected, "%0*d", width, static_cast<int>(value));
            char text[kDecimalTextSize + 4];
            memset(text, 'x', sizeof text);
            EXPECT_EQ(strlen(expected), FormatDecimal(value, width, text)) << expected;
            EXPECT_STREQ(expected, text);
        }
    }
}

}  // namespace
