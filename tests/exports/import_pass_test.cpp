// The import pass: new records of each database with every host field, as the device stores them and a
// later export reads them back; changed records, deletes, every way storing can fail, and the first
// synchronisation's queue.
#include "exports/export_world.h"

#include "platform/platform_test.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace export_tests;
using tethra_sim::DateTimeValue;
using tethra_sim::DateValue;
using tethra_sim::LinkValue;
using tethra_sim::NumberValue;
using tethra_sim::TextValue;
using tethra_sim::TimeValue;
namespace fs = std::filesystem;

namespace {

using StoredFields = std::vector<std::pair<std::string, LinkValue>>;  // link field, value

struct NewRecordCase {
    const char* name;
    int32_t section;
    uint32_t dbId;
    int32_t hostFolder;  // E-mail only
    Puts puts;
    StoredFields stored;
    Puts readBacks;
};

NewRecordCase ScheduleCase() {
    return {"Schedule", kScheduleSection, kScheduleDb, 0,
            {{"1", "77"}, {"2", "0"}, {"3.D", "20030415"}, {"4", "20030416"}, {"5", "0930"}, {"6", "1030"},
             {"7", "Dentist"}, {"8", "High St"}, {"9", "0"}, {"10", "0"}, {"11", "1"}, {"12.D", "20030415"},
             {"12.T", "0915"}, {"13", "20030415"}, {"14", "2"}, {"15", "3"}, {"16", "Bring card"}, {"17", "0"},
             {"18", "1"}, {"19", "Health"}, {"20", "0"}, {"21", "60"}, {"22", "65"}, {"23", "20031231"}},
            {{"S_DESCRIPTION4", TextValue("Dentist")}, {"S_LOCATION", TextValue("High St")},
             {"S_START_DATE", DateValue(2003, 4, 15)}, {"S_END_DATE", DateValue(2003, 4, 16)},
             {"S_START_TIME", TimeValue(9, 30, 0)}, {"S_END_TIME", TimeValue(10, 30, 0)}, {"S_ALLDAY_FLAG", Wide(0)},
             {"S_EVENT_FLAG", Wide(0)}, {"S_ALARM_FLAG", Wide(1)}, {"S_ALARM_TIME", TimeValue(0, 15, 0)},
             {"S_REPEAT_FLAG", Wide(0)}, {"S_REPEAT_PREIOD", Wide(0)}, {"S_REPEAT_COUNT", Wide(0)},
             {"S_DAYPATTERN", Wide(65)}, {"S_FIELD_REPEAT_END", DateValue(2003, 12, 31)},
             {"S_NOTEMEMO", TextValue("Bring card")}, {"S_DELETE_FLAG", Wide(0)}, {"S_CONFIDENTIAL1", NumberValue(1)},
             {"S_CATEGORY", TextValue("Health")}, {"S_SILENT_LOUD", Wide(1)}},
            {{"2", "No"}, {"3", "20030415"}, {"4", "20030416"}, {"5", "0930"}, {"6", "1030"}, {"7", "Dentist"},
             {"8", "High St"}, {"11", "1"}, {"12.D", "20030415"}, {"12.T", "0915"}, {"16", "Bring card"},
             {"18", "1"}, {"19", "Health"}, {"22", "0065"}, {"23", "20031231"}}};
}

NewRecordCase ToDoCase() {
    const Puts puts = {{"1", "20030501"}, {"2", "Call Bob"}, {"3", "1"}, {"4", "1"}, {"5", "About the roof"},
                       {"6", "Work"}, {"7", "1"}, {"8", "20030420"}, {"9", "20030502"}};
    return {"ToDo", kToDoSection, kToDoDb, 0, puts,
            {{"S_END_DATE", DateValue(2003, 5, 1)}, {"S_DESCRIPTION3", TextValue("Call Bob")},
             {"S_COMPLETED", Wide(1)}, {"S_PRIORITY", Wide(3)},  // host 1, device 2, link 3
             {"S_NOTEMEMO", TextValue("About the roof")}, {"S_CATEGORY", TextValue("Work")},
             {"S_CONFIDENTIAL1", NumberValue(1)}, {"S_START_DATE", DateValue(2003, 4, 20)},
             {"S_COMPLETION_DATE", DateValue(2003, 5, 2)}},
            puts};
}

// Link names of the Address book fields, host field i + 1 at position i; "" where the link has none.
const char* const kAddressLinks[44] = {
    "S_FIRST_NAME", "S_MIDDLE_NAME", "S_LAST_NAME", "S_BUSINESS_PHONE", "S_HOME_PHONE",     // 0
    "S_PHONE_MOBILE", "S_BUSINESS_EMAIL", "S_HOME_EMAIL", "S_OTHER_EMAIL", "",              // 5
    "S_PHONE_PAGER", "S_BUSINESS_FAX", "S_HOME_FAX", "S_COMPANY", "S_JOB_POSITION",         // 10
    "S_BUSINESS_ZIP", "S_STATE_B", "S_CITY_B", "S_STREET_B", "S_COUNTRYREG_B",              // 15
    "S_HOME_ZIP", "S_STATE_H", "S_CITY_H", "S_STREET_H", "S_COUNTRYREG_H",                  // 20
    "S_BUSINESS_WEBPAGE", "", "", "", "",                                                   // 25
    "S_NOTE1", "S_CATEGORY", "S_CONFIDENTIAL1", "S_NICKNAME", "S_SPOUSE",                   // 30
    "S_HOME_WEBPAGE", "S_DEPARTMENT", "S_BIRTHDAY", "S_ANIVERSARY", "S_HOME_PHONE_MOBILE",  // 35
    "S_GENDAR", "S_YOMI_FIRST_NAME", "S_YOMI_LAST_NAME", "S_YOMI_COMPANY",                  // 40
};

// Every Address field holds "v<id>" but the names, the secret flag (a number) and the two dates.
NewRecordCase AddressCase() {
    NewRecordCase c{"AddressBook", kAddressSection, kAddressDb, 0, {}, {}, {}};
    const std::vector<std::tuple<int, const char*, LinkValue>> special = {
        {0, "Ada", TextValue("Ada")},         {1, "B", TextValue("B")},
        {2, "Lovelace", TextValue("Lovelace")}, {32, "1", NumberValue(1)},
        {37, "19701210", DateValue(1970, 12, 10)}, {38, "19950601", DateValue(1995, 6, 1)},
        {41, "Eida", TextValue("Eida")},      {42, "Rabureisu", TextValue("Rabureisu")}};
    for (int i = 0; i < 44; ++i) {
        const std::string id = std::to_string(i + 1);
        std::string value = "v" + id;
        LinkValue stored = TextValue(value);
        for (const auto& [at, text, link] : special)
            if (at == i) value = text, stored = link;
        c.puts.push_back({id, value});
        if (kAddressLinks[i][0] == '\0') continue;
        c.stored.push_back({kAddressLinks[i], stored});
        c.readBacks.push_back({id, value});
    }
    c.stored.push_back({"S_NAME", TextValue("Lovelace, Ada B")});
    c.stored.push_back({"S_YOMI_NAME", TextValue("Rabureisu Eida")});
    c.stored.push_back({"S_HOME_ADDRESS", TextValue("")});
    return c;
}

// The title is read back as the note's first line, with the CR the host's line break left before its LF.
NewRecordCase MemoCase() {
    return {"Memo", kMemoSection, kMemoDb, 0,
            {{"1", "Shop"}, {"2.D", "20030415"}, {"2.T", "0930"}, {"3", "milk\neggs"}, {"4", "Ideas"}, {"5", "1"}},
            {{"S_PAGE_TITLE", TextValue("Shop")}, {"S_PAGE_NOTE", TextValue("Shop\r\nmilk\neggs")},
             {"S_START_DATETIME", DateTimeValue(2003, 4, 15, 9, 30, 0)}, {"S_CREATION_DATETIME", TextValue("")},
             {"S_NOTE_CATEGORIES", TextValue("Ideas")}, {"S_CONFIDENTIAL1", NumberValue(1)}},
            {{"1", "Shop\r"}, {"2.D", "20030415"}, {"2.T", "0930"}, {"3", "milk\r\neggs"}, {"5", "1"}}};
}

NewRecordCase MailCase() {
    const LinkValue when = DateTimeValue(2003, 4, 15, 9, 30, 0);
    return {"Mail", kMailSection, kMailDb, 2,
            {{"1", "me@example.org"}, {"4", "<id@x>"}, {"5", "ann@example.org"}, {"6", "me@example.org"},
             {"7", "cc@example.org"}, {"8", "bcc@x"}, {"9", "Hello"}, {"10", "Body\ntext"}, {"11.D", "20030415"},
             {"11.T", "0930"}, {"12", "x"}, {"13", "1"}, {"14", "1"}, {"15", "1"}, {"16", "1"}, {"23", "2"},
             {"26", "file.txt"}},
            {{"S_FOLDERID", NumberValue(1)}, {"S_TYPE", Wide(1)}, {"S_TO", TextValue("ann@example.org")},
             {"S_FROM", TextValue("me@example.org")}, {"S_CC", TextValue("cc@example.org")},
             {"S_BCC", TextValue("bcc@x")}, {"S_SUBJECT", TextValue("Hello")}, {"S_BODY", TextValue("Body\ntext")},
             {"S_SEND_DATE", when}, {"S_RECEIVED_DATE", when}, {"S_IS_READ", Wide(1)}, {"S_IS_SENT", Wide(0)},
             {"S_ATTACHMENT2", Wide(0)}, {"S_ISSMS", Wide(0)}, {"S_PRIORITY", Wide(3)},
             {"S_ATTACHMENT3", TextValue("file.txt")}, {"S_MAILID", TextValue("")}},
            {{"5", "ann@example.org"}, {"9", "Hello"}, {"10", "Body\r\ntext"}, {"11.D", "20030415"}, {"11.T", "0930"},
             {"13", "1"}, {"23", "2"}, {"26", "file.txt"}}};
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
    // Host folder 2 is the companion database's.
    const uint32_t deviceDb = c.dbId == kMailDb ? kCompanionDb : c.dbId;
    const uint32_t deviceId = c.dbId == kMailDb ? id + kCompanionBit : id;
    ASSERT_EQ(1u, LiveDb(deviceDb).records.size());
    for (const auto& [link, value] : c.stored) EXPECT_EQ(Stored(deviceDb, deviceId, link), value) << link;
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(c.section, 1, 0));

