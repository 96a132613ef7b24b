// The field readers on a record made current by hand: DIZ_API_GetField (the field id text, missing fields,
// the text of each type code, every database's special cases, the text copy's bounds), and the record
// information read as a whole where a device record cannot bring it to the export tests.
#include "fields/field_text.h"
#include "fields/field_write.h"
#include "fields/get_field.h"
#include "fields/record_info.h"
#include "schema/field_table.h"
#include "schema/working_record.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

using testing_support::Sandbox;

namespace {

// A made-up database whose field i has the type code types[i].
struct MadeUpTable {
    uint32_t dbId;
    std::vector<uint32_t> types;
};

// One stored value: its bytes (a byte, a number or short little-endian, a text), or absent ('a'); a text
// whose length is then forced to 0 ('0') or to the absent length ('x').
struct Value {
    uint32_t id;
    std::string bytes;
    char kind = ' ';
};
template <typename Number>
Value Raw(uint32_t id, Number v) { return {id, std::string(reinterpret_cast<const char*>(&v), sizeof v)}; }
Value B(uint32_t id, int32_t v) { return Raw(id, static_cast<uint8_t>(v)); }
Value N(uint32_t id, int32_t v) { return Raw(id, v); }
Value S(uint32_t id, int32_t v) { return Raw(id, static_cast<int16_t>(v)); }
Value T(uint32_t id, const char* t) { return {id, t}; }
Value A(uint32_t id) { return {id, "", 'a'}; }

// A working record made current, with the open database's table (or a made-up one) as currentFieldTable;
// values are stored the way the record converter stores them.
class FieldRecord {
public:
    // Every slot empty (length 0, no data); the fields in `missing` are left out of the table.
    explicit FieldRecord(uint32_t dbId, const std::vector<uint32_t>& missing = {}, uint32_t recordId = 7) {
        const FieldTable* table = SelectFieldTable(dbId);
        for (uint32_t i = 0; table != nullptr && i < table->fieldCount; ++i)
            if (std::find(missing.begin(), missing.end(), table->descriptors[i].fieldId) == missing.end())
                descriptors_.push_back(table->descriptors[i]);
        MakeCurrent(dbId, recordId, 2);
    }
    explicit FieldRecord(const MadeUpTable& table) {
        for (uint32_t type : table.types) {
            FieldDescriptor descriptor{kFieldDescriptorSize, "", "", static_cast<uint32_t>(descriptors_.size()), type};
            snprintf(descriptor.name, sizeof descriptor.name, "Field%u", descriptor.fieldId);
            descriptors_.push_back(descriptor);
        }
        MakeCurrent(table.dbId, 7, 0);
    }
    ~FieldRecord() {
        if (g_session.currentRecord == &record_) g_session.currentRecord = nullptr;
    }
    FieldRecord(const FieldRecord&) = delete;
    FieldRecord& operator=(const FieldRecord&) = delete;

    // An absent value has the length kValueAbsent and no data, as the converter leaves one the link reported.
    void Set(const Value& v) {
        if (v.kind == 'a') {
            Slot(v.id) = WorkingField{kWorkingFieldSize, kValueAbsent, nullptr};
            return;
        }
        // One spare zero byte, as a zero-filled heap block of that size may have.
        values_.emplace_back(v.bytes.size() + 1, 0);
        memcpy(values_.back().data(), v.bytes.data(), v.bytes.size());
        const uint32_t length = v.kind == ' ' ? static_cast<uint32_t>(v.bytes.size()) : v.kind == '0' ? 0 : kValueAbsent;
        Slot(v.id) = WorkingField{kWorkingFieldSize, length, values_.back().data()};
    }
    WorkingField& Slot(uint32_t fieldId) {
        for (size_t i = 0; i < descriptors_.size(); ++i)
            if (descriptors_[i].fieldId == fieldId) return slots_[i];
        ADD_FAILURE() << "the test record has no field " << fieldId;
        static WorkingField nowhere;
        return nowhere;
    }

private:
    void MakeCurrent(uint32_t dbId, uint32_t recordId, uint32_t syncAttr) {
        slots_.assign(descriptors_.size(), WorkingField{kWorkingFieldSize, 0, nullptr});
        record_ = WorkingRecord{kWorkingRecordSize, static_cast<uint32_t>(slots_.size()), recordId, slots_.data(),
                                syncAttr};
        g_session.currentDbId = dbId;
        g_session.currentFieldTable =
            FieldTable{sizeof(FieldTable), 0, record_.fieldCount, descriptors_.data(), kFieldTableTag};
        g_session.currentRecord = &record_;
    }

