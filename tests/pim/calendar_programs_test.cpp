// What we write, other programs read: Python's icalendar and vobject read
// every item, khal lists the events and todoman the tasks from a vdir of
// items (tests/pim/calendar_programs.py checks them).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "calendar_records.h"
#include "pim/formats.h"
#include "support/sandbox.h"

namespace calendar_test {
namespace {

struct Written {
    int32_t section;
    const char* zone;
    const char* file;  // under the vdir
    Fields fields;
};

// Writes each record's item into a vdir with the expectations, and runs
// the check; its output when it fails.
void ExpectProgramsRead(const std::vector<Written>& items, const std::string& expected) {
    testing_support::Sandbox sandbox;
    const std::string folder = sandbox.root() + "/vdir";
    for (const char* sub : {"", "/cal", "/tasks", "/journal"}) mkdir((folder + sub).c_str(), 0700);
    for (const Written& w : items) {
        morvane_pim::Item item;
        morvane_pim::Problem problem;
        const std::string uid = std::string(w.file).substr(std::string(w.file).find('/') + 1, 2);
        ASSERT_TRUE(morvane_pim::CalendarToItem(w.section, Record(w.section, w.fields), uid, In(w.zone), &item, &problem));
        testing_support::WriteFile(folder + "/" + w.file, item.text);
    }
    testing_support::WriteFile(folder + "/expected.json", expected);
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string command = python + " " + MORVANE_SOURCE_DIR + "/tests/pim/calendar_programs.py " + folder +
                                " > " + folder + "/out.txt 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << testing_support::ReadFile(folder + "/out.txt");
}

TEST(CalendarPrograms, EventsReadByIcalendarVobjectAndKhal) {
    ExpectProgramsRead(
        {
            {2, "Europe/Berlin", "cal/e1.ics", {{"7", "M\xFCnchen review"}, {"11", "1"}, {"12.D", "20261208"}, {"12.T", "0915"}}},
            {2, "Europe/Berlin", "cal/e2.ics",
             {{"2", "Yes"}, {"3", "20261201"}, {"4", "20261201"}, {"5", "1800"}, {"6", "1915"}, {"7", "Yoga"},
              {"14", "2"}, {"15", "1"}, {"22", "0010"}, {"23", "20270331"}}},
            {2, "Europe/Berlin", "cal/e3.ics", {{"4", "20261210"}, {"5", ""}, {"6", ""}, {"9", "1"}, {"7", "Fair"}}},
            {2, "America/New_York", "cal/e4.ics", {{"3", "20260308"}, {"4", "20260308"}, {"5", "0330"}, {"6", "0400"}, {"7", "Early call"}}},
            {2, "UTC", "cal/e5.ics", {{"3", "20261209"}, {"4", "20261209"}, {"5", "1200"}, {"6", "1230"}, {"7", "Call"}}},
        },
        R"({"items": [
             {"file": "cal/e1.ics", "uid": "e1", "summary": "München review", "start": "2026-12-08T08:30Z"},
             {"file": "cal/e2.ics", "uid": "e2", "summary": "Yoga", "start": "2026-12-01T17:00Z"},
             {"file": "cal/e3.ics", "uid": "e3", "summary": "Fair", "start": "2026-12-08"},
             {"file": "cal/e4.ics", "uid": "e4", "summary": "Early call", "start": "2026-03-08T07:30Z"},
             {"file": "cal/e5.ics", "uid": "e5", "summary": "Call", "start": "2026-12-09T12:00Z"}],
            "khal": {"zone": "America/New_York", "from": "2026-03-01", "to": "2027-04-05",
                     "lines": ["2026-12-08 03:30 2026-12-08 04:30 München review",
                               "2026-12-01 12:00 2026-12-01 13:15 Yoga", "2027-03-30 12:00 2027-03-30 13:15 Yoga",
                               "2026-12-08 2026-12-10 Fair", "2026-12-08 2026-12-10 Fair", "2026-12-08 2026-12-10 Fair",
                               "2026-03-08 03:30 2026-03-08 04:00 Early call", "2026-12-09 07:00 2026-12-09 07:30 Call"],
                     "absent": ["2027-04-01 12:00 2027-04-01 13:15 Yoga"]}})");
}

TEST(CalendarPrograms, TasksReadByIcalendarVobjectAndTodoman) {
    ExpectProgramsRead(
        {
            {3, "Europe/Berlin", "tasks/t1.ics", {}},
            {3, "Europe/Berlin", "tasks/t2.ics", {{"1", ""}, {"2", "Report"}, {"3", "1"}, {"4", "0"}, {"9", "20261206"}}},
            {3, "UTC", "tasks/t3.ics", {{"2", "B\xFC" "cher"}, {"4", "1"}, {"8", ""}}},
        },
        R"({"items": [
             {"file": "tasks/t1.ics", "uid": "t1", "summary": "Renew passport", "start": "2026-12-01"},
             {"file": "tasks/t2.ics", "uid": "t2", "summary": "Report", "start": "2026-12-01"},
             {"file": "tasks/t3.ics", "uid": "t3", "summary": "Bücher"}],
            "todoman": [{"summary": "Renew passport", "due": "2026-12-20", "completed": false, "priority": 1},
                        {"summary": "Report", "due": null, "completed": true, "priority": 9},
                        {"summary": "Bücher", "due": "2026-12-20", "completed": false, "priority": 5}]})");
}

TEST(CalendarPrograms, MemosReadByIcalendarAndVobject) {
    ExpectProgramsRead(
        {
            {4, "Europe/Berlin", "journal/j1.ics", {}},
            {4, "Europe/Berlin", "journal/j2.ics", {{"1", "Gate code"}, {"3", "4711#"}, {"5", "1"}}},
        },
        R"({"items": [
             {"file": "journal/j1.ics", "uid": "j1", "summary": "Shopping", "start": "2026-12-05T17:20"},
             {"file": "journal/j2.ics", "uid": "j2", "summary": "Gate code", "start": "2026-12-05T17:20"}]})");
}

}  // namespace
}  // namespace calendar_test