    ExportFirst(world, c.section);
    EXPECT_EQ(Field(world, "UID"), idText);
    for (const auto& [field, text] : c.readBacks) EXPECT_EQ(Field(world, field), text) << field;
}

INSTANTIATE_TEST_SUITE_P(Databases, NewRecord,
                         testing::Values(&ScheduleCase, &ToDoCase, &AddressCase, &MemoCase, &MailCase),
                         [](const testing::TestParamInfo<NewRecordCase (*)()>& info) { return info.param().name; });

// A timed entry 09:30 to 10:30 with its alarm on the start day, stored and read back.  The link carries
// the lead as a time of day: an hour or more is no valid minute, and the alarm reads as the start.
TEST(ScheduleRoundTrip, AnAlarmLeadSurvivesOnlyBelowAnHour) {
    const std::pair<const char*, bool> kLeads[] = {
        {"0930", true}, {"0929", true}, {"0831", true}, {"0830", false}, {"0800", false}};
    for (const auto& [alarmTime, survives] : kLeads) {
        SCOPED_TRACE(alarmTime);
        SessionWorld world;
        StartImport(world, kScheduleSection);
        ASSERT_EQ(0, AddNew(world, {{"3.D", "20030415"}, {"4", "20030415"}, {"5", "0930"}, {"6", "1030"},
                                    {"7", "Weekly"}, {"11", "1"}, {"12.D", "20030415"}, {"12.T", alarmTime}},
                            nullptr));
        ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kScheduleSection, 1, 0));
        ExportFirst(world, kScheduleSection);
        EXPECT_EQ(Field(world, "12.D"), "20030415");
        EXPECT_EQ(Field(world, "12.T"), survives ? alarmTime : "0930");
    }
}

