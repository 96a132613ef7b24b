// Calendar items as the handheld gets them: those other programs write
// (tests/pim/data), merges of device changes that keep every line the
// handheld does not hold, items that must not read (an error naming the
// line), and the repeat rules the handheld holds exactly or nearest.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <map>

#include "calendar_records.h"
#include "pim/formats.h"

namespace calendar_test {
namespace {

using morvane_pim::HostRecord;
using morvane_pim::Item;
using morvane_pim::Problem;

struct ReadRow {
    const char* file;
    int32_t section;
    Fields expected;                    // the fields to check
    std::vector<const char*> warnings;  // a piece of each warning, in order
};

TEST(CalendarItems, OtherProgramsItemsAsTheHandheldHoldsThem) {
    const std::vector<ReadRow> rows = {
        // 0: New York 16:00 is 22:00 in Berlin; the last weekday of each month is beyond the handheld
        {"google_finance.ics", 2,
         {{"2", "No"}, {"3", "20261130"}, {"5", "2200"}, {"6", "2300"}, {"8", "Conference room B, 3rd floor"},
          {"11", "1"}, {"12.D", "20261130"}, {"12.T", "2130"}},
         {"EXDATE", "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1 is more than the handheld repeats; it gets no repeat"}},
        // 1: Apple's "no alarm" is skipped; the audio alarm 15 hours before the all-day event
        {"apple_birthday.ics", 2,
         {{"2", "Yes"}, {"4", "20260314"}, {"9", "1"}, {"12.D", "20260313"}, {"12.T", "0900"}, {"13", "20260313"},
          {"14", "5"}, {"23", "0"}},
         {}},
        // 2: an absolute trigger at 17:00 UTC the day before
        {"apple_review.ics", 2,
         {{"5", "0930"}, {"8", "Room 4.12\r\nHauptstra\xDF" "e 5, 10827 Berlin"}, {"12.D", "20261207"}, {"12.T", "1800"}},
         {}},
        // 3: COUNT=10 ends on its tenth day; the alarm at the end (19:15) is after the start, where
        // the handheld holds none: it rings at the start
        {"nextcloud_yoga.ics", 2,
         {{"2", "Yes"}, {"14", "2"}, {"22", "0010"}, {"23", "20261231"}, {"12.T", "1800"}, {"19", "Sport"}},
         {"EXDATE", "one category", "75 minutes after the start"}},
        {"thunderbird_passport.ics", 3,
         {{"1", "20261220"}, {"3", "0"}, {"4", "2"}, {"6", "Personal"}, {"7", "1"}, {"8", "20261201"}},
         {"DUE", "one category", "DTSTART"}},
        // 5: todoman's dates as midnight in UTC, the time it was done to the second: no loss
        {"todoman_next.ics", 3, {{"1", "20261215"}, {"3", "0"}, {"8", "20261214"}}, {}},
        {"todoman_done.ics", 3, {{"1", "20261208"}, {"3", "1"}, {"9", "20261209"}}, {}},
        {"jtx_shopping.ics", 4, {{"1", "Shopping"}, {"2.D", "20261205"}, {"2.T", "1720"}, {"3", "milk\r\neggs\r\nbread"}}, {}},
        // a journal entry's every DESCRIPTION, a blank line apart
        {"journal_descriptions.ics", 4, {{"1", "Ideas"}, {"3", "First thought\r\n\r\nSecond thought"}}, {}},
        // 8: Outlook's zone of a Windows name, found in the item's own VTIMEZONE
        {"outlook_figures.ics", 2, {{"5", "1400"}, {"6", "1500"}, {"7", "Quartalszahlen"}, {"11", "0"}, {"16", "Quarterly figures\r\n"}}, {}},
        // an invitation to two occurrences of another's series, and not the series
        {"google_occurrences.ics", 2, {{"2", "No"}, {"3", "20261210"}, {"5", "1400"}, {"7", "Sprint planning"}},
         {"2 changed occurrences of a series and not the series: the handheld gets the first alone"}},
    };
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.file);
        std::vector<std::string> warnings;
        const HostRecord record = Read(row.section, DataFile(row.file), &warnings);
        for (const auto& field : row.expected) EXPECT_EQ(*record.Value(field.first), field.second) << field.first;
        ASSERT_EQ(warnings.size(), row.warnings.size());
        for (size_t i = 0; i < warnings.size(); ++i) {
            EXPECT_EQ(warnings[i].rfind("item.ics: ", 0), 0u) << warnings[i];
            EXPECT_NE(warnings[i].find(row.warnings[i]), std::string::npos) << warnings[i];
        }
    }
}

