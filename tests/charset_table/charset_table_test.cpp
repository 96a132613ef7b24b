// The handheld's character sets by table, as a build without iconv (the
// Windows build) converts them: WINDOWS-1252 and ISO-8859-1 both ways,
// every length of UTF-8 sequence, what neither set holds, and their names.
#include <gtest/gtest.h>

#include "pim/charset.h"

namespace morvane_pim {
namespace {

TEST(CharsetTable, ConvertsBothWaysAndMarksWhatTheSetCannotHold) {
    static const struct {
        const char* charset;
        const char* utf8;
        const char* device;
        bool lossy;
    } kRows[] = {
        {"WINDOWS-1252", "M\xC3\xBCnchen", "M\xFCnchen", false},
        {"cp1252", "\xE2\x82\xAC 5 \xE2\x80\x9Cq\xE2\x80\x9D", "\x80 5 \x93q\x94", false},
        {"WINDOWS-1252", "\xC5\x81ukasz", "?ukasz", true},      // two bytes, not in the set
        {"WINDOWS-1252", "\xE6\x9D\xB1!", "?!", true},          // three bytes
        {"WINDOWS-1252", "a\xF0\x9F\x98\x80z", "a?z", true},    // four bytes
        {"ISO-8859-1", "\xC3\xA9t\xC3\xA9 \xC2\x80", "\xE9t\xE9 \x80", false},
        {"latin1", "\xE2\x82\xAC", "?", true},
        {"WINDOWS-1252", "caf\xE9", "caf\xE9", false},          // not UTF-8: kept as it is
    };
    for (const auto& row : kRows) {
        std::string device;
        bool lossy = !row.lossy;
        ASSERT_TRUE(Utf8ToDevice(row.utf8, row.charset, &device, &lossy)) << row.utf8;
        EXPECT_EQ(device, row.device) << row.utf8;
        EXPECT_EQ(lossy, row.lossy) << row.utf8;
    }
    static const struct {
        const char* charset;
        const char* device;
        const char* utf8;
    } kBack[] = {
        {"WINDOWS-1252", "M\xFCnchen \x80\x9F", "M\xC3\xBCnchen \xE2\x82\xAC\xC5\xB8"},
        {"WINDOWS-1252", "\x81\x8D", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // no character there
        {"ISO-8859-1", "\x80\xFF", "\xC2\x80\xC3\xBF"},
    };
    for (const auto& row : kBack) {
        std::string utf8;
        ASSERT_TRUE(DeviceToUtf8(row.device, row.charset, &utf8)) << row.device;
        EXPECT_EQ(utf8, row.utf8) << row.device;
    }
    std::string out;
    bool lossy = false;
    EXPECT_FALSE(Utf8ToDevice("x", "UTF-16", &out, &lossy));
    EXPECT_FALSE(DeviceToUtf8("x", "KOI8-R", &out));
}

}  // namespace
}  // namespace morvane_pim