// The write record gives back, by device field id, only the texts written into it; reading writes no
// line and keeps the last error.  A stored record keeps its id but no values; a new one clears the error.
TEST(ChangedRecord, GetFieldByWriteRecGivesOnlyWhatWasWritten) {
    SessionWorld world;
    const uint32_t id = world.image().AddRecord(kToDoDb, {{"S_DESCRIPTION3", TextValue("old")},
                                                          {"S_NOTEMEMO", TextValue("on the device")}});
    StartImport(world, kToDoSection);
    ASSERT_EQ(0, world.api().DIZ_API_FindRecord(std::to_string(id).c_str()));
    ASSERT_EQ(0, world.api().DIZ_API_PutField("2", "Call Bob"));  // Description, device field 1
    ASSERT_EQ(0, world.api().DIZ_API_PutField("5", ""));          // Note, device field 4
    PlatformFailCall("HeapAlloc", 1, 0);
    EXPECT_EQ(-9, world.api().DIZ_API_PutField("6", "Work"));  // Category, device field 5
    PlatformClearFaults();
    world.TakeTrace();
    char value[32] = "";
    EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(1, value));
    EXPECT_STREQ("Call Bob", value);
    for (const int32_t field : {4, 5, 99, 0}) {
        strcpy(value, "marker");
        EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(field, value));
        EXPECT_STREQ("marker", value) << field;
    }
    EXPECT_TRUE(world.TakeTrace().empty());
    EXPECT_EQ(0x10000004u, world.LastError());
    ASSERT_EQ(0, world.api().DIZ_API_FlushRecord());
    EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(1, value));
    EXPECT_STREQ("marker", value);
    char idText[16] = "";
    EXPECT_EQ(0, world.api().DIZ_API_GetRecordID_Attachment(idText));
    EXPECT_EQ(std::to_string(id), idText);
    EXPECT_EQ(0, world.api().DIZ_API_InsertRecord());
    EXPECT_EQ(0u, world.LastError());
}

