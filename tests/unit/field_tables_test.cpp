// The built-in device tables and link name maps, checked against a compact
// transcription of the schema written out here independently: a table is a
// list of "Name:type" words in id order, a map a list of link names, "-" for
// an empty entry, "=id" for an entry that fills another field than its own
// position and "=*" for a link-only entry.
#include "schema/field_table.h"
#include "schema/working_record.h"

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

struct ExpectedDatabase {
    uint32_t dbId;
    uint32_t fieldCount;
    uint32_t linkCount;
    const char* fields;
    const char* links;
};

const ExpectedDatabase kExpected[] = {
    {1, 23, 23,
     "ScheduleID:6 RepeatFlag:1 FromDate:6 ToDate:6 FromTime:8 ToTime:8 Description:9 Location:9 AllDayFlag:1 "
     "EventFlag:1 AlarmFlag:1 AlarmTime:8 AlarmUnit:2 RepeatPeriod:2 RepeatCount:2 NoteMemo:9 DeleteFlag:1 "
     "Secret:6 Category:9 SilentLoud:1 TimeZone:8 DayPattern:8 RepeatEndDate:6",
     "- S_REPEAT_FLAG S_START_DATE S_END_DATE S_START_TIME S_END_TIME S_DESCRIPTION4 S_LOCATION S_ALLDAY_FLAG "
     "S_EVENT_FLAG S_ALARM_FLAG S_ALARM_TIME - S_REPEAT_PREIOD S_REPEAT_COUNT S_NOTEMEMO S_DELETE_FLAG "
     "S_CONFIDENTIAL1 S_CATEGORY S_SILENT_LOUD - S_DAYPATTERN S_FIELD_REPEAT_END"},
    {6, 9, 9,
     "DueDate:6 Description:9 FinishFlag:1 Priority:2 Note:9 Category:9 Secret:6 StartDate:6 EndDate:6",
     "S_COMPLETION_DATE=8 S_DESCRIPTION3 S_COMPLETED S_PRIORITY S_NOTEMEMO S_CATEGORY S_CONFIDENTIAL1 "
     "S_START_DATE S_END_DATE=0"},
    {7, 44, 54,
     "F_Name:9 M_Name:9 L_Name:9 Phone_B:9 Phone_H:9 Phone_M:9 E_Mail_B:9 E_Mail_H:9 E_Mail_O:9 SMS:9 Pager:9 "
     "Fax_B:9 Fax_H:9 Company:9 Title:9 ZipCode_B:9 State_B:9 City_B:9 Street_B:9 CountryReg_B:9 ZipCode_H:9 "
     "State_H:9 City_H:9 Street_H:9 CountryReg_H:9 URL:9 Custom1:9 Custom2:9 Custom3:9 Custom4:9 NoteMemo:9 "
     "Category:9 Secret:6 Nickname:9 Spouse:9 HomeWebPage:9 Department:9 Birthday:6 Aniversary:6 HomeMb:9 "
     "Gendar:9 F_Name_Yomi:9 L_Name_Yomi:9 Company_Yomi:9",
     "S_FIRST_NAME S_MIDDLE_NAME S_LAST_NAME S_BUSINESS_PHONE S_HOME_PHONE S_PHONE_MOBILE S_BUSINESS_EMAIL "
     "S_HOME_EMAIL S_OTHER_EMAIL - S_PHONE_PAGER S_BUSINESS_FAX S_HOME_FAX S_COMPANY S_JOB_POSITION "
     "S_BUSINESS_ZIP S_STATE_B S_CITY_B S_STREET_B S_COUNTRYREG_B S_HOME_ZIP S_STATE_H S_CITY_H S_STREET_H "
     "S_COUNTRYREG_H S_BUSINESS_WEBPAGE - - - - S_NOTE1 S_CATEGORY S_CONFIDENTIAL1 S_NICKNAME S_SPOUSE "
     "S_HOME_WEBPAGE S_DEPARTMENT S_BIRTHDAY S_ANIVERSARY S_HOME_PHONE_MOBILE S_GENDAR S_YOMI_FIRST_NAME "
     "S_YOMI_LAST_NAME S_YOMI_COMPANY S_NAME=* S_YOMI_NAME=* S_HOME_PHONE2=* S_HOME_ADDRESS=* "
     "S_BUSINESS_PHONE2=* S_BUSINESS_ADDRESS=* S_ATTACHMENT2=* S_YOMI_MIDDLE_NAME=* SNYOMI_NAME=* "
     "SNYOMI_COMPANY=*"},
    {8, 5, 6, "Title:9 TimeStamp:9 NoteText:9 Category:9 Secret:6",
     "S_PAGE_TITLE S_START_DATETIME S_PAGE_NOTE S_NOTE_CATEGORIES S_CONFIDENTIAL1 S_CREATION_DATETIME=*"},
    {16, 26, 30,
     "MailAddress:9 FolderID:6 Type:2 MessageID:9 To:9 From:9 Cc:9 Bcc:9 Subject:9 Body:9 SendDate:9 "
     "RecvDate:9 IsRead:2 IsSent:2 IsAttachment:2 IsSMS:2 ServiceCenterAddress:9 OriginationAddress:9 "
     "ReferenceNumber:6 TotalNumber:6 SerialNumber:6 PDU:9 Priority:2 Replytoaddr:9 FromMail:9 "
     "AttachmentInfo:9",
     "- S_FOLDERID S_TYPE - S_TO S_FROM S_CC S_BCC S_SUBJECT S_BODY S_SEND_DATE S_RECEIVED_DATE=10 S_IS_READ "
     "S_IS_SENT S_ATTACHMENT2 S_ISSMS - - - - - - S_PRIORITY - - S_ATTACHMENT3 S_SIZE=* S_MAILID=* "
     "S_MAILINFO=* S_CONFIDENTIAL1=*"},
};

