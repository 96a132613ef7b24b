// Items with more than the handheld keeps: a text too long for a field
// (the handheld gets its start), an alarm it cannot hold (it gets the
// nearest), a repeating task done on it (it moves on, on both sides).  A
// read of every record then finds nothing changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "records/field_map.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using host_test::Ran;
using tethra_sim::TextValue;

const size_t kHandheldBytes = 45055;  // of a field's value, the most the handheld gives back

struct LongItem {
    const char* name;
    int32_t section;
    const char* file;        // in the section's collection
    std::string text;        // with % where the long text goes
    const char* field;       // the device field that holds it
    const char* edited;      // another device field a handheld edit changes, or null
};

const LongItem kItems[] = {
    {"contact", morvane_host::kAddressSection, "long.vcf",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:long-1\r\nFN:Lena Long\r\nN:Long;Lena;;;\r\nNOTE:%\r\nEND:VCARD\r\n", "S_NOTE1",
     "S_COMPANY"},
    {"event", morvane_host::kScheduleSection, "long.ics",
     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//y//EN\r\nBEGIN:VEVENT\r\nUID:long-1\r\nDTSTAMP:20261201T000000Z\r\n"
     "DTSTART:20261210T100000Z\r\nDTEND:20261210T110000Z\r\nSUMMARY:Long\r\nDESCRIPTION:%\r\nEND:VEVENT\r\n"
     "END:VCALENDAR\r\n",
     "S_NOTEMEMO", "S_DESCRIPTION4"},
    // The handheld keeps a memo's title as the first line of its text.
    {"memo", morvane_host::kMemoSection, "long.ics",
     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//y//EN\r\nBEGIN:VJOURNAL\r\nUID:long-1\r\nDTSTAMP:20261201T000000Z\r\n"
     "SUMMARY:Long\r\nDESCRIPTION:%\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
     "S_PAGE_NOTE", nullptr},
    {"mail", morvane_host::kMailSection, "Inbox/cur/1765188000.M1P1.host:2,S",
     "From: a@example.com\r\nTo: me@example.org\r\nSubject: Long\r\nDate: Tue, 08 Dec 2026 10:00:00 +0000\r\n"
     "Message-ID: <long-1@example.com>\r\n\r\n%",
     "S_BODY", nullptr},
};

std::string TextLongerThanTheHandheldKeeps() {
    std::string text;
    while (text.size() < 60000) text += "A line of a text longer than the handheld keeps. ";
    return text;
}

class LongText : public Synced, public testing::WithParamInterface<LongItem> {};

TEST_P(LongText, TheHandheldGetsItsStartAndNothingElseChanges) {
    const LongItem& row = GetParam();
    const uint32_t dbId = DeviceDatabase(row.section);
    std::string text = row.text;
    text.replace(text.find('%'), 1, TextLongerThanTheHandheldKeeps());
    const std::string path = world.Folder(row.section) + "/" + row.file;
    testing_support::WriteFile(path, text);

    const HostRun first = world.Sync({"--verbose"});
    ASSERT_TRUE(Ran(first, 0));
    EXPECT_NE(first.output.find("more than the handheld keeps"), std::string::npos) << first.output;
    const uint32_t id = world.FindRecord(dbId, row.field, row.section == morvane_host::kMemoSection ? "Long" : "A line");
    ASSERT_NE(id, 0u) << first.output;
    EXPECT_EQ(world.TextOf(dbId, id, row.field).size(), kHandheldBytes);

    ASSERT_TRUE(ReadingEverythingAgainWritesNothing(world));  // the cut text is what was written
    EXPECT_TRUE(world.InAgreement(row.section));

    if (row.edited == nullptr) return;
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        ASSERT_TRUE(image.ChangeRecord(dbId, id, {{row.edited, TextValue("Edited")}}));
    });
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const std::string merged = ReadFile(path);
    EXPECT_NE(merged.find("Edited"), std::string::npos) << merged.substr(0, 400);
    EXPECT_NE(merged.find(TextLongerThanTheHandheldKeeps()), std::string::npos) << "the whole text stays on the PC";
}

INSTANTIATE_TEST_SUITE_P(Items, LongText, testing::ValuesIn(kItems), RowName());

// Alarms as people set them, and the lead the handheld holds (hhmm, its
// alarm's minutes before the start as the adapter carries them).
const std::pair<const char*, int> kAlarms[] = {
    {"-PT45M", 45}, {"-PT1H", 59}, {"-PT90M", 100}, {"-P1D", 1440}, {"-P2DT3H", 2359}, {"PT10M", 0},
};