TEST(Delete, MainAndCompanionMailRecordsAndADeviceRefusal) {
    SessionWorld world;
    const uint32_t main = world.image().AddRecord(kMailDb, Mail("main", 0));
    world.image().AddRecord(kCompanionDb, Mail("other", 1));
    const uint32_t companion = world.image().AddRecord(kCompanionDb, Mail("companion", 2));
    StartImport(world, kMailSection);
    const std::string companionText = std::to_string(static_cast<int32_t>(companion + kCompanionBit));
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord(companionText.c_str()));
    EXPECT_EQ(world.TakeTrace(), (Lines{"***** DIZ_API_DeleteRecord('" + companionText + "')",
                                        "     ------ QAPI.QPC_DeleteRecordData(db=16, id=" + companionText + ")"}));
    ASSERT_EQ(1u, LiveDb(kCompanionDb).records.size());
    EXPECT_NE(LiveDb(kCompanionDb).records[0].id, companion);
    EXPECT_EQ(0, world.api().DIZ_API_DeleteRecord((std::to_string(main) + "abc").c_str()));
    EXPECT_EQ(0u, LiveDb(kMailDb).records.size());

    EXPECT_EQ(-10, world.api().DIZ_API_DeleteRecord("5"));
    EXPECT_EQ(world.LastError(), tethra_sim::kErrRecordNotFound);
    EXPECT_TRUE(HasLine(world.TakeTrace(), "S_DVXDeleteRecordData failed"));

    // An id text that reads as 0 is refused without asking the device.
    CountCalls("S_DVXDeleteRecordData");
    for (const std::string text : {"0", "abc", ""}) {
        const std::string refused = "Record ID 0 ('" + text + "') is invalid in this context";
        EXPECT_EQ(-10, world.api().DIZ_API_DeleteRecord(text.c_str())) << text;
        EXPECT_EQ(-11, world.api().DIZ_API_FindRecord(text.c_str())) << text;
        EXPECT_EQ(world.TakeTrace(), (Lines{"***** DIZ_API_DeleteRecord('" + text + "')", refused,
                                            "***** DIZ_API_FindRecord('" + text + "')", refused}));
    }
    EXPECT_EQ(0u, CallsSeen("S_DVXDeleteRecordData"));
}