// Logical lines, unfolded, with how often each comes.
std::map<std::string, int> Lines(const std::string& text) {
    std::string unfolded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\r\n ") == 0) i += 2;
        else unfolded += text[i];
    }
    std::map<std::string, int> lines;
    size_t at = 0;
    for (size_t end; (end = unfolded.find("\r\n", at)) != std::string::npos; at = end + 2)
        ++lines[unfolded.substr(at, end - at)];
    return lines;
}

// The item merged with the device's record.
std::string Merge(int32_t section, const std::string& base, const HostRecord& device,
                  const morvane_pim::Settings& settings, const HostRecord* lastSynced = nullptr) {
    Item merged;
    Problem problem;
    EXPECT_TRUE(morvane_pim::MergeCalendar(section, Item{base}, device, settings, &merged, &problem, lastSynced))
        << problem.reason;
    return merged.text;
}

void Change(HostRecord* record, const Fields& changes) {
    for (auto& field : record->fields)
        for (const auto& change : changes)
            if (field.first == change.first) field.second = change.second;
}

struct MergeRow {
    const char* file;
    int32_t section;
    Fields changes;                      // the device's
    std::vector<std::string> rewritten;  // property names whose lines may go
    std::vector<std::string> written;    // lines the merge must write; "-line": one occurrence of it dropped
};

