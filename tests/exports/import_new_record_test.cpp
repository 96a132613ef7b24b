// New records written by the host, one of each database with every host
// field, as the simulated device stores them and as a later export reads
// them back.
#include "exports/import_world.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace import_tests;
using session_tests::SessionWorld;
using tethra_sim::DateTimeValue;
using tethra_sim::DateValue;
using tethra_sim::LinkValue;
using tethra_sim::NumberValue;
using tethra_sim::TextValue;
using tethra_sim::TimeValue;

namespace {

struct StoredField {
    std::string link;
    LinkValue value;
};
using ReadBacks = std::vector<std::pair<std::string, std::string>>;

struct NewRecordCase {
    const char* name;
    int32_t section;
    uint32_t dbId;
    int32_t hostFolder;  // E-mail only
    Puts puts;
    std::vector<StoredField> stored;
    ReadBacks readBacks;
};

NewRecordCase ScheduleCase() {
    return {"Schedule",
            export_tests::kScheduleSection,
            1,
            0,
            {{"1", "77"},          {"2", "0"},        {"3.D", "20030415"}, {"4", "20030416"},
             {"5", "0930"},        {"6", "1030"},     {"7", "Dentist"},    {"8", "High St"},
             {"9", "0"},           {"10", "0"},       {"11", "1"},         {"12.D", "20030415"},
             {"12.T", "0915"},     {"13", "20030415"}, {"14", "2"},        {"15", "3"},
             {"16", "Bring card"}, {"17", "0"},       {"18", "1"},         {"19", "Health"},
             {"20", "0"},          {"21", "60"},      {"22", "65"},        {"23", "20031231"}},
            {{"S_DESCRIPTION4", TextValue("Dentist")},
             {"S_LOCATION", TextValue("High St")},
             {"S_START_DATE", DateValue(2003, 4, 15)},
             {"S_END_DATE", DateValue(2003, 4, 16)},
             {"S_START_TIME", TimeValue(9, 30, 0)},
             {"S_END_TIME", TimeValue(10, 30, 0)},
             {"S_ALLDAY_FLAG", Wide(0)},
             {"S_EVENT_FLAG", Wide(0)},
             {"S_ALARM_FLAG", Wide(1)},
             {"S_ALARM_TIME", TimeValue(0, 15, 0)},
             {"S_REPEAT_FLAG", Wide(0)},
             {"S_REPEAT_PREIOD", Wide(0)},
             {"S_REPEAT_COUNT", Wide(0)},
             {"S_DAYPATTERN", Wide(65)},
             {"S_FIELD_REPEAT_END", DateValue(2003, 12, 31)},
             {"S_NOTEMEMO", TextValue("Bring card")},
             {"S_DELETE_FLAG", Wide(0)},
             {"S_CONFIDENTIAL1", NumberValue(1)},
             {"S_CATEGORY", TextValue("Health")},
             {"S_SILENT_LOUD", Wide(1)}},
            {{"2", "No"},
             {"3", "20030415"},
             {"4", "20030416"},
             {"5", "0930"},
             {"6", "1030"},
             {"7", "Dentist"},
             {"8", "High St"},
             {"11", "1"},
             {"12.D", "20030415"},
             {"12.T", "0915"},
             {"16", "Bring card"},
             {"18", "1"},
             {"19", "Health"},
             {"22", "0065"},
             {"23", "20031231"}}};
}

NewRecordCase ToDoCase() {
    return {"ToDo",
            export_tests::kToDoSection,
            6,
            0,
            {{"1", "20030501"},
             {"2", "Call Bob"},
             {"3", "1"},
             {"4", "1"},
             {"5", "About the roof"},
             {"6", "Work"},
             {"7", "1"},
             {"8", "20030420"},
             {"9", "20030502"}},
            {{"S_END_DATE", DateValue(2003, 5, 1)},
             {"S_DESCRIPTION3", TextValue("Call Bob")},
             {"S_COMPLETED", Wide(1)},
             {"S_PRIORITY", Wide(3)},  // host 1, device 2, link 3
             {"S_NOTEMEMO", TextValue("About the roof")},
             {"S_CATEGORY", TextValue("Work")},
             {"S_CONFIDENTIAL1", NumberValue(1)},
             {"S_START_DATE", DateValue(2003, 4, 20)},
             {"S_COMPLETION_DATE", DateValue(2003, 5, 2)}},
            {{"1", "20030501"},
             {"2", "Call Bob"},
             {"3", "1"},
             {"4", "1"},
             {"5", "About the roof"},
             {"6", "Work"},
             {"7", "1"},
             {"8", "20030420"},
             {"9", "20030502"}}};
}

// Link names of the Address book fields, host field i + 1 at position i;
// empty for the fields the link does not carry.
const char* const kAddressLinks[44] = {
    "S_FIRST_NAME", "S_MIDDLE_NAME", "S_LAST_NAME", "S_BUSINESS_PHONE", "S_HOME_PHONE",           // 0
    "S_PHONE_MOBILE", "S_BUSINESS_EMAIL", "S_HOME_EMAIL", "S_OTHER_EMAIL", "",                    // 5
    "S_PHONE_PAGER", "S_BUSINESS_FAX", "S_HOME_FAX", "S_COMPANY", "S_JOB_POSITION",               // 10
    "S_BUSINESS_ZIP", "S_STATE_B", "S_CITY_B", "S_STREET_B", "S_COUNTRYREG_B",                    // 15
    "S_HOME_ZIP", "S_STATE_H", "S_CITY_H", "S_STREET_H", "S_COUNTRYREG_H",                        // 20
    "S_BUSINESS_WEBPAGE", "", "", "", "",                                                         // 25
    "S_NOTE1", "S_CATEGORY", "S_CONFIDENTIAL1", "S_NICKNAME", "S_SPOUSE",                         // 30
    "S_HOME_WEBPAGE", "S_DEPARTMENT", "S_BIRTHDAY", "S_ANIVERSARY", "S_HOME_PHONE_MOBILE",        // 35
    "S_GENDAR", "S_YOMI_FIRST_NAME", "S_YOMI_LAST_NAME", "S_YOMI_COMPANY",                        // 40
};

NewRecordCase AddressCase() {
    NewRecordCase c{"AddressBook", export_tests::kAddressSection, 7, 0, {}, {}, {}};
    for (int i = 0; i < 44; ++i) {
        const std::string id = std::to_string(i + 1);
        std::string value = "v" + id;
        LinkValue stored = TextValue(value);
        if (i == 0) value = "Ada";
        if (i == 1) value = "B";
        if (i == 2) value = "Lovelace";
        if (i == 32) value = "1";
        if (i == 37) value = "19701210";
        if (i == 38) value = "19950601";
        if (i == 41) value = "Eida";
        if (i == 42) value = "Rabureisu";
        if (i != 32 && i != 37 && i != 38) stored = TextValue(value);
        if (i == 32) stored = NumberValue(1);
        if (i == 37) stored = DateValue(1970, 12, 10);
        if (i == 38) stored = DateValue(1995, 6, 1);
        c.puts.push_back({id, value});
        if (kAddressLinks[i][0] != '\0') c.stored.push_back({kAddressLinks[i], stored});
        if (kAddressLinks[i][0] != '\0') c.readBacks.push_back({id, value});
    }
    c.stored.push_back({"S_NAME", TextValue("Lovelace, Ada B")});
    c.stored.push_back({"S_YOMI_NAME", TextValue("Rabureisu Eida")});
    c.stored.push_back({"S_HOME_ADDRESS", TextValue("")});
    return c;
}

NewRecordCase MemoCase() {
    return {"Memo",
            export_tests::kMemoSection,
            8,
            0,
            {{"1", "Shop"}, {"2.D", "20030415"}, {"2.T", "0930"}, {"3", "milk\neggs"}, {"4", "Ideas"}, {"5", "1"}},
            {{"S_PAGE_TITLE", TextValue("Shop")},
             {"S_PAGE_NOTE", TextValue("Shop\r\nmilk\neggs")},
             {"S_START_DATETIME", DateTimeValue(2003, 4, 15, 9, 30, 0)},
             {"S_CREATION_DATETIME", TextValue("")},
             {"S_NOTE_CATEGORIES", TextValue("Ideas")},
             {"S_CONFIDENTIAL1", NumberValue(1)}},
            // The title is read as the note's first line, with the CR the
            // host's line break left before its LF.
            {{"1", "Shop\r"}, {"2.D", "20030415"}, {"2.T", "0930"}, {"3", "milk\r\neggs"}, {"5", "1"}}};
}

NewRecordCase MailCase() {
    return {"Mail",
            export_tests::kMailSection,
            16,
            2,
            {{"1", "me@example.org"}, {"4", "<id@x>"},  {"5", "ann@example.org"}, {"6", "me@example.org"},
             {"7", "cc@example.org"}, {"8", "bcc@x"},   {"9", "Hello"},            {"10", "Body\ntext"},
             {"11.D", "20030415"},    {"11.T", "0930"}, {"12", "x"},               {"13", "1"},
             {"14", "1"},             {"15", "1"},      {"16", "1"},               {"23", "2"},
             {"26", "file.txt"}},
            {{"S_FOLDERID", NumberValue(1)},
             {"S_TYPE", Wide(1)},
             {"S_TO", TextValue("ann@example.org")},
             {"S_FROM", TextValue("me@example.org")},
             {"S_CC", TextValue("cc@example.org")},
             {"S_BCC", TextValue("bcc@x")},
             {"S_SUBJECT", TextValue("Hello")},
             {"S_BODY", TextValue("Body\ntext")},
             {"S_SEND_DATE", DateTimeValue(2003, 4, 15, 9, 30, 0)},
             {"S_RECEIVED_DATE", DateTimeValue(2003, 4, 15, 9, 30, 0)},
             {"S_IS_READ", Wide(1)},
             {"S_IS_SENT", Wide(0)},
             {"S_ATTACHMENT2", Wide(0)},
             {"S_ISSMS", Wide(0)},
             {"S_PRIORITY", Wide(3)},
             {"S_ATTACHMENT3", TextValue("file.txt")},
             {"S_MAILID", TextValue("")}},
            {{"5", "ann@example.org"},
             {"9", "Hello"},
             {"10", "Body\r\ntext"},
             {"11.D", "20030415"},
             {"11.T", "0930"},
             {"13", "1"},
             {"23", "2"},
             {"26", "file.txt"}}};
}

class NewRecord : public testing::TestWithParam<NewRecordCase (*)()> {};

TEST_P(NewRecord, EveryHostFieldReachesTheDeviceAndComesBack) {
    const NewRecordCase c = GetParam()();
    SessionWorld world;
    StartImport(world, c.section);
    if (c.hostFolder != 0) {
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(c.hostFolder));
    }
    std::string idText;
    ASSERT_EQ(0, AddNew(world, c.puts, &idText));
    const uint32_t id = static_cast<uint32_t>(std::stol(idText));
    ASSERT_NE(0u, id);
    const uint32_t deviceDb = c.dbId == 16 ? 15u : c.dbId;  // host folder 2: the companion database
    const uint32_t deviceId = c.dbId == 16 ? id + 0x80000000u : id;
    ASSERT_EQ(1u, LiveDb(deviceDb).records.size());
    for (const StoredField& field : c.stored) {
        EXPECT_EQ(Stored(deviceDb, deviceId, field.link), field.value) << field.link;
    }
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(c.section, 1, 0));

    ExportFirst(world, c.section);
    EXPECT_EQ(Field(world, "UID"), idText);
    for (const auto& readBack : c.readBacks) EXPECT_EQ(Field(world, readBack.first), readBack.second) << readBack.first;
}

INSTANTIATE_TEST_SUITE_P(Databases, NewRecord,
                         testing::Values(&ScheduleCase, &ToDoCase, &AddressCase, &MemoCase, &MailCase),
                         [](const testing::TestParamInfo<NewRecordCase (*)()>& info) { return info.param().name; });

}  // namespace