// Every way AddRecord and FlushRecord can fail.  The database holds one record "kept"; the host writes
// "new" into it (FlushRecord) or into a new one (AddRecord), maybe one field more, then a platform
// function or device operation fails at its n-th call.  Nothing may reach the device; the write record
// must be gone.
enum class Store { kAdd, kFlush };

struct StoreFaultRow {
    const char* name;
    Store store;
    int32_t section;
    const char* field;      // a host field written besides the text, "" none
    const char* value;
    int32_t folder;         // DIZ_API_SetFolderID before the record, -1 none
    bool firstSync;         // the pass reads the database in full first
    const char* operation;  // platform function or device operation, "" none
    unsigned nth;
    tethra_sim::FaultEffect effect;  // of a device operation
    int32_t result;
    uint32_t lastError;
    Lines trace;            // of the store call; "#" stands for the record's id
};
void PrintTo(const StoreFaultRow& row, std::ostream* out) { *out << row.name; }

using tethra_sim::FaultEffect;
constexpr FaultEffect kFails = FaultEffect::kFail;
const char kAddLine[] = "***** DIZ_API_AddRecord('unchanged')";
const char kFlushLine[] = "***** DIZ_API_FlushRecord()";
const std::string kPut = "     ------ QAPI.QPC_PutRecordData(dwDBID=6, &TTwriteRec, 1, &count) dwRecId=";
const std::string kAddPut = kPut + "0 pszRecordID='unchanged'";
const std::string kFlushPut = kPut + "#";
const char kAlarmLine[] = "***** DIZ_API_SetAlarm('0', '0')";
const char kNoMemory1[] = "Failed to get enough memory (1 B) for data value.";
const char kNoMemory4[] = "Failed to get enough memory (4 B) for data value.";
const char kSetNoMemory[] = "***** ***** Manually setting Quenda Error: 10000004";
const char kCountZero[] = "Written record count came back 0 from QV_DVXPutRecordData";
const char kInvalidFolder[] = "Invalid folder ID [0] passed in to DIZ_API_WriteFolderID.";
const char kBadFolderReturn[] = "Bad return from DIZ_API_WriteFolderID, failing.";
constexpr uint32_t kNoMemory = 0x10000004u;
constexpr int32_t kSchedule = kScheduleSection, kToDo = kToDoSection, kMail = kMailSection;

