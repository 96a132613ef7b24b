// morvane-sync round trip: every database of a handheld exported, imported
// into a second, empty handheld and exported from there again.  The two
// exports must agree, and so must the link fields the two handhelds hold.
#include <gtest/gtest.h>

#include <tuple>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::DateTimeValue;
using tethra_sim::DateValue;
using tethra_sim::DeviceImage;
using tethra_sim::FieldValues;
using tethra_sim::LinkValue;
using tethra_sim::TextValue;
using tethra_sim::TimeValue;

LinkValue Byte(uint8_t value) { return tethra_sim::ByteValue(value); }
LinkValue Number(int32_t value) { return tethra_sim::NumberValue(value); }

// The records of the source handheld.  Every link field that the adapter
// carries in both directions holds a value, in the forms the adapter gives
// back: times on whole minutes (the host exchanges hhmm), a SilentLoud of 1
// (the adapter stores 1 whatever the host sends), memo titles equal to the
// first line of the memo text (the host's title is that line), mail whose
// Type and IsSMS follow its folder and whose IsSent and IsAttachment are 0
// (the adapter fills these from the host's folder alone), equal send and
// received dates (one device field feeds both), a composed S_NAME and
// S_YOMI_NAME.  The fields it never carries stay empty: the memo category
// (the host always reads it empty), and the link-only S_CREATION_DATETIME,
// S_MAILID, S_SIZE, S_MAILINFO and the mail's S_CONFIDENTIAL1.  The third
// appointment leaves its flags, repeat and alarm fields empty, as a
// handheld does for an appointment the user only gave a time.
std::vector<std::pair<uint32_t, FieldValues>> SourceRecords() {
    const FieldValues address = {
        {"S_NAME", TextValue("Berger, Anna M.")}, {"S_YOMI_NAME", TextValue("Beruga Anna")},
        {"S_FIRST_NAME", TextValue("Anna")},      {"S_MIDDLE_NAME", TextValue("M.")},
        {"S_LAST_NAME", TextValue("Berger")},     {"S_YOMI_FIRST_NAME", TextValue("Anna")},
        {"S_YOMI_LAST_NAME", TextValue("Beruga")}, {"S_CITY_H", TextValue("M\xFCnchen")},
        {"S_NOTE1", TextValue("Met at the fair.\nPrefers mail.")}, {"S_BIRTHDAY", DateValue(1988, 3, 14)},
        {"S_ANIVERSARY", DateValue(2015, 6, 20)}, {"S_CONFIDENTIAL1", Number(1)}};
    return {
        {1, {{"S_DESCRIPTION4", TextValue("Yoga")}, {"S_LOCATION", TextValue("Studio Kern")},
             {"S_START_DATE", DateValue(2026, 12, 1)}, {"S_END_DATE", DateValue(2026, 12, 1)},
             {"S_START_TIME", TimeValue(18, 0, 0)}, {"S_END_TIME", TimeValue(19, 15, 0)},
             {"S_ALLDAY_FLAG", Byte(0)}, {"S_EVENT_FLAG", Byte(0)}, {"S_ALARM_FLAG", Byte(1)},
             {"S_ALARM_TIME", TimeValue(0, 15, 0)}, {"S_REPEAT_FLAG", Byte(1)}, {"S_REPEAT_PREIOD", Byte(2)},
             {"S_REPEAT_COUNT", Byte(1)}, {"S_DAYPATTERN", Byte(0x0A)},
             {"S_FIELD_REPEAT_END", DateValue(2027, 3, 31)}, {"S_NOTEMEMO", TextValue("Bring the mat.\nFee paid.")},
             {"S_DELETE_FLAG", Byte(1)}, {"S_CONFIDENTIAL1", Number(1)}, {"S_CATEGORY", TextValue("Personal")},
             {"S_SILENT_LOUD", Byte(1)}}},
        {1, {{"S_DESCRIPTION4", TextValue("Anna's birthday")}, {"S_LOCATION", TextValue("Home")},
             {"S_START_DATE", DateValue(2026, 3, 14)}, {"S_END_DATE", DateValue(2026, 3, 14)},
             {"S_START_TIME", TimeValue(0, 0, 0)}, {"S_END_TIME", TimeValue(0, 0, 0)},
             {"S_ALLDAY_FLAG", Byte(1)}, {"S_EVENT_FLAG", Byte(1)}, {"S_ALARM_FLAG", Byte(1)},
             {"S_ALARM_TIME", TimeValue(0, 0, 0)}, {"S_REPEAT_FLAG", Byte(1)}, {"S_REPEAT_PREIOD", Byte(5)},
             {"S_REPEAT_COUNT", Byte(1)}, {"S_DAYPATTERN", Byte(0)}, {"S_FIELD_REPEAT_END", DateValue(1899, 12, 30)},
             {"S_NOTEMEMO", TextValue("Flowers")}, {"S_DELETE_FLAG", Byte(0)}, {"S_CONFIDENTIAL1", Number(0)},
             {"S_CATEGORY", TextValue("Family")}, {"S_SILENT_LOUD", Byte(1)}}},
        {1, {{"S_DESCRIPTION4", TextValue("Project review")}, {"S_START_DATE", DateValue(2026, 12, 8)},
             {"S_END_DATE", DateValue(2026, 12, 9)}, {"S_START_TIME", TimeValue(9, 30, 0)},
             {"S_END_TIME", TimeValue(10, 30, 0)}, {"S_SILENT_LOUD", Byte(1)}}},
        {6, {{"S_DESCRIPTION3", TextValue("Send report")}, {"S_START_DATE", DateValue(2026, 11, 2)},
             {"S_END_DATE", DateValue(2026, 11, 30)}, {"S_COMPLETED", Byte(1)},
             {"S_COMPLETION_DATE", DateValue(2026, 11, 28)}, {"S_PRIORITY", Byte(2)},
             {"S_NOTEMEMO", TextValue("Figures from\nLena")}, {"S_CATEGORY", TextValue("Business")},
             {"S_CONFIDENTIAL1", Number(1)}}},
        {6, {{"S_DESCRIPTION3", TextValue("Renew passport")}, {"S_START_DATE", DateValue(2026, 12, 1)},
             {"S_END_DATE", DateValue(2026, 12, 20)}, {"S_COMPLETED", Byte(0)}, {"S_PRIORITY", Byte(4)},
             {"S_NOTEMEMO", TextValue("Photos")}, {"S_CATEGORY", TextValue("Personal")},
             {"S_CONFIDENTIAL1", Number(0)}}},
        {7, address},
        {8, {{"S_PAGE_TITLE", TextValue("Shopping")}, {"S_PAGE_NOTE", TextValue("Shopping\nmilk\neggs")},
             {"S_START_DATETIME", DateTimeValue(2026, 12, 5, 17, 20, 0)}, {"S_CONFIDENTIAL1", Number(1)}}},
        {8, {{"S_PAGE_TITLE", TextValue("Gate code")}, {"S_PAGE_NOTE", TextValue("Gate code\n4711#")},
             {"S_START_DATETIME", DateTimeValue(2026, 11, 2, 8, 45, 0)}, {"S_CONFIDENTIAL1", Number(0)}}},
    };
}