void PrintTo(const ExpectedDatabase& expected, std::ostream* os) { *os << "database " << expected.dbId; }

class TableTest : public ::testing::TestWithParam<ExpectedDatabase> {};

TEST_P(TableTest, FieldsHaveTheirNamesIdsAndTypes) {
    const ExpectedDatabase& expected = GetParam();
    const FieldTable* table = SelectFieldTable(expected.dbId);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->size, sizeof(FieldTable));
    EXPECT_EQ(table->reserved, 0u);
    EXPECT_EQ(table->tag, 10u);
    ASSERT_EQ(table->fieldCount, expected.fieldCount);
    std::vector<std::string> words = Words(expected.fields);
    ASSERT_EQ(words.size(), expected.fieldCount);
    for (uint32_t i = 0; i < table->fieldCount; ++i) {
        const FieldDescriptor& d = table->descriptors[i];
        std::string word = words[i];
        std::string name = word.substr(0, word.find(':'));
        uint32_t type = static_cast<uint32_t>(std::stoul(word.substr(word.find(':') + 1)));
        SCOPED_TRACE("db " + std::to_string(expected.dbId) + " field " + std::to_string(i));
        EXPECT_EQ(d.size, 108u);
        EXPECT_EQ(d.fieldId, i);
        EXPECT_STREQ(d.name, name.c_str());
        EXPECT_EQ(d.fieldType, type);
        // NUL-padded to the end of both arrays.
        for (size_t k = name.size(); k < sizeof(d.name); ++k) EXPECT_EQ(d.name[k], '\0');
        for (size_t k = strlen(d.displayName); k < sizeof(d.displayName); ++k) EXPECT_EQ(d.displayName[k], '\0');
    }
}

TEST_P(TableTest, LinkNamesFillTheirFields) {
    const ExpectedDatabase& expected = GetParam();
    DatabaseSchema schema;
    ASSERT_TRUE(SelectDatabaseSchema(expected.dbId, &schema));
    ASSERT_EQ(schema.linkNameCount, expected.linkCount);
    std::vector<std::string> words = Words(expected.links);
    ASSERT_EQ(words.size(), expected.linkCount);
    for (uint32_t k = 0; k < schema.linkNameCount; ++k) {
        const LinkFieldName& entry = schema.linkNames[k];
        std::string word = words[k];
        std::string name = word.substr(0, word.find('='));
        uint32_t id = k;
        if (word.find('=') != std::string::npos) {
            std::string target = word.substr(word.find('=') + 1);
            id = target == "*" ? 0xFFFFFFFFu : static_cast<uint32_t>(std::stoul(target));
        }
        if (name == "-") name.clear();
        SCOPED_TRACE("db " + std::to_string(expected.dbId) + " entry " + std::to_string(k));
        EXPECT_STREQ(entry.name, name.c_str());
        EXPECT_EQ(entry.fieldId, id);
        for (size_t b = name.size(); b < sizeof(entry.name); ++b) EXPECT_EQ(entry.name[b], '\0');
    }
}

INSTANTIATE_TEST_SUITE_P(AllDatabases, TableTest, ::testing::ValuesIn(kExpected),
                         [](const ::testing::TestParamInfo<ExpectedDatabase>& info) {
                             return "Db" + std::to_string(info.param.dbId);
                         });