const StoreFaultRow kStoreFaults[] = {
    {"AddAlarm", Store::kAdd, kSchedule, "11", "1", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kAddLine, kAlarmLine, kNoMemory1, kSetNoMemory, "Bad return from DIZ_API_SetAlarm, failing."}},
    {"AddFolderNotSet", Store::kAdd, kMail, "", "", -1, false, "", 0, kFails, -9, 0,
     {kAddLine, "***** DIZ_API_WriteFolderID(0)", kInvalidFolder, kBadFolderReturn}},
    {"AddFolderMemory", Store::kAdd, kMail, "", "", 1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kAddLine, "***** DIZ_API_WriteFolderID(1)", kNoMemory4, kSetNoMemory, kBadFolderReturn}},
    {"AddConversion", Store::kAdd, kToDo, "", "", -1, false, "HeapCreate", 1, kFails, -12, 0,
     {kAddLine, "QVTOTT CONVERT failed"}},
    // The conversion heap is the first heap the add creates, the batch's the second.
    {"AddQueueCopy", Store::kAdd, kToDo, "", "", -1, true, "HeapCreate", 2, kFails, -9, kNoMemory,
     {kAddLine, kAddPut, "S_DVXPutRecordData(IsGetFirstPutRecord) failed"}},
    {"AddPut", Store::kAdd, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, kFails, -9, kInjected,
     {kAddLine, kAddPut, "S_DVXPutRecordData failed"}},
    {"AddCountZero", Store::kAdd, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, FaultEffect::kZeroCount, -9,
     kInjected, {kAddLine, kAddPut, "id after put: 0", kCountZero, DeviceErrorLine(kInjected)}},
    {"FlushAlarm", Store::kFlush, kSchedule, "11", "1", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, kAlarmLine, kNoMemory1, kSetNoMemory}},
    {"FlushEventFlag", Store::kFlush, kSchedule, "5", "", -1, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, kAlarmLine, "***** DIZ_API_SetEventFlag()", kNoMemory1, kSetNoMemory,
      "Bad return from DIZ_API_SetEventFlag, failing."}},
    {"FlushFolderNotSet", Store::kFlush, kMail, "", "", 0, false, "", 0, kFails, -9, 0,
     {kFlushLine, "***** DIZ_API_WriteFolderID(0)", kInvalidFolder}},
    {"FlushFolderMemory", Store::kFlush, kMail, "", "", 4, false, "HeapAlloc", 1, kFails, -9, kNoMemory,
     {kFlushLine, "***** DIZ_API_WriteFolderID(4)", kNoMemory4, kSetNoMemory}},
    {"FlushConversion", Store::kFlush, kToDo, "", "", -1, false, "HeapCreate", 1, kFails, -12, 0,
     {kFlushLine, "QVTOTT CONVERT failed"}},
    {"FlushPut", Store::kFlush, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, kFails, -12, kInjected,
     {kFlushLine, kFlushPut, "S_DVXPutRecordData failed", DeviceErrorLine(kInjected)}},
    {"FlushCountZero", Store::kFlush, kToDo, "", "", -1, false, "S_DVXPutRecordData", 1, FaultEffect::kZeroCount,
     -12, 0, {kFlushLine, kFlushPut, kCountZero}},
};

// Per section: the device database and the text field the host writes.
struct TextField {
    uint32_t dbId;
    const char* hostField;
    int32_t deviceField;
    const char* linkName;
};

TextField TextFieldOf(int32_t section) {
    if (section == kSchedule) return {kScheduleDb, "7", 6, "S_DESCRIPTION4"};
    if (section == kMail) return {kMailDb, "9", 8, "S_SUBJECT"};
    return {kToDoDb, "2", 1, "S_DESCRIPTION3"};
}

Lines WithRecordId(Lines lines, uint32_t id) {
    for (std::string& line : lines) {
        const size_t at = line.find('#');
        if (at != std::string::npos) line.replace(at, 1, std::to_string(id));
    }
    return lines;
}

class StoreFault : public testing::TestWithParam<StoreFaultRow> {};