class Alarms : public Synced {};

TEST_F(Alarms, GetTheNearestLeadTheHandheldHolds) {
    const uint32_t dbId = DeviceDatabase(morvane_host::kScheduleSection);
    for (const auto& alarm : kAlarms)
        testing_support::WriteFile(world.Folder(morvane_host::kScheduleSection) + "/alarm" + alarm.first + ".ics",
                                   std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//y//EN\r\nBEGIN:VEVENT\r\n"
                                               "UID:alarm") + alarm.first + "\r\nDTSTAMP:20261201T000000Z\r\n"
                                   "DTSTART:20261215T100000Z\r\nDTEND:20261215T110000Z\r\nSUMMARY:Alarm " + alarm.first +
                                   "\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:" + alarm.first +
                                   "\r\nDESCRIPTION:x\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (const auto& alarm : kAlarms) {
        const uint32_t id = world.FindRecord(dbId, "S_DESCRIPTION4", std::string("Alarm ") + alarm.first);
        const tethra_sim::LinkValue lead = tethra_sim::TimeValue(alarm.second / 100, alarm.second % 100, 0);
        EXPECT_EQ(world.TextOf(dbId, id, "S_ALARM_TIME"), std::string(lead.bytes.begin(), lead.bytes.end()))
            << alarm.first;
    }
    EXPECT_TRUE(ReadingEverythingAgainWritesNothing(world)) << "no alarm read back as changed";
}

// Repeating tasks as todoman writes them, done on the handheld, move on to
// their next occurrence on both sides (start and due alike, a count one
// fewer); the last of a counted rule is done.
struct RepeatingTask {
    const char* lines;       // the VTODO's own lines
    const char* after;       // lines the PC's item holds then, separated by '|'
    tethra_sim::LinkValue due;  // the handheld's due date then
    bool done;
};

const RepeatingTask kRepeating[] = {
    {"DTSTART;VALUE=DATE:20261207\r\nDUE;VALUE=DATE:20261208\r\nRRULE:FREQ=WEEKLY\r\n",
     "DTSTART;VALUE=DATE:20261214|DUE;VALUE=DATE:20261215|RRULE:FREQ=WEEKLY|STATUS:NEEDS-ACTION",
     tethra_sim::DateValue(2026, 12, 15), false},
    {"DUE;TZID=Europe/Berlin:20261231T090000\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=3\r\n",
     "DUE;TZID=Europe/Berlin:20270131T090000|COUNT=2|STATUS:NEEDS-ACTION", tethra_sim::DateValue(2027, 1, 31), false},
    {"DUE;VALUE=DATE:20261208\r\nRRULE:FREQ=DAILY;COUNT=1\r\n", "DUE;VALUE=DATE:20261208|STATUS:COMPLETED",
     tethra_sim::DateValue(2026, 12, 8), true},
};

class RepeatingTasks : public Synced {};

