// Items that are not what they should be: an error naming the item and
// the line, never a record made of what was left.  Line ends of any kind
// are read.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "calendar_records.h"
#include "pim/formats.h"

namespace calendar_test {
namespace {

using morvane_pim::HostRecord;
using morvane_pim::Item;
using morvane_pim::Problem;

// Lines 1 to 9.
const char* const kEvent[] = {
    "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//t//EN", "BEGIN:VEVENT", "UID:a",
    "DTSTART:20261208T093000Z", "SUMMARY:Meeting", "END:VEVENT", "END:VCALENDAR",
};

// The event with line n (from 1) replaced by with ("" drops it, nullptr keeps it), ended by end.
std::string Event(size_t n = 0, const char* with = nullptr, const char* end = "\r\n") {
    std::string text;
    for (size_t i = 0; i < 9; ++i) {
        const char* line = i + 1 == n && with != nullptr ? with : kEvent[i];
        if (*line != '\0') text += std::string(line) + end;
    }
    return text;
}

std::string Repeat(const char* text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

TEST(CalendarInput, BadItemsAreErrorsWithTheirLine) {
    struct Row {
        int32_t section;
        std::string text;
        uint32_t line;
        const char* reason;
    };
    const std::string event = Event();
    const std::vector<Row> rows = {
        // 0
        {2, "", 0, "empty"},
        {2, event.substr(0, event.find("END:VEVENT")), 7, "ends inside VEVENT begun on line 4"},
        {2, Event(9, ""), 8, "ends inside VCALENDAR"},
        {2, Event(8, "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:b\r\nDTSTART:20261209T093000Z\r\nEND:VEVENT"), 10, "a second UID \"b\""},
        {2, Event(7, "SUMMARY:Caf\xE9"), 7, "not UTF-8"},
        // 5
        {2, Event(2, "VERSION:1.0"), 2, "VERSION 1.0"},
        {2, Event(7, "this is no content line"), 7, "not a content line"},
        {2, Event(8, "END:VTODO"), 8, "END:VTODO where VEVENT of line 4 is open"},
        {2, Event(6, "DTSTART:20261x08T093000Z"), 6, "DTSTART"},
        {2, Event(7, "RRULE:FREQ=SOMETIMES"), 7, "RRULE"},
        // 10
        {2, Event().replace(Event().find("Meeting"), 1, std::string(1, '\0')), 7, "a NUL byte"},
        {2, event + "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", 10, "more after END:VCALENDAR"},
        {2, Event(6, ""), 4, "no start date"},
        {3, event, 0, "not a task"},
        {4, event, 0, "not a memo"},
        // 15
        {2, "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nEND:VCARD\r\n", 1, "does not begin with BEGIN:VCALENDAR"},
        {2, Event(7, (Repeat("BEGIN:X\r\n", 40) + Repeat("END:X\r\n", 40) + "SUMMARY:Deep").c_str()), 37, "nested deeper"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const Row& row = rows[i];
        HostRecord record;
        std::string uid;
        std::vector<std::string> warnings;
        Problem problem;
        EXPECT_FALSE(morvane_pim::ItemToCalendar(row.section, Item{row.text}, "bad.ics", In("UTC"), &record, &uid,
                                                 &warnings, &problem));
        EXPECT_EQ(problem.name, "bad.ics");
        EXPECT_EQ(problem.line, row.line) << problem.reason;
        EXPECT_NE(problem.reason.find(row.reason), std::string::npos) << problem.reason;
        Item merged;
        Problem mergeProblem;
        EXPECT_FALSE(morvane_pim::MergeCalendar(row.section, Item{row.text}, Record(row.section, {}), In("UTC"),
                                                &merged, &mergeProblem));
        EXPECT_EQ(mergeProblem.line, row.line);
    }
}

TEST(CalendarInput, AnyLineEndFoldingCaseAndByteOrderMarkAreRead) {
    const std::vector<std::string> texts = {
        Event(0, nullptr, "\n"),
        Event(0, nullptr, "\r"),
        Event(7, "SUMMARY:Mee\r\n\tting"),
        Event(4, "begin:vevent"),
        Event(6, "DTSTART:20261208T093000Z\r\nDESCRIPTION:"),  // an empty value, as servers write them
        "\xEF\xBB\xBF" + Event(0, nullptr, "\n"),  // a byte order mark, as Windows programs write
    };
    for (const std::string& text : texts) {
        HostRecord record;
        std::string uid;
        std::vector<std::string> warnings;
        Problem problem;
        ASSERT_TRUE(morvane_pim::ItemToCalendar(2, Item{text}, "ok.ics", In("UTC"), &record, &uid, &warnings, &problem))
            << problem.line << ": " << problem.reason;
        EXPECT_EQ(*record.Value("7"), "Meeting");
        EXPECT_EQ(*record.Value("5"), "0930");
        EXPECT_EQ(uid, "a");
    }
}

TEST(CalendarInput, TheHandheldsZoneIsTheSettingsOrTheSystems) {
    setenv("TZ", ":America/New_York", 1);
    morvane_pim::Item item;
    Problem problem;
    ASSERT_TRUE(morvane_pim::CalendarToItem(2, Record(2, {}), "u", morvane_pim::Settings(), &item, &problem));
    EXPECT_NE(item.text.find("DTSTART;TZID=America/New_York:20261208T093000"), std::string::npos);
    morvane_pim::Settings unknown = In("Mars/Olympus_Mons");
    EXPECT_FALSE(morvane_pim::CalendarToItem(2, Record(2, {}), "u", unknown, &item, &problem));
    EXPECT_NE(problem.reason.find("unknown time zone 'Mars/Olympus_Mons'"), std::string::npos);
    unknown = In("UTC");
    unknown.deviceCharset = "NO-SUCH-SET";
    EXPECT_FALSE(morvane_pim::CalendarToItem(2, Record(2, {}), "u", unknown, &item, &problem));
    EXPECT_NE(problem.reason.find("unknown device character set"), std::string::npos);
}

TEST(CalendarInput, TheKindOfAnItemTellsItsSection) {
    const std::string event = Event();
    std::string todo = event, journal = event;
    todo.replace(todo.find("BEGIN:VEVENT"), 12, "BEGIN:VTODO").replace(todo.find("END:VEVENT"), 10, "END:VTODO");
    journal.replace(journal.find("BEGIN:VEVENT"), 12, "BEGIN:VJOURNAL").replace(journal.find("END:VEVENT"), 10, "END:VJOURNAL");
    EXPECT_EQ(morvane_pim::CalendarItemKind(event), 2);
    EXPECT_EQ(morvane_pim::CalendarItemKind(todo), 3);
    EXPECT_EQ(morvane_pim::CalendarItemKind(journal), 4);
    EXPECT_EQ(morvane_pim::CalendarItemKind("BEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\n"), 0);
}

}  // namespace
}  // namespace calendar_test