TEST_P(StoreFault, FailsWithNothingOnTheDevice) {
    const StoreFaultRow& row = GetParam();
    const TextField text = TextFieldOf(row.section);
    SessionWorld world;
    const uint32_t id = world.image().AddRecord(text.dbId, {{text.linkName, TextValue("kept")}});
    (row.firstSync ? StartFirstSync : StartImport)(world, row.section);
    if (row.folder >= 0) {
        ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(row.folder));
    }
    ASSERT_EQ(0, row.store == Store::kAdd ? world.api().DIZ_API_InsertRecord()
                                          : world.api().DIZ_API_FindRecord(std::to_string(id).c_str()));
    ASSERT_EQ(0, world.api().DIZ_API_PutField(text.hostField, "new"));
    if (row.field[0] != '\0') {
        ASSERT_EQ(0, world.api().DIZ_API_PutField(row.field, row.value));
    }
    world.TakeTrace();

    const std::string operation = row.operation;
    if (operation.rfind("S_DVX", 0) == 0) {
        tethra_sim::LiveDevice()->FailCall(operation, row.nth, kInjected, false, row.effect);
    } else if (!operation.empty()) {
        PlatformFailCall(row.operation, row.nth, 0);
    }
    char idText[16] = "unchanged";
    EXPECT_EQ(row.result, row.store == Store::kAdd ? world.api().DIZ_API_AddRecord(idText)
                                                   : world.api().DIZ_API_FlushRecord());
    PlatformClearFaults();
    EXPECT_STREQ(idText, "unchanged");
    EXPECT_EQ(world.LastError(), row.lastError);
    EXPECT_EQ(world.TakeTrace(), WithRecordId(row.trace, id));

    ASSERT_EQ(1u, LiveDb(text.dbId).records.size());
    EXPECT_EQ(Stored(text.dbId, id, text.linkName), TextValue("kept"));
    EXPECT_EQ(0u, LiveDb(kCompanionDb).records.size());
    char value[8] = "marker";
    EXPECT_EQ(0, world.api().DIZ_API_GetFieldByWriteRec(text.deviceField, value));
    EXPECT_STREQ(value, "marker");
}

INSTANTIATE_TEST_SUITE_P(Paths, StoreFault, testing::ValuesIn(kStoreFaults), RowName());

// The first synchronisation of a database: after an export pass that read it in full, new records are
// queued under provisional ids and reach the device in one bulk write per device database at the close,
// inside the maker's wait box; a device database that refuses bulk writes gets each record at once.
TEST(FirstSync, RecordsAreQueuedWithProvisionalIdsAndWrittenAtClose) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        SessionWorld world;
        world.image().Find(kToDoDb)->firstSyncPutAllowed = !refused;
        StartFirstSync(world, kToDoSection);
        CountCalls("S_DVXPutFirstSyncRecordData");
        for (const char* expected : {"1", "2", "3"}) {
            std::string id;
            ASSERT_EQ(0, AddNew(world, {{"2", std::string("task ") + expected}}, &id));
            EXPECT_EQ(id, expected);
        }
        EXPECT_EQ(refused ? 3u : 0u, LiveDb(kToDoDb).records.size());
        ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kToDoSection, 1, 0));
        EXPECT_EQ(refused ? 0u : 1u, CallsSeen("S_DVXPutFirstSyncRecordData"));
        const tethra_sim::Database& db = LiveDb(kToDoDb);
        ASSERT_EQ(3u, db.records.size());
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Stored(kToDoDb, db.records[i].id, "S_DESCRIPTION3"), TextValue("task " + std::to_string(i + 1)));
    }
}

// A new import pass drops what the one before queued and did not write.
TEST(FirstSync, ANewImportPassStartsWithAnEmptyQueue) {
    SessionWorld world;
    StartFirstSync(world, kToDoSection);
    std::string id;
    ASSERT_EQ(0, AddNew(world, {{"2", "dropped"}}, &id));
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, AddNew(world, {{"2", "kept"}}, &id));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kToDoSection, 1, 0));
    const tethra_sim::Database& db = LiveDb(kToDoDb);
    ASSERT_EQ(1u, db.records.size());
    EXPECT_EQ(Stored(kToDoDb, db.records[0].id, "S_DESCRIPTION3"), TextValue("kept"));
}

