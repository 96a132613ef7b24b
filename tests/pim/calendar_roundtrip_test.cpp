// Device record -> item -> device record gives every host field back, for
// every field of Schedule, ToDo and Memo: one table of records per
// database, each row the fields that differ from a plain record.
#include <gtest/gtest.h>

#include <string.h>

#include "calendar_records.h"
#include "pim/formats.h"
#include "records/field_map.h"

namespace calendar_test {
namespace {

using morvane_pim::HostRecord;
using morvane_pim::Item;
using morvane_pim::Problem;
using morvane_pim::Settings;

struct Row {
    const char* zone;
    Fields fields;
};

// Lines of Windows-1252 text with CR LF, up to the longest text the
// adapter gives (45,055 characters).
std::string LongText() {
    const std::string line = "Zeile: M\xFC" "nchen \x80 caf\xE9; a,b\\c \"q\"\r\n";
    std::string text;
    while (text.size() + line.size() <= 45055) text += line;
    return text + std::string(45055 - text.size(), 'x');
}

// The record's item, converted twice to the same bytes, read back without a
// warning, and merged with the same record into the same bytes.
HostRecord RoundTrip(int32_t section, const HostRecord& record, const Settings& settings) {
    Item item, again, merged;
    Problem problem;
    HostRecord back;
    EXPECT_TRUE(morvane_pim::CalendarToItem(section, record, "uid-7", settings, &item, &problem)) << problem.reason;
    EXPECT_TRUE(morvane_pim::CalendarToItem(section, record, "uid-7", settings, &again, &problem));
    EXPECT_EQ(item.text, again.text);
    std::string uid;
    std::vector<std::string> warnings;
    EXPECT_TRUE(morvane_pim::ItemToCalendar(section, item, "item.ics", settings, &back, &uid, &warnings, &problem))
        << problem.line << ": " << problem.reason << "\n" << item.text;
    EXPECT_EQ(uid, "uid-7");
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_TRUE(morvane_pim::MergeCalendar(section, item, record, settings, &merged, &problem)) << problem.reason;
    EXPECT_EQ(merged.text, item.text);
    return back;
}

// Each row's record of the section comes back whole.
void ExpectRoundTrips(int32_t section, const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const HostRecord record = Record(section, rows[i].fields);
        EXPECT_EQ(Differences(record, RoundTrip(section, record, In(rows[i].zone))), "");
    }
}

TEST(CalendarRoundTrip, ScheduleEveryFieldEveryRepeatAndAlarmsAroundMidnightAndDst) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: plain; texts long, multi-line, non-ASCII, with the characters iCalendar escapes; texts empty
        {"Europe/Berlin", {}},
        {"Europe/Berlin", {{"7", text}, {"8", "M\xFCnchen; Raum 4,12 \\ \"Nord\""}, {"16", text}, {"19", "Gesch\xE4" "ft"}, {"18", "1"}}},
        {"Europe/Berlin", {{"7", ""}, {"8", ""}, {"16", ""}, {"19", ""}}},
        // 3: alarms (leads of 0 to 2359 minutes, as the device's link carries them): before, across
        // midnight, at the start, the longest lead
        {"Europe/Berlin", {{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0915"}}},
        {"Europe/Berlin", {{"5", "0010"}, {"6", "0100"}, {"11", "1"}, {"12.D", "20261207"}, {"12.T", "2340"}, {"13", "20261207"}}},
        // 5
        {"Europe/Berlin", {{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0930"}}},
        {"Europe/Berlin", {{"11", "1"}, {"12.D", "20261207"}, {"12.T", "0931"}, {"13", "20261207"}}},
        // 7: all-day events over days with an alarm the evening before, and with one at 00:00
        {"Europe/Berlin", {{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"10", "1"}, {"11", "1"},
                           {"12.D", "20261207"}, {"12.T", "2205"}, {"13", "20261207"}}},
        {"Europe/Berlin", {{"5", ""}, {"6", ""}, {"9", "1"}, {"10", "1"}, {"11", "1"}, {"12.D", "20261208"},
                           {"12.T", "0000"}, {"13", "20261208"}}},
        // 9: either side of the DST changes: a start the clock skips, one it passes twice
        {"Europe/Berlin", {{"3", "20260329"}, {"4", "20260329"}, {"5", "0230"}, {"6", "0330"}, {"11", "1"},
                           {"12.D", "20260329"}, {"12.T", "0131"}}},
        // 10
        {"Europe/Berlin", {{"3", "20261025"}, {"4", "20261025"}, {"5", "0230"}, {"6", "0300"}, {"11", "1"},
                           {"12.D", "20261024"}, {"12.T", "2351"}, {"13", "20261024"}}},
        {"America/New_York", {{"3", "20260308"}, {"4", "20260308"}, {"5", "0230"}, {"6", "0400"}, {"11", "1"},
                              {"12.D", "20260308"}, {"12.T", "0050"}}},
        {"America/New_York", {{"3", "20261101"}, {"4", "20261101"}, {"5", "0130"}, {"6", "0200"}, {"11", "1"},
                              {"12.D", "20261031"}, {"12.T", "2330"}, {"13", "20261031"}}},
        {"UTC", {{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0900"}}},
        // 14: every repeat: daily every 3 days, weekly Tue+Thu until, weekly without days, every other week Sun+Wed
        {"Europe/Berlin", {{"2", "Yes"}, {"14", "1"}, {"15", "3"}, {"23", "0"}}},
        // 15
        {"Europe/Berlin", {{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"14", "2"}, {"15", "1"}, {"22", "0010"},
                           {"23", "20270331"}}},
        {"Europe/Berlin", {{"2", "Yes"}, {"14", "2"}, {"15", "1"}, {"23", "0"}}},
        {"America/New_York", {{"2", "Yes"}, {"3", "20261206"}, {"4", "20261206"}, {"14", "2"}, {"15", "2"},
                              {"22", "0068"}, {"23", "20270228"}}},
        // 18: monthly by date every 2 months, by weekday (2nd Tuesday; the 29th as the last), yearly all-day
        {"Europe/Berlin", {{"2", "Yes"}, {"3", "20261214"}, {"4", "20261214"}, {"14", "3"}, {"15", "2"}, {"23", "20271214"}}},
        {"Europe/Berlin", {{"2", "Yes"}, {"14", "4"}, {"15", "1"}, {"23", "0"}}},
        // 20
        {"UTC", {{"2", "Yes"}, {"3", "20261229"}, {"4", "20261229"}, {"14", "4"}, {"15", "1"}, {"23", "20271231"}}},
        {"Europe/Berlin", {{"2", "Yes"}, {"3", "20260314"}, {"4", "20260314"}, {"5", ""}, {"6", ""}, {"9", "1"},
                           {"10", "1"}, {"14", "5"}, {"15", "1"}, {"20", "0"}, {"22", ""}, {"23", "0"}}},
        // 22: flags and the fields no standard property holds; repeat fields a single event kept
        {"Europe/Berlin", {{"2", "Yes"}, {"14", "1"}, {"15", "1"}, {"17", "1"}, {"23", ""}}},
        {"Europe/Berlin", {{"10", "1"}, {"17", "1"}, {"20", "0"}, {"21", "0060"}}},
        {"Europe/Berlin", {{"14", "2"}, {"15", "1"}, {"22", "0010"}, {"23", "20270331"}}},
    };
    ExpectRoundTrips(morvane_host::kScheduleSection, rows);
}

TEST(CalendarRoundTrip, ScheduleRepeatInfoIsWhatTheHostReads) {
    struct Expected {
        Fields fields;
        RepeatInfo info;
    };
    const std::vector<Expected> rows = {
        // 0: a single event, one over days, the demo's birthday and Yoga
        {{}, {0, 0, 0, "20261208", "20261208", 0, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}}, {0, 0, 0, "20261208", "20261210", 0, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"2", "Yes"}, {"3", "20260314"}, {"4", "20260314"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"14", "5"}, {"15", "1"}, {"22", ""}, {"23", "0"}},
         {5, 1, 0, "20260314", "-1", 1, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"14", "2"}, {"15", "1"}, {"17", "1"}, {"22", "0010"}, {"23", "20270331"}},
         {2, 1, 1, "20261201", "20270331", 1, {0, 0, 1, 0, 1, 0, 0}}},
    };
    for (const Expected& row : rows) {
        Item item;
        Problem problem;
        HostRecord back;
        std::string uid;
        std::vector<std::string> warnings;
        ASSERT_TRUE(morvane_pim::CalendarToItem(2, Record(2, row.fields), "u", In("UTC"), &item, &problem));
        ASSERT_TRUE(morvane_pim::ItemToCalendar(2, item, "i", In("UTC"), &back, &uid, &warnings, &problem));
        EXPECT_TRUE(back.hasRepeat);
        EXPECT_EQ(memcmp(&back.repeat, &row.info, sizeof(RepeatInfo)), 0) << item.text;
    }
}

TEST(CalendarRoundTrip, ToDoEveryField) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: open, done with and without its day, without dates, low priority with long texts
        {"Europe/Berlin", {}},
        {"Europe/Berlin", {{"3", "1"}, {"4", "0"}, {"9", "20261206"}}},
        {"Europe/Berlin", {{"3", "1"}}},
        {"Europe/Berlin", {{"1", ""}, {"8", ""}, {"6", ""}, {"5", ""}}},
        {"Europe/Berlin", {{"2", text}, {"4", "1"}, {"5", text}, {"6", "Gesch\xE4" "ft, privat"}, {"7", "1"}}},
        // 5: a priority of the old model; the day done in zones far from UTC
        {"Europe/Berlin", {{"4", "3"}}},
        {"Pacific/Kiritimati", {{"3", "1"}, {"9", "20261231"}}},
        {"America/Los_Angeles", {{"3", "1"}, {"9", "20260101"}}},
    };
    ExpectRoundTrips(morvane_host::kToDoSection, rows);
}

TEST(CalendarRoundTrip, MemoEveryField) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: plain, a title alone without time stamp, an empty first line, long and private, all empty
        {"Europe/Berlin", {}},
        {"Europe/Berlin", {{"2.D", ""}, {"2.T", ""}, {"3", ""}}},
        {"Europe/Berlin", {{"1", ""}}},
        {"Europe/Berlin", {{"1", "M\xFCnchen \x80; a,b"}, {"3", text}, {"5", "1"}, {"2.T", "0000"}}},
        {"UTC", {{"1", ""}, {"2.D", ""}, {"2.T", ""}, {"3", ""}}},
    };
    ExpectRoundTrips(morvane_host::kMemoSection, rows);
}

}  // namespace
}  // namespace calendar_test