// One mail of a device folder (0 received, 1 outbox, 2 sent, 3 saved).
FieldValues Mail(int32_t folder, const std::string& subject, uint8_t read, uint8_t priority) {
    const LinkValue when = DateTimeValue(2026, 12, 3 + folder, 20, 14, 0);
    return {{"S_FOLDERID", Number(folder)}, {"S_TYPE", Byte(folder == 0 ? 0 : 1)},
            {"S_TO", TextValue("me@example.org")}, {"S_FROM", TextValue("anna@example.net")},
            {"S_CC", TextValue("cc@example.net")}, {"S_BCC", TextValue("bcc@example.net")},
            {"S_SUBJECT", TextValue(subject)}, {"S_BODY", TextValue(subject + "\nAnna")},
            {"S_SEND_DATE", when}, {"S_RECEIVED_DATE", when}, {"S_IS_READ", Byte(read)}, {"S_IS_SENT", Byte(0)},
            {"S_ATTACHMENT2", Byte(0)}, {"S_ISSMS", Byte(0)}, {"S_PRIORITY", Byte(priority)},
            {"S_ATTACHMENT3", TextValue("agenda.pdf")}};
}

DeviceImage SourceImage() {
    DeviceImage image = tethra_sim::EmptyImage();
    // Every other text field of the address book the link carries (the
    // device lists them before its link-only fields, from S_HOME_PHONE2).
    const std::vector<tethra_sim::LinkField> fields = tethra_sim::BuiltInFields(7);
    for (auto& record : SourceRecords()) {
        for (size_t i = 0; record.first == 7 && fields[i].name != "S_HOME_PHONE2"; ++i) {
            bool named = fields[i].type != tethra_sim::kLinkText;
            for (const auto& value : record.second) named = named || value.first == fields[i].name;
            if (!named) record.second.push_back({fields[i].name, TextValue(fields[i].name.substr(2))});
        }
        EXPECT_NE(image.AddRecord(record.first, record.second), 0u) << record.first;
    }
    EXPECT_NE(image.AddRecord(16, Mail(0, "Saturday", 1, 2)), 0u);
    EXPECT_NE(image.AddRecord(16, Mail(0, "Minutes", 0, 4)), 0u);
    EXPECT_NE(image.AddRecord(16, Mail(3, "Price list", 1, 1)), 0u);
    EXPECT_NE(image.AddRecord(15, Mail(1, "Re: Price list", 1, 5)), 0u);
    EXPECT_NE(image.AddRecord(15, Mail(2, "Re: Saturday", 1, 3)), 0u);
    return image;
}

