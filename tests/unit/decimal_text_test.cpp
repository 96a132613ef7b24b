// The field readers' decimal texts against what snprintf writes for the same
// format: every number of digits from both sides of its bound, either sign,
// the widest values, and the widths the readers pad to.
#include "support/decimal_text.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

TEST(DecimalText, WritesWhatSnprintfWrites) {
    std::vector<int64_t> values = {0, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    for (int64_t bound = 10; bound <= INT32_MAX; bound *= 10)
        for (int64_t value : {bound - 1, bound, bound + 1}) values.insert(values.end(), {value, -value});
    for (int64_t value : values) {
        for (int width : {0, 1, 2, 4, 10}) {
            char expected[32], out[kDecimalTextSize + 1];
            memset(out, '#', sizeof out);
            const int32_t number = static_cast<int32_t>(value);
            const int length = width == 0 ? snprintf(expected, sizeof expected, "%d", number)
                                          : snprintf(expected, sizeof expected, "%0*d", width, number);
            EXPECT_EQ(FormatDecimal(number, width, out), static_cast<size_t>(length))
                << value << " width " << width;
            EXPECT_STREQ(out, expected) << "width " << width;
            EXPECT_EQ(out[kDecimalTextSize], '#') << value;
        }
    }
}
