// Device record -> item -> device record gives every host field back, for
// every field of Schedule, ToDo and Memo: one table of records per
// database, each row the fields that differ from a plain record.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "calendar_records.h"
#include "pim/formats.h"
#include "records/field_map.h"
#include "support/sandbox.h"

namespace calendar_test {
namespace {

using morvane_pim::HostRecord;
using morvane_pim::Item;
using morvane_pim::Problem;
using morvane_pim::Settings;

struct Row {
    Fields fields;
    const char* zone = "Europe/Berlin";
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
HostRecord RoundTrip(int32_t section, const HostRecord& record, const char* zone) {
    const Settings settings = In(zone);
    Item item, again, merged;
    Problem problem;
    EXPECT_TRUE(morvane_pim::CalendarToItem(section, record, "uid-7", settings, &item, &problem)) << problem.reason;
    EXPECT_TRUE(morvane_pim::CalendarToItem(section, record, "uid-7", settings, &again, &problem));
    EXPECT_EQ(item.text, again.text);
    std::string uid;
    std::vector<std::string> warnings;
    const HostRecord back = Read(section, item.text, &warnings, zone, &uid);
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
        EXPECT_EQ(Differences(record, RoundTrip(section, record, rows[i].zone)), "");
    }
}

TEST(CalendarRoundTrip, ScheduleEveryFieldEveryRepeatAndAlarmsAroundMidnightAndDst) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: plain; texts long, multi-line, non-ASCII, with the characters iCalendar escapes; texts empty
        {{}},
        {{{"7", text}, {"8", "M\xFCnchen; Raum 4,12 \\ \"Nord\""}, {"16", text}, {"19", "Gesch\xE4" "ft"},
          {"18", "1"}}},
        {{{"7", ""}, {"8", ""}, {"16", ""}, {"19", ""}}},
        // 3: alarms (leads of 0 to 2359 minutes, as the device's link carries them): before, across
        // midnight, at the start, the longest lead
        {{{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0915"}}},
        {{{"5", "0010"}, {"6", "0100"}, {"11", "1"}, {"12.D", "20261207"}, {"12.T", "2340"}, {"13", "20261207"}}},
        {{{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0930"}}},
        {{{"11", "1"}, {"12.D", "20261207"}, {"12.T", "0931"}, {"13", "20261207"}}},
        // 7: all-day events over days with an alarm the evening before, and with one at 00:00
        {{{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"10", "1"}, {"11", "1"}, {"12.D", "20261207"},
          {"12.T", "2205"}, {"13", "20261207"}}},
        {{{"5", ""}, {"6", ""}, {"9", "1"}, {"10", "1"}, {"11", "1"}, {"12.D", "20261208"}, {"12.T", "0000"},
          {"13", "20261208"}}},
        // 9: either side of the DST changes: a start the clock skips, one it passes twice
        {{{"3", "20260329"}, {"4", "20260329"}, {"5", "0230"}, {"6", "0330"}, {"11", "1"}, {"12.D", "20260329"},
          {"12.T", "0131"}}},
        {{{"3", "20261025"}, {"4", "20261025"}, {"5", "0230"}, {"6", "0300"}, {"11", "1"}, {"12.D", "20261024"},
          {"12.T", "2351"}, {"13", "20261024"}}},
        {{{"3", "20260308"}, {"4", "20260308"}, {"5", "0230"}, {"6", "0400"}, {"11", "1"}, {"12.D", "20260308"},
          {"12.T", "0050"}}, "America/New_York"},
        {{{"3", "20261101"}, {"4", "20261101"}, {"5", "0130"}, {"6", "0200"}, {"11", "1"}, {"12.D", "20261031"},
          {"12.T", "2330"}, {"13", "20261031"}}, "America/New_York"},
        {{{"11", "1"}, {"12.D", "20261208"}, {"12.T", "0900"}}, "UTC"},
        // 14: every repeat: daily every 3 days, weekly Tue+Thu until, weekly without days, every other week Sun+Wed
        {{{"2", "Yes"}, {"14", "1"}, {"15", "3"}, {"23", "0"}}},
        {{{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"14", "2"}, {"15", "1"}, {"22", "0010"},
          {"23", "20270331"}}},
        {{{"2", "Yes"}, {"14", "2"}, {"15", "1"}, {"23", "0"}}},
        {{{"2", "Yes"}, {"3", "20261206"}, {"4", "20261206"}, {"14", "2"}, {"15", "2"}, {"22", "0068"},
          {"23", "20270228"}}, "America/New_York"},
        // 18: monthly by date every 2 months, by weekday (2nd Tuesday; the 29th as the last), yearly all-day
        {{{"2", "Yes"}, {"3", "20261214"}, {"4", "20261214"}, {"14", "3"}, {"15", "2"}, {"23", "20271214"}}},
        {{{"2", "Yes"}, {"14", "4"}, {"15", "1"}, {"23", "0"}}},
        {{{"2", "Yes"}, {"3", "20261229"}, {"4", "20261229"}, {"14", "4"}, {"15", "1"}, {"23", "20271231"}}, "UTC"},
        {{{"2", "Yes"}, {"3", "20260314"}, {"4", "20260314"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"10", "1"},
          {"14", "5"}, {"15", "1"}, {"20", "0"}, {"22", ""}, {"23", "0"}}},
        // 22: flags and the fields no standard property holds; repeat fields a single event kept
        {{{"2", "Yes"}, {"14", "1"}, {"15", "1"}, {"17", "1"}, {"23", ""}}},
        {{{"10", "1"}, {"17", "1"}, {"20", "0"}, {"21", "0060"}}},
        {{{"14", "2"}, {"15", "1"}, {"22", "0010"}, {"23", "20270331"}}},
    };
    ExpectRoundTrips(morvane_host::kScheduleSection, rows);
}

TEST(CalendarRoundTrip, ScheduleRepeatInfoIsWhatTheHostReads) {
    struct Expected { Fields fields; RepeatInfo info; };
    const std::vector<Expected> rows = {
        // 0: a single event, one over days, the demo's birthday and Yoga
        {{}, {0, 0, 0, "20261208", "20261208", 0, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}},
         {0, 0, 0, "20261208", "20261210", 0, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"2", "Yes"}, {"3", "20260314"}, {"4", "20260314"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"14", "5"},
          {"15", "1"}, {"22", ""}, {"23", "0"}},
         {5, 1, 0, "20260314", "-1", 1, {0, 0, 0, 0, 0, 0, 0}}},
        {{{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"14", "2"}, {"15", "1"}, {"17", "1"}, {"22", "0010"},
          {"23", "20270331"}},
         {2, 1, 1, "20261201", "20270331", 1, {0, 0, 1, 0, 1, 0, 0}}},
    };
    for (const Expected& row : rows) {
        Item item;
        Problem problem;
        ASSERT_TRUE(morvane_pim::CalendarToItem(2, Record(2, row.fields), "u", In("UTC"), &item, &problem));
        const HostRecord back = Read(2, item.text, nullptr, "UTC");
        EXPECT_TRUE(back.hasRepeat);
        EXPECT_EQ(memcmp(&back.repeat, &row.info, sizeof(RepeatInfo)), 0) << item.text;
    }
}

TEST(CalendarRoundTrip, ToDoEveryField) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: open, done with and without its day, without dates, low priority with long texts
        {{}},
        {{{"3", "1"}, {"4", "0"}, {"9", "20261206"}}},
        {{{"3", "1"}}},
        {{{"1", ""}, {"8", ""}, {"6", ""}, {"5", ""}}},
        {{{"2", text}, {"4", "1"}, {"5", text}, {"6", "Gesch\xE4" "ft, privat"}, {"7", "1"}}},
        // 5: a priority of the old model; the day done in zones far from UTC
        {{{"4", "3"}}},
        {{{"3", "1"}, {"9", "20261231"}}, "Pacific/Kiritimati"},
        {{{"3", "1"}, {"9", "20260101"}}, "America/Los_Angeles"},
    };
    ExpectRoundTrips(morvane_host::kToDoSection, rows);
}

TEST(CalendarRoundTrip, MemoEveryField) {
    const std::string text = LongText();
    const std::vector<Row> rows = {
        // 0: plain, a title alone without time stamp, an empty first line, long and private, all empty
        {{}},
        {{{"2.D", ""}, {"2.T", ""}, {"3", ""}}},
        {{{"1", ""}}},
        {{{"1", "M\xFCnchen \x80; a,b"}, {"3", text}, {"5", "1"}, {"2.T", "0000"}}},
        {{{"1", ""}, {"2.D", ""}, {"2.T", ""}, {"3", ""}}, "UTC"},
    };
    ExpectRoundTrips(morvane_host::kMemoSection, rows);
}

// What we write, other programs read: Python's icalendar and vobject read
// every item, khal lists the events and todoman the tasks from a vdir of
// items (tests/pim/calendar_programs.py checks them).
TEST(CalendarPrograms, ItemsReadByIcalendarVobjectKhalAndTodoman) {
    static const struct {
        int32_t section;
        const char *zone, *file;  // file: under the vdir
        Fields fields;
    } kItems[] = {
        {2, "Europe/Berlin", "cal/e1.ics",
         {{"7", "M\xFCnchen review"}, {"11", "1"}, {"12.D", "20261208"}, {"12.T", "0915"}}},
        {2, "Europe/Berlin", "cal/e2.ics",
         {{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"5", "1800"}, {"6", "1915"}, {"7", "Yoga"},
          {"14", "2"}, {"15", "1"}, {"22", "0010"}, {"23", "20270331"}}},
        {2, "Europe/Berlin", "cal/e3.ics", {{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"7", "Fair"}}},
        {2, "America/New_York", "cal/e4.ics",
         {{"3", "20260308"}, {"4", "20260308"}, {"5", "0330"}, {"6", "0400"}, {"7", "Early call"}}},
        {2, "UTC", "cal/e5.ics", {{"3", "20261209"}, {"4", "20261209"}, {"5", "1200"}, {"6", "1230"}, {"7", "Call"}}},
        {3, "Europe/Berlin", "tasks/t1.ics", {}},
        {3, "Europe/Berlin", "tasks/t2.ics", {{"1", ""}, {"2", "Report"}, {"3", "1"}, {"4", "0"}, {"9", "20261206"}}},
        {3, "UTC", "tasks/t3.ics", {{"2", "B\xFC" "cher"}, {"4", "1"}, {"8", ""}}},
        {4, "Europe/Berlin", "journal/j1.ics", {}},
        {4, "Europe/Berlin", "journal/j2.ics", {{"1", "Gate code"}, {"3", "4711#"}, {"5", "1"}}},
    };
    testing_support::Sandbox sandbox;
    const std::string folder = sandbox.root() + "/vdir";
    for (const char* sub : {"", "/cal", "/tasks", "/journal"}) mkdir((folder + sub).c_str(), 0700);
    for (const auto& w : kItems) {
        Item item;
        Problem problem;
        const std::string uid = std::string(w.file).substr(std::string(w.file).find('/') + 1, 2);
        ASSERT_TRUE(
            morvane_pim::CalendarToItem(w.section, Record(w.section, w.fields), uid, In(w.zone), &item, &problem));
        testing_support::WriteFile(folder + "/" + w.file, item.text);
    }
    testing_support::WriteFile(folder + "/expected.json", R"({"items": [
         {"file": "cal/e1.ics", "uid": "e1", "summary": "München review", "start": "2026-12-08T08:30Z"},
         {"file": "cal/e2.ics", "uid": "e2", "summary": "Yoga", "start": "2026-12-01T17:00Z"},
         {"file": "cal/e3.ics", "uid": "e3", "summary": "Fair", "start": "2026-12-08"},
         {"file": "cal/e4.ics", "uid": "e4", "summary": "Early call", "start": "2026-03-08T07:30Z"},
         {"file": "cal/e5.ics", "uid": "e5", "summary": "Call", "start": "2026-12-09T12:00Z"},
         {"file": "tasks/t1.ics", "uid": "t1", "summary": "Renew passport", "start": "2026-12-01"},
         {"file": "tasks/t2.ics", "uid": "t2", "summary": "Report", "start": "2026-12-01"},
         {"file": "tasks/t3.ics", "uid": "t3", "summary": "Bücher"},
         {"file": "journal/j1.ics", "uid": "j1", "summary": "Shopping", "start": "2026-12-05T17:20"},
         {"file": "journal/j2.ics", "uid": "j2", "summary": "Gate code", "start": "2026-12-05T17:20"}],
        "khal": {"zone": "America/New_York", "from": "2026-03-01", "to": "2027-04-05",
                 "lines": ["2026-12-08 03:30 2026-12-08 04:30 München review",
                           "2026-12-01 12:00 2026-12-01 13:15 Yoga", "2027-03-30 12:00 2027-03-30 13:15 Yoga",
                           "2026-12-08 2026-12-10 Fair", "2026-12-08 2026-12-10 Fair", "2026-12-08 2026-12-10 Fair",
                           "2026-03-08 03:30 2026-03-08 04:00 Early call", "2026-12-09 07:00 2026-12-09 07:30 Call"],
                 "absent": ["2027-04-01 12:00 2027-04-01 13:15 Yoga"]},
        "todoman": [{"summary": "Renew passport", "due": "2026-12-20", "completed": false, "priority": 1},
                    {"summary": "Report", "due": null, "completed": true, "priority": 9},
                    {"summary": "Bücher", "due": "2026-12-20", "completed": false, "priority": 5}]})");
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string command = python + " " + MORVANE_SOURCE_DIR + "/tests/pim/calendar_programs.py " + folder +
                                " > " + folder + "/out.txt 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << testing_support::ReadFile(folder + "/out.txt");
}

}  // namespace
}  // namespace calendar_test