TEST(FirstSync, QueueStaysOffWhenTheFirstRecordCameWithoutAFullRead) {
    SessionWorld world;
    StartImport(world, kToDoSection);
    std::string first, second;
    ASSERT_EQ(0, AddNew(world, {{"2", "direct"}}, &first));
    // A full read now does not switch queueing on before the next BeginImport.
    OpenExport(world, kToDoSection, 0);
    ASSERT_EQ(0, AddNew(world, {{"2", "direct too"}}, &second));
    ASSERT_EQ(2u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(first, std::to_string(LiveDb(kToDoDb).records[0].id));
    EXPECT_EQ(second, std::to_string(LiveDb(kToDoDb).records[1].id));
}

// Command lines of the processes running the program at hostPath, arguments separated by blanks.  A
// program of another processor (the 32-bit build's tests) runs inside the emulator binfmt_misc hands it
// to, whose command line is the emulator's name, the program's path, then the program's own arguments
// from the first on (binfmt_misc's "P" flag).
std::vector<std::string> CommandLines(const std::string& hostPath) {
    std::vector<std::string> lines;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        std::error_code linkError;
        const bool direct = fs::read_symlink(entry.path() / "exe", linkError) == fs::path(hostPath) && !linkError;
        std::string arguments = testing_support::ReadFile((entry.path() / "cmdline").string());
        const size_t first = arguments.find('\0');
        const size_t second = arguments.find('\0', first + 1);
        std::error_code sameError;
        const bool emulated = !direct && second != std::string::npos &&
                              fs::equivalent(arguments.substr(first + 1, second - first - 1), hostPath, sameError);
        if (!direct && !emulated) continue;
        if (emulated) arguments.erase(0, second + 1);
        std::replace(arguments.begin(), arguments.end(), '\0', ' ');
        lines.push_back(arguments);
    }
    return lines;
}

// The wait box ("Lullpane.exe" in the data-file folder, "/M" for e-mail) runs while the queue is written
// and is gone afterwards, whether the write succeeds or fails.  A failed write fails the close before
// the working database is closed, and the queue is gone with it.
TEST(FirstSync, TheBulkWriteRunsInsideTheWaitBox) {
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        SessionWorld world;
        const std::string program = world.sandbox().HostPath(std::string(kDataFolder) + "Lullpane.exe");
        fs::copy_file(std::string(MORVANE_BIN_DIR) + "/Lullpane.exe", program, fs::copy_options::overwrite_existing);
        StartFirstSync(world, kMailSection);
        for (int32_t i = 0; i < 8; ++i) {
            ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(1 + i % 4));
            std::string id;
            ASSERT_EQ(0, AddNew(world, {{"9", "mail"}}, &id));
        }
        if (fails) tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 1, kInjected, false);
        CountCalls("S_DVXPutFirstSyncRecordData");
        // The device holds the write until the wait box runs (up to 10 s), so the wait spans its start.
        std::string seen;
        tethra_sim::LiveDevice()->beforeCall = [&](const std::string& called) {
            for (int i = 0; called == "S_DVXPutFirstSyncRecordData" && seen.empty() && i < 1000; ++i) {
                const std::vector<std::string> lines = CommandLines(program);
                if (!lines.empty()) seen = lines[0];
                else std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        world.TakeTrace();
        EXPECT_EQ(fails ? -9 : 0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
        tethra_sim::LiveDevice()->beforeCall = nullptr;
        EXPECT_EQ("C:\\Korvell\\Data\\Lullpane.exe /M ", seen);
        EXPECT_TRUE(CommandLines(program).empty());
        EXPECT_EQ(fails ? kInjected : 0u, world.LastError());
        EXPECT_EQ(fails ? 1u : 2u, CallsSeen("S_DVXPutFirstSyncRecordData")) << "one bulk write per device database";
        EXPECT_EQ(fails ? 0u : 8u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
        EXPECT_EQ(fails, !HasLine(world.TakeTrace(), "     ------ QAPI.QPC_CloseDataBase()"));
        ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
        EXPECT_EQ(fails ? 1u : 2u, CallsSeen("S_DVXPutFirstSyncRecordData")) << "nothing left queued";
    }
}

}  // namespace