TEST_F(RepeatingTasks, DoneOnTheHandheldMoveOnToTheirNextOccurrence) {
    const uint32_t dbId = DeviceDatabase(morvane_host::kToDoSection);
    for (size_t i = 0; i < std::size(kRepeating); ++i)
        testing_support::WriteFile(world.Folder(morvane_host::kToDoSection) + "/chore" + std::to_string(i) + ".ics",
                                   "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//y//EN\r\nBEGIN:VTODO\r\nUID:chore" +
                                       std::to_string(i) + "\r\nSUMMARY:Chore " + std::to_string(i) + "\r\n" +
                                       kRepeating[i].lines + "STATUS:NEEDS-ACTION\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (size_t i = 0; i < std::size(kRepeating); ++i)
        world.ChangeRecord(dbId, "S_DESCRIPTION3", "Chore " + std::to_string(i),
                           {{"S_COMPLETED", tethra_sim::ByteValue(1)},
                            {"S_COMPLETION_DATE", tethra_sim::DateValue(2026, 12, 9)}});
    const HostRun dry = world.Sync({"--dry-run"});
    EXPECT_TRUE(Ran(dry, 0, {"\"Chore 0\" moved on", "\"Chore 1\" moved on"}));
    EXPECT_TRUE(std::regex_search(dry.output, std::regex("ToDo +\\| +0 +3 +0 +\\| +0 +2 +0"))) << dry.output;
    EXPECT_EQ(dry.output.find("\"Chore 2\" moved on"), std::string::npos);
    ASSERT_TRUE(Ran(world.Sync(), 0));
    for (size_t i = 0; i < std::size(kRepeating); ++i) {
        const RepeatingTask& row = kRepeating[i];
        const std::string text = ReadFile(world.Folder(morvane_host::kToDoSection) + "/chore" + std::to_string(i) + ".ics");
        std::string after = row.after;
        for (size_t at = 0, bar; at <= after.size(); at = bar + 1) {
            bar = std::min(after.find('|', at), after.size());
            EXPECT_NE(text.find(after.substr(at, bar - at)), std::string::npos) << i << ":\n" << text;
        }
        const uint32_t id = world.FindRecord(dbId, "S_DESCRIPTION3", "Chore " + std::to_string(i));
        EXPECT_EQ(world.TextOf(dbId, id, "S_END_DATE"), std::string(row.due.bytes.begin(), row.due.bytes.end())) << i;
        EXPECT_EQ(world.TextOf(dbId, id, "S_COMPLETED").find_first_not_of('\0') != std::string::npos, row.done) << i;
    }
    EXPECT_TRUE(world.InAgreement(morvane_host::kToDoSection));
    EXPECT_TRUE(ReadingEverythingAgainWritesNothing(world));
    // The series moved on is the base of the next handheld edit: its rule stays.
    world.ChangeRecord(dbId, "S_DESCRIPTION3", "Chore 0", {{"S_DESCRIPTION3", TextValue("Chore zero")}});
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const std::string chore = ReadFile(world.Folder(morvane_host::kToDoSection) + "/chore0.ics");
    for (const char* line : {"SUMMARY:Chore zero", "RRULE:FREQ=WEEKLY", "DUE;VALUE=DATE:20261215"})
        EXPECT_NE(chore.find(line), std::string::npos) << line << "\n" << chore;
}

// A handheld whose texts are in another character set: named once, the
// set is kept, so that a later sync reads the handheld's edit alike.
TEST_F(Synced, AHandheldsCharacterSetNamedOnceIsKept) {
    ASSERT_TRUE(Ran(world.Sync({"--device-charset", "WINDOWS-1251"}), 0));
    world.ChangeRecord(7, "S_LAST_NAME", "Okafor", {{"S_FIRST_NAME", tethra_sim::TextValue("\xC8\xE2\xE0\xED")}});
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_NE(ReadFile(world.FindFile(morvane_host::kAddressSection, "Okafor")).find("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"),
              std::string::npos);  // Иван
    EXPECT_TRUE(Ran(host_test::RunHost({"status", "--store", world.store()}), 0, {"its texts in WINDOWS-1251"}));
}

// Other programs' samples (Apple, Google, Nextcloud, Outlook, Thunderbird,
// todoman, jtx, mail readers), with what the handheld has no place for,
// reach it; read again, or without the state, nothing is taken for a change.
TEST_F(Synced, ItemsOfOtherProgramsAreNoChangeWhenReadAgain) {
    const std::string samples = std::string(MORVANE_SOURCE_DIR) + "/tests/pim/data";
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        const std::string name = entry.path().filename().string(), text = ReadFile(entry.path().string());
        const std::string kind = entry.path().extension().string();
        if (kind == ".eml") {
            testing_support::WriteFile(world.Folder(morvane_host::kMailSection) + "/Inbox/cur/" + name + ":2,S", text);
            continue;
        }
        const int32_t section = kind == ".vcf"                                      ? morvane_host::kAddressSection
                                : text.find("BEGIN:VTODO") != std::string::npos    ? morvane_host::kToDoSection
                                : text.find("BEGIN:VJOURNAL") != std::string::npos ? morvane_host::kMemoSection
                                                                                   : morvane_host::kScheduleSection;
        testing_support::WriteFile(world.Folder(section) + "/" + name, text);
    }
    ASSERT_TRUE(Ran(world.Sync(), 0));
    const auto files = Tree(world.store());
    std::vector<size_t> records;
    for (int32_t section = 1; section <= 5; ++section) records.push_back(world.DeviceCount(section));
    EXPECT_TRUE(ReadingEverythingAgainWritesNothing(world));
    std::filesystem::remove_all(world.store() + "/.morvane");
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_EQ(Tree(world.store()), files);
    for (int32_t section = 1; section <= 5; ++section) {
        EXPECT_EQ(world.DeviceCount(section), records[section - 1]) << section;
        EXPECT_TRUE(world.InAgreement(section));
    }
}

}  // namespace
}  // namespace sync_test
