// The values the field readers take from a slot: little-endian numbers
// read no further than the slot's length, zero-extended when shorter.
#include "fields/field_value.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ValueRow {
    std::vector<uint8_t> bytes;  // the value buffer, exactly this long
    uint32_t length;             // what the slot claims
    bool hasData;
    uint8_t firstByte;
    int16_t shortNumber;
    int32_t number;
    uint32_t textLength;
};

const ValueRow kRows[] = {
    {{0x78, 0x56, 0x34, 0x12}, 4, true, 0x78, 0x5678, 0x12345678, 4},                              // 0
    {{0xFF, 0xFF, 0xFF, 0xFF}, 4, true, 0xFF, -1, -1, 4},                                          // 1
    {{0x81}, 1, true, 0x81, 0x81, 0x81, 1},                                                        // 2
    {{0x81, 0xFF}, 2, true, 0x81, -127, 0xFF81, 2},                                                // 3
    {{0x81, 0xFF, 0xFF}, 3, true, 0x81, -127, 0xFFFF81, 3},                                        // 4
    {{1, 2, 3, 4, 5, 6, 7, 8}, 8, true, 1, 0x0201, 0x04030201, 8},                                 // 5
    // Bytes an earlier value left behind count for nothing under these lengths.
    {{9, 9, 9, 9}, 0, true, 0, 0, 0, 0},                                                           // 6
    {{9, 9, 9, 9}, kValueAbsent, true, 0, 0, 0, 0},                                                // 7
    {{}, 4, false, 0, 0, 0, 0},                                                                    // 8
};

TEST(FieldValue, NumbersAreReadNoFurtherThanTheLength) {
    for (size_t row = 0; row < sizeof kRows / sizeof kRows[0]; ++row) {
        const ValueRow& r = kRows[row];
        SCOPED_TRACE(testing::Message() << "row " << row);
        std::vector<uint8_t> bytes = r.bytes;
        WorkingField slot{kWorkingFieldSize, r.length, r.hasData ? bytes.data() : nullptr};
        EXPECT_EQ(r.firstByte, FirstByte(&slot));
        EXPECT_EQ(r.shortNumber, ShortNumberValue(&slot));
        EXPECT_EQ(r.number, NumberValue(&slot));
        EXPECT_EQ(r.textLength, TextLength(&slot));
    }
    EXPECT_EQ(0, FirstByte(nullptr));
    EXPECT_EQ(0, ShortNumberValue(nullptr));
    EXPECT_EQ(0, NumberValue(nullptr));
    EXPECT_EQ(0u, TextLength(nullptr));
}

}  // namespace
