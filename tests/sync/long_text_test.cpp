// Items with a text longer than the handheld keeps of a field: the handheld
// gets the start of it and the sync goes on, a read of every record finds
// nothing changed, and a handheld edit of another field leaves the PC's
// whole text in place.
#include <gtest/gtest.h>

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

void PrintTo(const LongItem& row, std::ostream* out) { *out << row.name; }

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

    // Every record read again: the cut text is what was written.
    const auto before = Tree(world.store());
    ASSERT_TRUE(world.ExecOnState("UPDATE databases SET full_sync_due = 1;"));
    ASSERT_TRUE(Ran(world.Sync(), 0));
    EXPECT_EQ(Tree(world.store()), before);
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

INSTANTIATE_TEST_SUITE_P(Items, LongText, testing::ValuesIn(kItems),
                         [](const testing::TestParamInfo<LongItem>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sync_test
