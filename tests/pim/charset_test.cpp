// The device's texts and UTF-8, and the hash that tells changed items.
#include <gtest/gtest.h>

#include "pim/charset.h"
#include "pim/pim.h"

namespace morvane_pim {
namespace {

TEST(Charset, DeviceTextsRoundTripAndWhatTheDeviceCannotHoldIsTransliterated) {
    struct Row {
        const char* utf8;
        const char* device;  // WINDOWS-1252
        bool lossy;
    };
    static const Row kRows[] = {
        {"M\xC3\xBCnchen", "M\xFCnchen", false},
        {"\xE2\x82\xAC 5", "\x80 5", false},  // the euro sign is 0x80 in 1252
        {"\xC5\x81ukasz", "Lukasz", true},    // not in 1252: transliterated
        {"\xE6\x9D\xB1", "?", true},          // nothing near: a question mark
        {"a\r\nb", "a\r\nb", false},
    };
    for (const Row& row : kRows) {
        std::string device, back;
        bool lossy = false;
        ASSERT_TRUE(Utf8ToDevice(row.utf8, "WINDOWS-1252", &device, &lossy)) << row.utf8;
        EXPECT_EQ(device, row.device) << row.utf8;
        EXPECT_EQ(lossy, row.lossy) << row.utf8;
        ASSERT_TRUE(DeviceToUtf8(device, "WINDOWS-1252", &back));
        if (!row.lossy) {
            EXPECT_EQ(back, row.utf8);
        }
    }
    std::string out;
    bool lossy = false;
    // A set whose bytes below 0x80 are not all ASCII: an ASCII-looking text
    // is still converted, both ways.
    ASSERT_TRUE(DeviceToUtf8("a\\b~", "SHIFT_JIS", &out));
    EXPECT_EQ(out, "a\xC2\xA5" "b\xE2\x80\xBE");
    ASSERT_TRUE(Utf8ToDevice("a\xC2\xA5", "SHIFT_JIS", &out, &lossy));
    EXPECT_EQ(out, "a\\");
    EXPECT_FALSE(lossy);
    EXPECT_FALSE(DeviceToUtf8("x", "NO-SUCH-CHARSET", &out));
    EXPECT_FALSE(Utf8ToDevice("x", "NO-SUCH-CHARSET", &out, &lossy));
    // Bytes that are not UTF-8 are kept as Latin-1, never dropped.
    ASSERT_TRUE(Utf8ToDevice("caf\xE9", "WINDOWS-1252", &out, &lossy));
    EXPECT_EQ(out, "caf\xE9");
}

TEST(Charset, Utf8Validity) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(ContentHash, ReserialisingIsNoChangeButAnEditIs) {
    const Item item{"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a\r\nFN:Anna Berger\r\nN:Berger;Anna;;;\r\n"
                    "PRODID:-//us//EN\r\nREV:20260101T000000Z\r\nEND:VCARD\r\n"};
    // Another program: other order, other folding, new PRODID and REV, LF only.
    const Item rewritten{"BEGIN:VCARD\nVERSION:3.0\nN:Berger;Anna;;;\nFN:Anna \n Berger\nUID:a\n"
                         "REV:20261206T101010Z\nPRODID:-//them//EN\nEND:VCARD\n"};
    const Item edited{"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a\r\nFN:Anna Berg\r\nN:Berger;Anna;;;\r\nEND:VCARD\r\n"};
    // Every store's state keeps these hashes: the same item must hash as it
    // did when they were written, or every item would look changed.
    EXPECT_EQ(ContentHash(1, item), "122556912c2092af25a972da5e3dc8be");
    EXPECT_EQ(ContentHash(1, item), ContentHash(1, rewritten));
    EXPECT_NE(ContentHash(1, item), ContentHash(1, edited));
    Item read = item;
    read.seen = true;
    EXPECT_NE(ContentHash(5, item), ContentHash(5, read));
}

}  // namespace
}  // namespace morvane_pim