TEST(FieldTables, AddressBookDisplayNames) {
    const std::map<std::string, std::string> renamed = {
        {"F_Name", "First Name"},
        {"M_Name", "Middle Name"},
        {"L_Name", "Last Name"},
        {"Phone_B", "Phone Business"},
        {"Phone_H", "Phone Home"},
        {"Phone_M", "Phone Mobile"},
        {"E_Mail_B", "E-Mail Business"},
        {"E_Mail_H", "E-Mail Home"},
        {"E_Mail_O", "E-Mail Other"},
        {"Fax_B", "Fax Business"},
        {"Fax_H", "Fax Home"},
        {"Company", "Company Name"},
        {"ZipCode_B", "Zip Code (Business)"},
        {"State_B", "State (Business)"},
        {"City_B", "City (Business)"},
        {"Street_B", "Street (Business)"},
        {"CountryReg_B", "Country/Region (Business)"},
        {"ZipCode_H", "Zip Code (Home)"},
        {"State_H", "State (Home)"},
        {"City_H", "City (Home)"},
        {"Street_H", "Street (Home)"},
        {"CountryReg_H", "Country/Region (Home)"},
        {"Custom1", "Custom Field 1"},
        {"Custom2", "Custom Field 2"},
        {"Custom3", "Custom Field 3"},
        {"Custom4", "Custom Field4"},
        {"NoteMemo", "Note Memo"},
    };
    const FieldTable* table = SelectFieldTable(7);
    ASSERT_NE(table, nullptr);
    size_t seen = 0;
    for (uint32_t i = 0; i < table->fieldCount; ++i) {
        const FieldDescriptor& d = table->descriptors[i];
        auto it = renamed.find(d.name);
        if (it == renamed.end()) {
            EXPECT_STREQ(d.displayName, d.name) << d.name;
        } else {
            EXPECT_STREQ(d.displayName, it->second.c_str()) << d.name;
            ++seen;
        }
    }
    EXPECT_EQ(seen, renamed.size());
}

TEST(FieldTables, OtherTablesDisplayTheirNames) {
    for (uint32_t dbId : {1u, 6u, 8u, 16u}) {
        const FieldTable* table = SelectFieldTable(dbId);
        ASSERT_NE(table, nullptr);
        for (uint32_t i = 0; i < table->fieldCount; ++i)
            EXPECT_STREQ(table->descriptors[i].displayName, table->descriptors[i].name) << dbId << "/" << i;
    }
}

// The cross-wirings that a reader of the maps is most likely to get wrong.
uint32_t LinkTarget(uint32_t dbId, const char* linkName) {
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema)) return 0xEEEEEEEEu;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k)
        if (strcmp(schema.linkNames[k].name, linkName) == 0) return schema.linkNames[k].fieldId;
    return 0xEEEEEEEEu;
}

TEST(FieldTables, CrossWiredLinkFields) {
    const FieldTable* todo = SelectFieldTable(6);
    ASSERT_NE(todo, nullptr);
    EXPECT_STREQ(todo->descriptors[LinkTarget(6, "S_END_DATE")].name, "DueDate");
    EXPECT_STREQ(todo->descriptors[LinkTarget(6, "S_COMPLETION_DATE")].name, "EndDate");
    EXPECT_STREQ(todo->descriptors[LinkTarget(6, "S_START_DATE")].name, "StartDate");
    const FieldTable* mail = SelectFieldTable(16);
    ASSERT_NE(mail, nullptr);
    EXPECT_STREQ(mail->descriptors[LinkTarget(16, "S_RECEIVED_DATE")].name, "SendDate");
    EXPECT_STREQ(mail->descriptors[LinkTarget(16, "S_SEND_DATE")].name, "SendDate");
}

TEST(FieldTables, UnknownDatabasesHaveNoTables) {
    for (uint32_t dbId : {0u, 2u, 5u, 15u, 17u, 0xFFFFFFFFu}) {
        DatabaseSchema schema{SelectFieldTable(1), nullptr, 99};
        EXPECT_FALSE(SelectDatabaseSchema(dbId, &schema)) << dbId;
        EXPECT_EQ(schema.table, nullptr);
        EXPECT_EQ(schema.linkNames, nullptr);
        EXPECT_EQ(schema.linkNameCount, 0u);
        EXPECT_EQ(SelectFieldTable(dbId), nullptr) << dbId;
    }
}

TEST(FieldTables, NamedFieldIdsMatchTheTables) {
    EXPECT_EQ(ScheduleField::Count, SelectFieldTable(1)->fieldCount);
    EXPECT_EQ(ToDoField::Count, SelectFieldTable(6)->fieldCount);
    EXPECT_EQ(AddressField::Count, SelectFieldTable(7)->fieldCount);
    EXPECT_EQ(MemoField::Count, SelectFieldTable(8)->fieldCount);
    EXPECT_EQ(MailField::Count, SelectFieldTable(16)->fieldCount);
    EXPECT_STREQ(SelectFieldTable(1)->descriptors[ScheduleField::AlarmTime].name, "AlarmTime");
    EXPECT_STREQ(SelectFieldTable(1)->descriptors[ScheduleField::RepeatEndDate].name, "RepeatEndDate");
    EXPECT_STREQ(SelectFieldTable(6)->descriptors[ToDoField::Priority].name, "Priority");
    EXPECT_STREQ(SelectFieldTable(7)->descriptors[AddressField::Aniversary].name, "Aniversary");
    EXPECT_STREQ(SelectFieldTable(7)->descriptors[AddressField::Company_Yomi].name, "Company_Yomi");
    EXPECT_STREQ(SelectFieldTable(8)->descriptors[MemoField::TimeStamp].name, "TimeStamp");
    EXPECT_STREQ(SelectFieldTable(16)->descriptors[MailField::FolderID].name, "FolderID");
    EXPECT_STREQ(SelectFieldTable(16)->descriptors[MailField::AttachmentInfo].name, "AttachmentInfo");
}

}  // namespace