    std::vector<FieldDescriptor> descriptors_;
    std::vector<WorkingField> slots_;
    std::deque<std::vector<uint8_t>> values_;
    WorkingRecord record_{};
};

// One DIZ_API_GetField call through GetFieldText into a buffer of kFieldTextSize bytes and a tail, prefilled
// with a marker: markerIntact when every byte after the text's NUL still holds it.
struct FieldRead {
    int32_t result;
    std::string text;
    bool markerIntact;
};

FieldRead ReadField(const char* fieldId) {
    std::vector<char> buffer(kFieldTextSize + 64, 'Z');
    FieldRead read;
    read.result = GetFieldText(fieldId, buffer.data());
    const size_t end = strnlen(buffer.data(), buffer.size());
    read.text.assign(buffer.data(), end);
    read.markerIntact =
        end < buffer.size() && std::all_of(buffer.begin() + end + 1, buffer.end(), [](char c) { return c == 'Z'; });
    return read;
}

// A database id without special cases, so every field follows its type.
constexpr uint32_t kPlainDb = 99;

// One read of a fresh record: its values, the id read, the result, text and trace after the call's own line
// (nullptr: not checked).
struct Read {
    uint32_t db;
    std::vector<Value> values;
    const char* id;
    int32_t result;
    const char* text;
    const char* trace;
    std::vector<uint32_t> missing = {};  // fields the record's table lacks
    std::vector<uint32_t> types = {};    // kPlainDb: the made-up table's types
    uint32_t recordId = 7;
};

using namespace ScheduleField;
namespace M = MemoField;
namespace E = MailField;
namespace D = ToDoField;
namespace Ad = AddressField;
const char kBadId[] = ") is invalid in this context (converts to 0)\n";

const Read kReads[] = {
    // The frame: ids, missing fields, record ids.
    {kMailDbId, {T(E::Subject, "Hello")}, "9", 0, "Hello", "Returning 'Hello'\n"},
    {kMailDbId, {}, "UID", 0, "-2147483647", "Returning '-2147483647'\n", {}, {}, 0x80000001u},
    {kScheduleDbId, {}, "UI", -8, "", "Field ID ('UI'"}, {kScheduleDbId, {}, "UIDX", -8, "", "Field ID ('UIDX'"},
    {kScheduleDbId, {}, "0", -8, "", "Field ID ('0'"},
    // Field numbers: nine digits are read as they stand, longer ones wrap to 32 bits.
    {kMailDbId, {T(E::Subject, "Hello")}, "000000009", 0, "Hello", "Returning 'Hello'\n"},
    {kMailDbId, {T(E::Subject, "Hello")}, "0000000009.D", 0, "Hello", "Returning 'Hello'\n"},
    {kMailDbId, {T(E::Subject, "Hello")}, "4294967305", 0, "Hello", "Returning 'Hello'\n"},
    {kScheduleDbId, {}, " 0x5", -8, "", "Field ID (' 0x5'"},
    {kScheduleDbId, {}, "-3", 0, "", "Quenda field id -4 not found (qdb:1)\n"},
    // The general rule, by type code.
    {kPlainDb, {B(0, 5)}, "1", 0, "1", "Returning '1'\n", {}, {1}},
    {kPlainDb, {B(0, 0)}, "1", 0, "0", "Returning '0'\n", {}, {1}},
    {kPlainDb, {}, "1", 0, "0", "Returning '0'\n", {}, {1}},
    {kPlainDb, {B(0, 200)}, "1", 0, "200", "Returning '200'\n", {}, {2}},
    {kPlainDb, {}, "1", 0, "2", "Returning '2'\n", {}, {2}},
    {kPlainDb, {N(0, -42)}, "1", 0, "-42", "Returning '-42'\n", {}, {6}}, {kPlainDb, {A(0)}, "1", 0, "", "", {}, {6}},
    {kPlainDb, {S(0, 930)}, "1", 0, "0930", "Returning '0930'\n", {}, {8}},
    {kPlainDb, {S(0, -5)}, "1", 0, "-005", "Returning '-005'\n", {}, {8}},
    {kPlainDb, {S(0, 12345)}, "1", 0, "12345", "Returning '12345'\n", {}, {8}},
    {kPlainDb, {T(0, "a\nb")}, "1", 0, "a\r\nb", "Returning 'a\r\nb'\n", {}, {9}},
    {kPlainDb, {}, "1", 0, "", "Returning ''\n", {}, {9}}, {kPlainDb, {A(0)}, "1", 0, "", "Returning ''\n", {}, {9}},
    {kPlainDb, {N(0, 9)}, "1", 0, "", "Returning ''\n", {}, {4}},
    {kPlainDb, {S(0, 1)}, "1", 0, "", "Returning ''\n", {}, {7}},
    {kPlainDb, {B(1, 1)}, "2", -8, "", "Data Type not used in any known Quenda mapping: 0\n", {}, {9, 0}},
    {kPlainDb, {B(1, 1)}, "2", -8, "", "Data Type not used in any known Quenda mapping: 255\n", {}, {9, 255}},
    {kPlainDb, {N(0, 20031231)}, " 1xyz", 0, "20031231", nullptr, {}, {6}},
    // Schedule: times of all-day events, plain fields, repeat rule fields.
    {kScheduleDbId, {S(FromTime, 930), B(AllDayFlag, 1)}, "5", 0, "", nullptr},
    {kScheduleDbId, {S(ToTime, 1745), B(AllDayFlag, 1)}, "6", 0, "", nullptr},
    {kScheduleDbId, {S(ToTime, 1745), A(AllDayFlag)}, "6", 0, "1745", nullptr},
    {kScheduleDbId, {N(ToDate, 0)}, "4", 0, "0", nullptr}, {kScheduleDbId, {A(Secret)}, "18", 0, "0", nullptr},
    {kScheduleDbId, {}, "14", 0, "", nullptr},
    // Schedule alarm: the trace, the selector, missing fields, field 13.
    {kScheduleDbId, {B(AlarmFlag, 1)}, "12.X", -8, "", "Invalid field format (2) in scheule/alarm field\n"},
    {kScheduleDbId, {B(AlarmFlag, 1)}, "12.d", -8, "", "Invalid field format (2) in scheule/alarm field\n"},
    {kScheduleDbId, {}, "12.D", 0, "", "in alarm special case: AlarmFlag not found\n", {AlarmFlag}},
    {kScheduleDbId, {}, "12.D", 0, "", "in alarm special case: FromDate not found\n", {FromDate}},
    {kScheduleDbId, {}, "12.D", 0, "", "in alarm special case: FromTime not found\n", {FromTime}},
    {kScheduleDbId, {}, "12.D", 0, "", "in alarm special case: AlarmUnit not found\n", {AlarmUnit}},
    {kScheduleDbId, {}, "13", 0, "", "in alarm special case: AlarmFlag not found\n", {AlarmFlag}},
    {kScheduleDbId, {}, "13", 0, "", "in alarm special case: FromDate not found\n", {FromDate}},
    {kScheduleDbId, {}, "13", 0, "", "in alarm time special case: AlarmTime not found\n", {AlarmTime}},
    {kScheduleDbId, {B(AllDayFlag, 1), B(AlarmFlag, 1), N(FromDate, 20030415), S(AlarmTime, 720)}, "13", 0,
     "20030414", nullptr},
    {kScheduleDbId, {B(AllDayFlag, 1), B(AlarmFlag, 1), N(FromDate, 20030101), S(AlarmTime, 720)}, "13", 0,
     "20021231", nullptr},
    {kScheduleDbId, {B(AllDayFlag, 1), B(AlarmFlag, 0), B(AlarmUnit, 1)}, "13", 0, "1", nullptr},
    // Memo: title and text from the note's lines, the time stamp's halves.
    {kMemoDbId, {T(M::NoteText, "Call Bob")}, "3", 0, "", nullptr},
    {kMemoDbId, {T(M::NoteText, "Title\r\nBody\r\nmore")}, "1", 0, "Title\r", nullptr},
    {kMemoDbId, {T(M::NoteText, "Title\r\nBody\r\nmore")}, "3", 0, "Body\r\nmore", nullptr},
    {kMemoDbId, {A(M::NoteText)}, "1", 0, "", "Returning ''\n"},
    {kMemoDbId, {T(M::TimeStamp, "20030415123000")}, "2.X", 0, "", nullptr}, {kMemoDbId, {}, "2", 0, "", nullptr},
    {kMemoDbId, {N(M::Secret, 1)}, "5", 0, "1", nullptr},
    // E-mail: the send date's halves (even under an empty received date), the read flag, priority, type.
    {kMailDbId, {T(E::SendDate, "20031231235959")}, "11.Q", 0, "", nullptr},
    {kMailDbId, {}, "11", -8, "", "Invalid field format (1) in memo/ timestamp field\n"},
    {kMailDbId, {}, "11.D", 0, "", nullptr},
    {kMailDbId, {{E::SendDate, "20030415093000", '0'}}, "11.D", 0, "20030415", nullptr},
    {kMailDbId, {{E::SendDate, "20030415093000", 'x'}}, "11.T", 0, "0930", nullptr},
    {kMailDbId, {T(E::SendDate, "0")}, "11.D", 0, "0", nullptr},
    {kMailDbId, {T(E::SendDate, "0")}, "11.T", 0, "", nullptr}, {kMailDbId, {}, "13", 0, "0", nullptr},
    {kMailDbId, {B(E::IsRead, 1)}, "13", 0, "", "in alarm special case: Folder id not found\n", {E::FolderID}},
    {kMailDbId, {B(E::Priority, 0)}, "23", 0, "0", nullptr}, {kMailDbId, {}, "3", 0, "2", nullptr},
    {kMailDbId, {T(E::RecvDate, "x\ny")}, "12", 0, "x\r\ny", nullptr},
    {kMailDbId, {N(E::FolderID, 0)}, "2", 0, "0", nullptr},
    // ToDo: dates where 0 means none, finished tasks' completion date, the priority one lower, raw categories.
    {kToDoDbId, {N(D::DueDate, 0)}, "1", 0, "", "Returning ''\n"}, {kToDoDbId, {A(D::DueDate)}, "1", 0, "", ""},
    {kToDoDbId, {N(D::EndDate, 20030501), B(D::FinishFlag, 0)}, "9", 0, "", nullptr},
    {kToDoDbId, {N(D::EndDate, 20030501), B(D::FinishFlag, 2)}, "9", 0, "", nullptr},
    {kToDoDbId, {N(D::EndDate, 20030501)}, "9", 0, "", nullptr},
    {kToDoDbId, {N(D::EndDate, 20030501)}, "9", 0, "", "Quenda field id 8 not found (qdb:6)\n", {D::FinishFlag}},
    {kToDoDbId, {N(D::EndDate, 0)}, "9", 0, "", "Returning ''\n", {D::FinishFlag}},
    {kToDoDbId, {B(D::Priority, 3)}, "4", 0, "2",
     "Priority field raw:  3\nPriority field returned:  2\nReturning '2'\n"},
    {kToDoDbId, {B(D::Priority, 0)}, "4", 0, "0",
     "Priority field raw:  0\nPriority field returned:  0\nReturning '0'\n"},
    {kToDoDbId, {}, "4", 0, "1", "Priority field raw:  2\nPriority field returned:  1\nReturning '1'\n"},
    {kToDoDbId, {B(D::Priority, 200)}, "4", 0, "199",
     "Priority field raw:  200\nPriority field returned:  199\nReturning '199'\n"},
    {kToDoDbId, {T(D::Category, "Work\nHome")}, "6", 0, "Work\nHome", nullptr},
    {kToDoDbId, {T(D::Category, "Undefined2")}, "6", 0, "Undefined2", nullptr},
    {kToDoDbId, {N(D::Secret, 1)}, "7", 0, "1", nullptr},
    // Address book: categories, secrecy by its first byte, dates.
    {kAddressDbId, {T(Ad::Category, "Undefined")}, "32", 0, "", nullptr},
    {kAddressDbId, {T(Ad::Category, "Friends\n")}, "32", 0, "Friends\n", nullptr},
    {kAddressDbId, {N(Ad::Secret, 0x100)}, "33", 0, "0", nullptr},
    {kAddressDbId, {N(Ad::Birthday, 0)}, "38", 0, "", nullptr},
};

TEST(GetField, EachReadGivesItsResultTextAndTrace) {
    for (size_t row = 0; row < sizeof kReads / sizeof kReads[0]; ++row) {
        const Read& r = kReads[row];
        SCOPED_TRACE(testing::Message() << "row " << row << " id '" << r.id << "'");
        Sandbox sandbox;
        FieldRecord record = r.db == kPlainDb ? FieldRecord(MadeUpTable{kPlainDb, r.types})
                                              : FieldRecord(r.db, r.missing, r.recordId);
        for (const Value& v : r.values) record.Set(v);
        g_session.alarmDayShift = 0;  // as for the first record a process reads
        g_lastErrorCode = 0x10000004u;
        auto read = ReadField(r.id);
        EXPECT_EQ(read.result, r.result);
        EXPECT_EQ(read.text, r.text);
        // An "Undefined" category is copied and then blanked, leaving its
        // tail past the NUL; any other read leaves the host buffer alone.
        const bool undefined = !r.values.empty() && r.values[0].bytes == "Undefined";
        EXPECT_TRUE(read.markerIntact || undefined);
        EXPECT_EQ(g_lastErrorCode, 0u);
        if (r.trace == nullptr) continue;
        std::string tail = r.trace;
        if (tail.rfind("Field ID (", 0) == 0) tail += kBadId;
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetField('") + r.id + "', [OUT])\n" + tail);
    }
}

// Long texts: the source is read up to its limit, the host buffer holds kFieldTextLimit characters and the NUL.
TEST(GetField, TextCopyStopsAtTheLimits) {
    std::string crlf;
    for (uint32_t i = 0; i < kFieldTextLimit / 2; ++i) crlf += "\r\n";
    struct Row {
        uint32_t db;
        std::string source;
        const char* id;
        size_t size;
        std::string head, tail;
    };
    const Row rows[] = {
        {kPlainDb, std::string(50000, 'x'), "1", kFieldSourceLimit, "xx", "xx"},
        // 4,096 line feeds make the 45,055 source bytes 49,151 characters.
        {kPlainDb, std::string(4096, '\n') + std::string(kFieldSourceLimit - 4096, 'x'), "1", 49151, "\r\n", "xx"},
        // A last line feed after 49,150 characters writes its CR and LF in
        // one step: the whole host buffer.
        {kPlainDb, std::string(4096, '\n') + std::string(kFieldSourceLimit - 4097, 'x') + "\n", "1", kFieldTextLimit,
         "\r\n", "x\r\n"},
        {kPlainDb, std::string(kFieldSourceLimit, '\n'), "1", kFieldTextLimit, crlf, "\r\n"},
        {kMemoDbId, std::string(kFieldSourceLimit, 'a') + "\nrest", "1", kFieldSourceLimit, "aa", "aa"},
        {kMemoDbId, std::string(kFieldSourceLimit, 'a') + "\nrest", "3", 0, "", ""},
        {kMemoDbId, std::string(60000, 't'), "1", kFieldTextLimit, "tt", "tt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "db " << row.db << " size " << row.size);
        FieldRecord record = row.db == kPlainDb ? FieldRecord(MadeUpTable{kPlainDb, {9}}) : FieldRecord(row.db);
        record.Set({row.db == kPlainDb ? 0 : uint32_t{M::NoteText}, row.source});
        auto read = ReadField(row.id);
        EXPECT_EQ(read.result, 0);
        ASSERT_EQ(read.text.size(), row.size);
        EXPECT_EQ(read.text.substr(0, row.head.size()), row.head);
        EXPECT_EQ(read.text.substr(read.text.size() - row.tail.size()), row.tail);
        EXPECT_TRUE(read.markerIntact);
    }
}

// A RepeatInfo as the host would lay it out, with no week days.
RepeatInfo Expected(uint8_t period, uint8_t count, uint8_t deleteFlag, const char* start, const char* end,
                    uint8_t repeating) {
    RepeatInfo info{period, count, deleteFlag, {}, {}, repeating, {}};
    strcpy(info.startDate, start);
    strcpy(info.endDate, end);
    return info;
}

// Every field of the rule as text, to compare with a readable difference.
std::string Describe(const RepeatInfo& info) {
    std::string days;
    for (uint8_t day : info.weekDays) days += std::to_string(day);
    return "period " + std::to_string(info.repeatPeriod) + " count " + std::to_string(info.repeatCount) + " delete " +
           std::to_string(info.deleteFlag) + " [" + std::string(info.startDate, strnlen(info.startDate, 10)) + "] [" +
           std::string(info.endDate, strnlen(info.endDate, 10)) + "] repeating " +
           std::to_string(info.isRepeating) + " days " + days;
}

// Fills a RepeatInfo of 0xAA bytes and compares all its 31 bytes.
void ExpectRule(const RepeatInfo& expected) {
    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(FillRepeatInfo(&info), 0);
    EXPECT_EQ(Describe(info), Describe(expected));
    EXPECT_EQ(memcmp(&info, &expected, sizeof info), 0) << "some byte differs";
}

// A weekly event whose fields are all there but for missing, its field 2 not read yet.
void MakeRepeating(FieldRecord& record, uint32_t missing) {
    for (const Value& v : {B(RepeatFlag, 1), B(RepeatPeriod, 2), B(RepeatCount, 3), B(DeleteFlag, 1),
                           N(FromDate, 20030415), N(RepeatEndDate, 20031231), S(DayPattern, 0x41)})
        if (v.id != missing) record.Set(v);
    g_session.recordRepeats = 0;
}

TEST(GetRepeatInfo, MissingFieldEndsTheRuleWhereItIs) {
    const struct {
        uint32_t missing;
        const char* line;
        RepeatInfo expected;
    } cases[] = {
        {RepeatPeriod, "RepeatPeriod-> Schedule", Expected(0, 0, 0, "", "", 1)},
        {RepeatCount, "RepeatCount-> Schedule", Expected(2, 0, 0, "", "", 1)},
        {DeleteFlag, "DeleteFlag -> Schedule", Expected(2, 3, 0, "", "", 1)},
        {FromDate, "FromDate -> Schedule", Expected(2, 3, 1, "", "", 1)},
        {RepeatEndDate, "RpEndDate -> Schedule", Expected(2, 3, 1, "20030415", "", 1)},
        {DayPattern, "DayPattern -> Schedule", Expected(2, 3, 1, "20030415", "20031231", 1)},
    };
    for (const auto& c : cases) {
        FieldRecord record(kScheduleDbId, {c.missing});
        MakeRepeating(record, c.missing);
        g_session.recordRepeats = 1;
        Sandbox sandbox;
        ExpectRule(c.expected);
        EXPECT_EQ(sandbox.DebugOutput(),
                  std::string("***** DIZ_API_GetRepeatInfo()\nQuenda field ") + c.line + " field not found *****\n");
    }
}

// A single event (field 2 not read) whose start date is empty, or whose record lacks a field: the dates
// stop silently there.
TEST(GetRepeatInfo, EventDates) {
    const struct {
        uint32_t missing;  // Count: none
        int allDay;        // -1: no value
        bool fromSet;
        int32_t to;
        const char *start, *end;
    } cases[] = {
        {Count, 0, false, 20030417, "", "0"}, {Count, 1, false, 20030417, "", "20030417"},
        {AllDayFlag, -1, true, 20030417, "", ""}, {ToDate, 0, true, 0, "20030415", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "missing " << c.missing << " all day " << c.allDay << " to " << c.to);
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId, {c.missing});
        MakeRepeating(record, c.fromSet ? Count : FromDate);
        if (c.allDay >= 0) record.Set(B(AllDayFlag, c.allDay));
        if (c.missing != ToDate) record.Set(N(ToDate, c.to));
        ExpectRule(Expected(0, 0, 0, c.start, c.end, 0));
        EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetRepeatInfo()\n");
    }
}

// A record without the folder field (no device record converts to one) leaves the host's folder as it was.
TEST(ReadFolderId, RecordWithoutTheField) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId, {MailField::FolderID});
    ASSERT_EQ(ChooseHostFolder(3), 0);
    const size_t before = sandbox.DebugOutput().size();
    EXPECT_EQ(ReadFolderId(), 0);
    uint32_t folder = 77;
    EXPECT_EQ(GetFolderId(&folder), 0);
    EXPECT_EQ(folder, 3u);
    EXPECT_EQ(sandbox.DebugOutput().substr(before),
              "***** DIZ_API_ReadFolderID()\nQuenda field FolderId not found *****\n***** DIZ_API_GetFolderID\n"
              "***** DIZ_API_ReadFolderID()\nQuenda field FolderId not found *****\n");
}

}  // namespace