// What the second handheld's export gives for a host field of the first's:
// the same text, except where the adapter's own rules change it on the way.
std::string AfterTrip(const std::string& file, const std::string& field, const std::string& value) {
    // The memo text the adapter writes is the title, CR LF and the rest, and
    // the title read back is everything before the LF, CR included.
    if (file == "memo" && field == "1") return value + "\r";
    // An empty day pattern reads as empty text; PutField stores empty text
    // in a 16-bit number as 0, which reads as "0000".
    if (file == "schedule" && field == "22" && value.empty()) return "0000";
    return value;
}

json Without(json object, const char* key) {
    object.erase(key);
    return object;
}

// The device database and id of a record the host knows by id: a mail of
// the companion database carries bit 31.
std::pair<uint32_t, uint32_t> DeviceRecord(uint32_t dbId, int32_t hostId) {
    const uint32_t id = static_cast<uint32_t>(hostId);
    return (dbId == 16 && (id & 0x80000000u) != 0) ? std::make_pair(15u, id & 0x7FFFFFFFu) : std::make_pair(dbId, id);
}

TEST(HostRoundTrip, ImportIntoAnEmptyHandheldGivesTheSameExportAndTheSameLinkFields) {
    HostWorld world;
    const std::string first = world.SaveImage(SourceImage(), "first.json");
    const std::string second = world.SaveImage(tethra_sim::EmptyImage(), "second.json");
    const std::vector<std::vector<std::string>> steps = {
        {"export", "--device", first, "--out", world.Path("first")},
        {"import", "--in", world.Path("first"), "--device", second},
        {"export", "--full", "--device", second, "--out", world.Path("second")}};
    for (const auto& step : steps) ASSERT_TRUE(Ran(RunHost(step), 0)) << step[0];
    const DeviceImage firstImage = world.LoadImage(first), secondImage = world.LoadImage(second);
    static const std::tuple<const char*, uint32_t, size_t> kDatabases[] = {
        {"schedule", 1, 3}, {"todo", 6, 2}, {"address", 7, 1}, {"memo", 8, 2}, {"mail", 16, 5}};
    for (const auto& [file, dbId, count] : kDatabases) {
        const json before = ReadExport(world.Path("first"), file), after = ReadExport(world.Path("second"), file);
        ASSERT_EQ(before.value("records", json::array()).size(), count) << file;
        ASSERT_EQ(after.value("records", json::array()).size(), count) << file;
        EXPECT_EQ(Without(before, "records"), Without(after, "records")) << file;
        for (size_t r = 0; r < count; ++r) {
            json expected = Without(before["records"][r], "id");
            for (json& field : expected["fields"])
                field["value"] = AfterTrip(file, field["field"], field["value"]);
            EXPECT_EQ(expected, Without(after["records"][r], "id")) << file << " record " << r;
            const auto from = DeviceRecord(dbId, before["records"][r]["id"]);
            const auto to = DeviceRecord(dbId, after["records"][r]["id"]);
            for (const tethra_sim::LinkField& field : tethra_sim::BuiltInFields(dbId))
                EXPECT_EQ(ComparableValue(field.type, ValueOf(firstImage, from.first, from.second, field.name)),
                          ComparableValue(field.type, ValueOf(secondImage, to.first, to.second, field.name)))
                    << file << " record " << r << " " << field.name;
        }
    }
}

}  // namespace
}  // namespace host_test
