// A device record as the state keeps it: read back, the text RecordToText
// wrote is the record, whatever its values, repeat rule and folder hold;
// a text that is no record is refused.
#include <gtest/gtest.h>
#include <string.h>

#include "engine/record_text.h"

namespace {

using morvane_engine::RecordToText;
using morvane_engine::TextToRecord;
using morvane_host::HostRecord;

TEST(RecordText, ReadsBackWhatItWrote) {
    HostRecord plain, repeating;
    plain.fields = {{"1", "back\\slash\r\nand two\nlines"}, {"3", ""}, {"9", "ends in \\"}, {"12.D", "20261208"}};
    repeating.fields = {{"7", "Yoga"}};
    repeating.hasRepeat = true;
    repeating.repeat = {2, 3, 1, "20261201", "20270331", 1, {1, 0, 1, 1, 0, 0, 1}};
    repeating.hasFolder = true;
    repeating.folder = 4;
    for (const HostRecord* record : {&plain, &repeating}) {
        HostRecord back;
        ASSERT_TRUE(TextToRecord(RecordToText(*record), &back)) << RecordToText(*record);
        EXPECT_EQ(back.fields, record->fields);
        EXPECT_EQ(back.hasRepeat, record->hasRepeat);
        EXPECT_EQ(memcmp(&back.repeat, &record->repeat, sizeof back.repeat), 0) << RecordToText(*record);
        EXPECT_EQ(back.hasFolder, record->hasFolder);
        EXPECT_EQ(back.folder, record->folder);
    }
    HostRecord refused;
    for (const char* text : {"no equals sign\n", "#repeat=2 3 1 20261201\n", "#repeat=2 3 1 2026|2027| 1 101\n"})
        EXPECT_FALSE(TextToRecord(text, &refused)) << text;
}

}  // namespace