TEST(CalendarItems, MergedDeviceChangesKeepEveryLineTheHandheldDoesNotHold) {
    const std::vector<MergeRow> rows = {
        // 0: a location; an hour earlier, written in the item's own zone; the alarm off (the e-mail one stays)
        {"google_finance.ics", 2, {{"8", "Room C"}}, {"LOCATION"},
         {"LOCATION:Room C", "DTSTAMP:20261209T120000Z", "LAST-MODIFIED:20261209T120000Z"}},
        // 1: the EXDATE of the rule the handheld does not repeat follows the start
        {"google_finance.ics", 2, {{"5", "2100"}, {"6", "2200"}, {"12.T", "2030"}}, {"DTSTART", "DTEND", "EXDATE", "SEQUENCE"},
         {"DTSTART;TZID=America/New_York:20261130T150000", "DTEND;TZID=America/New_York:20261130T160000",
          "EXDATE;TZID=America/New_York:20261231T150000", "SEQUENCE:3"}},
        {"google_finance.ics", 2, {{"11", "0"}, {"12.D", "00000000"}, {"12.T", "0000"}},
         {"BEGIN", "END", "ACTION", "DESCRIPTION", "TRIGGER"}, {}},
        // 3: a later start moves the absolute alarm, now relative; a category and a shorter alarm
        {"apple_review.ics", 2, {{"3", "20261209"}, {"4", "20261209"}, {"5", "1000"}, {"6", "1100"}, {"12.D", "20261208"}, {"12.T", "1830"}, {"13", "20261208"}},
         {"DTSTART", "DTEND", "TRIGGER", "SEQUENCE"},
         {"DTSTART;TZID=Europe/Berlin:20261209T100000", "TRIGGER:-PT15H30M", "SEQUENCE:2"}},
        {"apple_birthday.ics", 2, {{"19", "Family"}, {"12.D", "20260313"}, {"12.T", "2345"}}, {"TRIGGER"},
         {"CATEGORIES:Family", "TRIGGER:-PT15M"}},
        // 5: an earlier end of the richer rule; the master's summary, not the changed occurrence's; repeat off
        {"nextcloud_yoga.ics", 2, {{"23", "20261217"}}, {"RRULE", "SEQUENCE"},
         {"RRULE:FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20261217T225959Z", "SEQUENCE:3"}},
        {"nextcloud_yoga.ics", 2, {{"7", "Yoga (Kern)"}}, {"SUMMARY"}, {"SUMMARY:Yoga (Kern)", "SUMMARY:Yoga (late class)"}},
        // 7: a series no longer repeated keeps no changed occurrence
        {"nextcloud_yoga.ics", 2, {{"2", "No"}, {"14", ""}, {"15", ""}, {"23", ""}}, {"RRULE", "EXDATE", "SEQUENCE"},
         {"-BEGIN:VEVENT", "-CREATED:20261120T094600Z", "-DTSTAMP:20261120T094600Z", "-LAST-MODIFIED:20261120T094600Z",
          "-UID:7d3f2a9e-1c4b-4e8f-a2d6-5b9c0e1f3a47", "-DTSTART;TZID=Europe/Berlin:20261210T190000",
          "-DTEND;TZID=Europe/Berlin:20261210T201500", "-SUMMARY:Yoga (late class)",
          "-RECURRENCE-ID;TZID=Europe/Berlin:20261210T180000", "-SEQUENCE:1", "-END:VEVENT"}},
        // 8: half an hour later, the left-out and the changed occurrence with it (the latter's own times kept)
        {"nextcloud_yoga.ics", 2, {{"5", "1830"}, {"6", "1945"}, {"12.T", "1830"}},
         {"DTSTART", "DTEND", "EXDATE", "RECURRENCE-ID", "TRIGGER", "SEQUENCE"},
         {"DTSTART;TZID=Europe/Berlin:20261201T183000", "EXDATE;TZID=Europe/Berlin:20261224T183000",
          "RECURRENCE-ID;TZID=Europe/Berlin:20261210T183000", "DTSTART;TZID=Europe/Berlin:20261210T190000"}},
        // 9: the handheld's category takes the first place, the others stay
        {"nextcloud_yoga.ics", 2, {{"19", "Fitness"}}, {"CATEGORIES"}, {"CATEGORIES:Fitness,Health"}},
        // 10: exceptions in UTC, and an added occurrence, follow too
        {"utc_exceptions.ics", 2, {{"5", "1000"}, {"6", "1015"}}, {"DTSTART", "DTEND", "EXDATE", "RDATE", "RECURRENCE-ID"},
         {"EXDATE:20261209T090000Z", "RDATE;TZID=Europe/Berlin:20261212T100000", "RECURRENCE-ID:20261211T090000Z"}},
        // made all-day, or given a time: the exceptions take the start's form, as RFC 5545 has them
        {"utc_exceptions.ics", 2, {{"9", "1"}, {"5", ""}, {"6", ""}}, {"DTSTART", "DTEND", "EXDATE", "RDATE", "RECURRENCE-ID", "SEQUENCE"},
         {"EXDATE;VALUE=DATE:20261209", "RDATE;VALUE=DATE:20261212", "RECURRENCE-ID;VALUE=DATE:20261211",
          "DTSTART;VALUE=DATE:20261211", "DTEND;VALUE=DATE:20261212"}},
        {"allday_exceptions.ics", 2, {{"9", "0"}, {"5", "0700"}, {"6", "0800"}}, {"DTSTART", "DTEND", "EXDATE", "RECURRENCE-ID", "SEQUENCE"},
         {"EXDATE;TZID=Europe/Berlin:20261221T070000", "RECURRENCE-ID;TZID=Europe/Berlin:20261214T070000",
          "DTSTART;TZID=Europe/Berlin:20261215T070000", "DTEND;TZID=Europe/Berlin:20261215T080000"}},
        // 13: done on the handheld; a lower priority; a later due date; the memo's text
        {"thunderbird_passport.ics", 3, {{"3", "1"}, {"9", "20261206"}}, {"STATUS", "PERCENT-COMPLETE"},
         {"SEQUENCE:1", "STATUS:COMPLETED", "COMPLETED:20261206T110000Z", "PERCENT-COMPLETE:100",
          "DUE;TZID=Europe/Berlin:20261220T170000"}},
        {"thunderbird_passport.ics", 3, {{"4", "0"}}, {"PRIORITY"}, {"PRIORITY:9"}},
        // 15: a later due date keeps its time and zone, todoman's midnight in UTC too
        {"thunderbird_passport.ics", 3, {{"1", "20261222"}}, {"DUE"}, {"DUE;TZID=Europe/Berlin:20261222T170000"}},
        {"todoman_next.ics", 3, {{"1", "20261217"}, {"8", "20261216"}}, {"DUE", "DTSTART", "SEQUENCE"},
         {"DUE:20261216T230000Z", "DTSTART:20261215T230000Z", "SEQUENCE:3"}},
        {"jtx_shopping.ics", 4, {{"3", "milk\r\neggs"}}, {"DESCRIPTION"}, {"DESCRIPTION:milk\\neggs"}},
        // 18: a new title, written with the text: every DESCRIPTION stays in it
        {"journal_descriptions.ics", 4, {{"1", "Ideas, sorted"}}, {"SUMMARY", "DESCRIPTION"},
         {"SUMMARY:Ideas\\, sorted", "DESCRIPTION:First thought\\n\\nSecond thought"}},
        // The title the adapter reads back after the PC wrote it carries the CR of its line end: no change.
        {"jtx_shopping.ics", 4, {{"1", "Shopping\r"}}, {}, {}},
        // 20: a new alarm and a later time in Outlook's zone; a new repeat
        {"outlook_figures.ics", 2, {{"11", "1"}, {"12.D", "20261215"}, {"12.T", "1345"}}, {}, {"TRIGGER:-PT15M"}},
        {"outlook_figures.ics", 2, {{"5", "1500"}, {"6", "1600"}}, {"DTSTART", "DTEND", "SEQUENCE"},
         {"DTSTART;TZID=W. Europe Standard Time:20261215T150000"}},
        {"apple_review.ics", 2, {{"2", "Yes"}, {"14", "2"}, {"15", "1"}, {"22", "0002"}, {"23", "0"}}, {"SEQUENCE"},
         {"RRULE:FREQ=WEEKLY;BYDAY=TU"}},
        // 23: the first of the occurrences an invitation holds
        {"google_occurrences.ics", 2, {{"8", "Room 5"}}, {}, {"LOCATION:Room 5"}},
        // 24: every other week, counted in the handheld's weeks from Sunday
        {"apple_review.ics", 2, {{"2", "Yes"}, {"14", "2"}, {"15", "2"}, {"22", "0002"}, {"23", "0"}}, {"SEQUENCE"},
         {"RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TU;WKST=SU"}},
    };
    morvane_pim::Settings settings = In("Europe/Berlin");
    settings.now = 1796817600;  // 2026-12-09 12:00 UTC
    for (size_t i = 0; i < rows.size(); ++i) {
        const MergeRow& row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i) + " " + row.file);
        const std::string base = DataFile(row.file);
        HostRecord device = Read(row.section, base);
        // The device's own record changes nothing, byte for byte, not even
        // the lines saying when the item was revised.
        EXPECT_EQ(Merge(row.section, base, device, settings), base);
        Change(&device, row.changes);
        const std::string merged = Merge(row.section, base, device, settings);
        const HostRecord expected = row.changes[0].second == "Shopping\r" ? Read(row.section, base) : device;
        EXPECT_EQ(Differences(expected, Read(row.section, merged)), "") << merged;
        const std::map<std::string, int> before = Lines(base), after = Lines(merged);
        for (const auto& line : before) {
            const std::string name = line.first.substr(0, line.first.find_first_of(";:"));
            // Any change says when it was made.
            const bool mayGo = std::find(row.rewritten.begin(), row.rewritten.end(), name) != row.rewritten.end() ||
                               name == "DTSTAMP" || name == "LAST-MODIFIED";
            const int gone = static_cast<int>(std::count(row.written.begin(), row.written.end(), "-" + line.first));
            const auto kept = after.find(line.first);
            const int left = kept != after.end() ? kept->second : 0;
            if (gone != 0) {
                EXPECT_EQ(left, line.second - gone) << "not dropped: " << line.first;
            } else if (!mayGo) {
                EXPECT_GE(left, line.second) << "lost: " << line.first;
            }
        }
        for (const std::string& line : row.written)
            EXPECT_TRUE(line[0] == '-' || after.count(line) == 1) << "not written: " << line;
    }
}

