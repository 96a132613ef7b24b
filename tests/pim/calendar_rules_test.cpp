// RRULEs as the handheld repeats them: exactly where it can, else in the
// nearest form that puts no occurrence on a day the rule does not have,
// with a warning naming the item.
#include <gtest/gtest.h>

#include "calendar_records.h"
#include "pim/formats.h"

namespace calendar_test {
namespace {

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
        // 12
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
        morvane_pim::HostRecord record;
        std::string uid;
        std::vector<std::string> warnings;
        morvane_pim::Problem problem;
        ASSERT_TRUE(morvane_pim::ItemToCalendar(2, morvane_pim::Item{Repeating(rows[i])}, "yoga.ics",
                                                In("Europe/Berlin"), &record, &uid, &warnings, &problem))
            << problem.reason;
        const std::string fields = *record.Value("2") + "/" + *record.Value("14") + "/" + *record.Value("15") + "/" +
                                   *record.Value("22") + "/" + *record.Value("23");
        EXPECT_EQ(fields, rows[i].fields);
        ASSERT_EQ(warnings.size(), rows[i].warning != nullptr ? 1u : 0u);
        if (rows[i].warning != nullptr) {
            EXPECT_EQ(warnings[0].rfind("yoga.ics: ", 0), 0u);
            EXPECT_NE(warnings[0].find(rows[i].warning), std::string::npos) << warnings[0];
        }
    }
}

}  // namespace
}  // namespace calendar_test