TEST(CalendarItems, WhatTheHandheldTransliteratesIsNoChange) {
    std::string text = DataFile("apple_review.ics");
    text.replace(text.find("SUMMARY:Project review"), 22, "SUMMARY:Review with \xC5\x81ukasz");
    std::vector<std::string> warnings;
    const HostRecord device = Read(2, text, &warnings);
    ASSERT_NE(device.Value("7"), nullptr);
    EXPECT_EQ(*device.Value("7"), "Review with Lukasz");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("SUMMARY holds characters"), std::string::npos);
    EXPECT_EQ(Merge(2, text, device, In("Europe/Berlin")), text);
}

// Merged from the record as last synchronised, a device edit of the title
// leaves the times alone after the PC's zone setting changed, though the
// item read in the new zone would give the handheld other times.
TEST(CalendarItems, AZoneChangedSinceTheLastSyncIsNoDeviceEdit) {
    const std::string text = DataFile("google_finance.ics");
    const HostRecord lastSynced = Read(2, text);
    HostRecord device = lastSynced;
    Change(&device, {{"7", "Renamed"}});
    const std::string merged = Merge(2, text, device, In("Asia/Tokyo"), &lastSynced);
    const std::map<std::string, int> after = Lines(merged);
    for (const auto& line : Lines(text)) {
        const std::string name = line.first.substr(0, line.first.find_first_of(";:"));
        if (name == "DTSTART" || name == "DTEND" || name == "RRULE") {
            EXPECT_EQ(after.count(line.first), 1u) << "rewritten: " << line.first;
        }
    }
    EXPECT_EQ(after.count("SUMMARY:Renamed"), 1u) << merged;
}

// A lead written before the handheld's limits were minded (an hour, which
// its link carries as 00:60 and gives back as 0) is no device edit: a
// handheld edit of the title keeps the item's alarm.
TEST(CalendarItems, ALeadTheHandheldGaveBackOtherwiseIsNoDeviceEdit) {
    const std::string text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20261201T000000Z\r\n"
        "DTSTART:20261215T100000Z\r\nDTEND:20261215T110000Z\r\nSUMMARY:Review\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
        "TRIGGER:-PT1H\r\nDESCRIPTION:x\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    HostRecord lastSynced, device;
    lastSynced.fields = {{"3", "20261215"}, {"5", "1000"}, {"7", "Review"}, {"11", "1"}, {"12.D", "20261215"}, {"12.T", "0900"}};
    device.fields = lastSynced.fields;
    device.fields[2].second = "Renamed";
    device.fields[5].second = "1000";
    const std::string merged = Merge(2, text, device, In("UTC"), &lastSynced);
    EXPECT_EQ(Lines(merged).count("SUMMARY:Renamed"), 1u) << merged;
    EXPECT_EQ(Lines(merged).count("TRIGGER:-PT1H"), 1u) << merged;
}

// Items that are not what they should be: an error naming the item and
// the line, never a record made of what was left.  Line ends of any kind
// are read.
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
    struct Row { int32_t section; std::string text; uint32_t line; const char* reason; };
    const std::string event = Event();
    const std::vector<Row> rows = {
        {2, "", 0, "empty"},
        {2, event.substr(0, event.find("END:VEVENT")), 7, "ends inside VEVENT begun on line 4"},
        {2, Event(9, ""), 8, "ends inside VCALENDAR"},
        {2, Event(8, "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:b\r\nDTSTART:20261209T093000Z\r\nEND:VEVENT"), 10, "a second UID \"b\""},
        {2, Event(7, "SUMMARY:Caf\xE9"), 7, "not UTF-8"},
        {2, Event(2, "VERSION:1.0"), 2, "VERSION 1.0"},
        {2, Event(7, "this is no content line"), 7, "not a content line"},
        {2, Event(8, "END:VTODO"), 8, "END:VTODO where VEVENT of line 4 is open"},
        {2, Event(6, "DTSTART:20261x08T093000Z"), 6, "DTSTART"},
        {2, Event(7, "RRULE:FREQ=SOMETIMES"), 7, "RRULE"},
        {2, Event().replace(Event().find("Meeting"), 1, std::string(1, '\0')), 7, "a NUL byte"},
        {2, event + "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", 10, "more after END:VCALENDAR"},
        {2, Event(6, ""), 4, "no start date"},
        {3, event, 0, "not a task"},
        {4, event, 0, "not a memo"},
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
        std::string uid;
        const HostRecord record = Read(2, text, nullptr, "UTC", &uid);
        ASSERT_FALSE(record.fields.empty());
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

// RRULEs as the handheld repeats them: exactly where it can, else in the
// nearest form that puts no occurrence on a day the rule does not have,
// with a warning naming the item.
struct RuleRow {
    const char* start;  // DTSTART, Tuesday 1 December 2026 18:00 in Berlin when null
    const char* rule;   // the RRULE value and any line after it
    const char* fields;  // RepeatFlag/RepeatPeriod/RepeatCount/DayPattern/RepeatEndDate
    const char* warning;  // a piece of the one warning, or null for none
};

std::string Repeating(const RuleRow& row) {
    return std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:r\r\n") +
           (row.start != nullptr ? row.start : "DTSTART;TZID=Europe/Berlin:20261201T180000") +
           "\r\nSUMMARY:Yoga\r\nRRULE:" + row.rule + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

TEST(CalendarRules, WhatTheHandheldRepeats) {
    const std::vector<RuleRow> rows = {
        // 0: exact: every day, every other day three times, weekdays, weekly until its last start and
        // until the day before it
        {nullptr, "FREQ=DAILY", "Yes/1/1/0000/0", nullptr},
        {nullptr, "FREQ=DAILY;INTERVAL=2;COUNT=3", "Yes/1/2/0000/20261205", nullptr},
        {nullptr, "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR", "Yes/2/1/0031/0", nullptr},
        {nullptr, "FREQ=WEEKLY;BYDAY=TU;UNTIL=20270105T170000Z", "Yes/2/1/0002/20270105", nullptr},
        {nullptr, "FREQ=WEEKLY;UNTIL=20270105T165959Z", "Yes/2/1/0002/20270104", nullptr},
        // 5: monthly on the 1st, on the first Tuesday (two ways), yearly on its date, monthly on the
        // second and the last Tuesday
        {nullptr, "FREQ=MONTHLY;BYMONTHDAY=1", "Yes/3/1/0000/0", nullptr},
        {nullptr, "FREQ=MONTHLY;BYDAY=1TU", "Yes/4/1/0000/0", nullptr},
        {nullptr, "FREQ=MONTHLY;BYDAY=TU;BYSETPOS=1", "Yes/4/1/0000/0", nullptr},
        {nullptr, "FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=1", "Yes/5/1/0000/0", nullptr},
        {"DTSTART;TZID=Europe/Berlin:20261208T180000", "FREQ=MONTHLY;BYDAY=2TU", "Yes/4/1/0000/0", nullptr},
        {"DTSTART;TZID=Europe/Berlin:20261229T180000", "FREQ=MONTHLY;BYDAY=-1TU", "Yes/4/1/0000/0", nullptr},
        // 11: nearest forms: part of the days, coarser periods
        {nullptr, "FREQ=MONTHLY;BYMONTHDAY=1,15", "Yes/3/1/0000/0", "it gets monthly on the start's date"},
        {nullptr, "FREQ=YEARLY;BYMONTH=6,12", "Yes/5/1/0000/0", "it gets yearly"},
        {nullptr, "FREQ=HOURLY;INTERVAL=12;COUNT=6", "Yes/1/1/0000/20261204", "it gets daily until 20261204"},
        {nullptr, "FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=30", "No///0000/", "no repeat"},
        {nullptr, "FREQ=MONTHLY;BYDAY=1TU,3TU", "Yes/4/1/0000/0", "monthly on the start's weekday"},
        // 16: nothing safe: the first occurrence alone
        {nullptr, "FREQ=WEEKLY;BYDAY=WE", "No///0000/", "no repeat (the first occurrence alone)"},
        {nullptr, "FREQ=YEARLY;BYMONTH=12;BYDAY=1TU", "No///0000/", "no repeat"},
        // 18: days of the week every day or every other day: the start's day missing, and every other
        // day on Tuesdays and Wednesdays, which are every other week's Tuesday and the other weeks' Wednesday
        {nullptr, "FREQ=DAILY;BYDAY=MO,WE", "No///0000/", "no repeat (the first occurrence alone)"},
        {nullptr, "FREQ=DAILY;INTERVAL=2;BYDAY=TU,WE", "Yes/2/2/0002/0", "weekly every 2 on Tue"},
        // 20: extra dates are the PC's alone; a rule in UTC moves an hour with the handheld's DST
        {nullptr, "FREQ=WEEKLY\r\nRDATE;TZID=Europe/Berlin:20261203T180000", "Yes/2/1/0002/0", "RDATE"},
        {"DTSTART:20261201T170000Z", "FREQ=WEEKLY;COUNT=30", "Yes/2/1/0002/20270622", "at other times of day"},
        // 22: Sunday, the first day of the handheld's week
        {"DTSTART;TZID=Europe/Berlin:20261206T180000", "FREQ=WEEKLY;BYDAY=SU,WE", "Yes/2/1/0068/0", nullptr},
        // 23: a second alarm stays on the PC
        {nullptr,
         "FREQ=DAILY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
         "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nEND:VALARM",
         "Yes/1/1/0000/0", "the others stay on the PC"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + ": " + rows[i].rule);
        std::vector<std::string> warnings;
        const HostRecord record = Read(2, Repeating(rows[i]), &warnings);
        ASSERT_FALSE(record.fields.empty());
        const std::string fields = *record.Value("2") + "/" + *record.Value("14") + "/" + *record.Value("15") + "/" +
                                   *record.Value("22") + "/" + *record.Value("23");
        EXPECT_EQ(fields, rows[i].fields);
        ASSERT_EQ(warnings.size(), rows[i].warning != nullptr ? 1u : 0u);
        if (rows[i].warning != nullptr) {
            EXPECT_EQ(warnings[0].rfind("item.ics: ", 0), 0u);
            EXPECT_NE(warnings[0].find(rows[i].warning), std::string::npos) << warnings[0];
        }
    }
}

}  // namespace
}  // namespace calendar_test
