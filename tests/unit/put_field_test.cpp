// DIZ_API_PutField: host text into the native values of the write record.
#include "write_record_fixture.h"

#include "app/morvane_app.h"
#include "fields/field_write.h"
#include "platform/platform_test.h"

#include <string>
#include <vector>

namespace {

using Raw = std::vector<uint8_t>;

class PutField : public WriteRecordTest {};

// Puts into a fresh write record and the trace after them: ids that are
// no number, fields the database lacks, malformed halves.
struct TraceRow {
    uint32_t db;
    const char* id;
    const char* text;
    int32_t result;
    const char* line;
};
const TraceRow kTraceRows[] = {
    {kToDoDbId, "0", "x", -8, "Field ID ('0') is invalid in this context (converts to 0)\n"},
    {kToDoDbId, "abc", "x", -8, "Field ID ('abc') is invalid in this context (converts to 0)\n"},
    {kToDoDbId, "0.5", "x", -8, "Field ID ('0.5') is invalid in this context (converts to 0)\n"},
    {kToDoDbId, "", "x", -8, "Field ID ('') is invalid in this context (converts to 0)\n"},
    {kToDoDbId, "99", "x", 0, "Quenda field id 98 not found (qdb:6)\n"},
    {kToDoDbId, "2", "Call Bob", 0, ""},  // 5
    {kScheduleDbId, "12", "915", -8, "Invalid field format (1) in schedule/alarm field\n"},
    {kScheduleDbId, "12.X", "915", -8, "Invalid field format (2) in scheule/alarm field\n"},
    {kMemoDbId, "2", "0930", -8, "Invalid field format (1) in memo/timestamp field\n"},
    {kMailDbId, "11.X", "0930", -8, "Invalid field format (1) in email/timestamp field\n"},
    {kMailDbId, "11", "0930", -8, "Invalid field format (1) in email/timestamp field\n"},  // 10
};

TEST_F(PutField, TracesAndClearsTheLastError) {
    for (const TraceRow& row : kTraceRows) {
        SCOPED_TRACE(row.id);
        Open(row.db);
        TakeTrace();
        theApp.lastErrorCode = 0x10000099u;
        EXPECT_EQ(PutFieldText(row.id, row.text), row.result);
        EXPECT_EQ(theApp.lastErrorCode, 0u);
        EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('" + std::string(row.id) + "', '" + row.text + "')\n" + row.line);
    }
}

// Puts in order into a fresh write record (recordId 0: a new record) and
// the bytes a field then holds (or no data at all).
struct PutRow {
    uint32_t db;
    uint32_t recordId;
    std::vector<std::pair<const char*, const char*>> puts;
    struct Field {
        uint32_t id;
        Raw bytes;
        bool noData = false;  // no data at all, not just length 0
    };
    std::vector<Field> expected;
};
namespace S = ScheduleField;
Raw Txt(const std::string& text) { return Raw(text.begin(), text.end()); }
const Raw kNoDate{0xFF, 0xFF, 0xFF, 0xFF};
const Raw k15Apr2003{0xCF, 0xA3, 0x31, 0x01};
const PutRow kPutRows[] = {
    // Empty text fills only an unfilled slot; an empty due date is no date.
    {kToDoDbId, 0, {{"2", ""}, {"5", "bring milk"}, {"5", ""}}, {{ToDoField::Description, {}, true},
                                                                 {ToDoField::Note, Txt("bring milk")}}},
    {kToDoDbId, 0, {{"1", ""}}, {{ToDoField::DueDate, kNoDate}}},
    // An empty start time makes the entry all-day, whatever flag 9's text.
    {kScheduleDbId, 0, {{"5", ""}, {"6", ""}, {"9", "0"}, {"10", ""}},
     {{S::FromTime, {0, 0}}, {S::ToTime, {0, 0}}, {S::AllDayFlag, {1}}, {S::EventFlag, {1}}}},
    {kScheduleDbId, 0, {{"5", "930"}, {"6", ""}, {"9", "1"}},
     {{S::FromTime, {0xA2, 0x03}}, {S::ToTime, {0xFF, 0xFF}}, {S::AllDayFlag, {0}}}},
    {kScheduleDbId, 0, {{"3.D", "20030415"}}, {{S::FromDate, k15Apr2003}}},
    // Flags are set only by the text "1"; SilentLoud is always on.
    {kScheduleDbId, 0, {{"2", "yes"}, {"20", "0"}}, {{S::RepeatFlag, {0}}, {S::SilentLoud, {1}}}},
    {kScheduleDbId, 0, {{"2", "1"}}, {{S::RepeatFlag, {1}}}},
    {kMemoDbId, 0, {{"5", "1"}}, {{MemoField::Secret, {1, 0, 0, 0}}}},
    {kMemoDbId, 0, {{"5", "2"}}, {{MemoField::Secret, {0, 0, 0, 0}}}},
    {kMailDbId, 0, {{"20", "-2"}, {"13", "0"}, {"3", "1"}},  // TotalNumber, IsRead, Type (set by the folder)
     {{MailField::TotalNumber, {0xFE, 0xFF, 0xFF, 0xFF}}, {MailField::IsRead, {0}}, {MailField::Type, {0}}}},
    {kMailDbId, 0, {{"13", "yes"}}, {{MailField::IsRead, {1}}}},
    // Prefix rules apply in every database.
    {kAddressDbId, 0, {{"13", "20031224 home"}}, {{AddressField::Fax_H, Txt("20031224 home")}}},
    // Alarm parts wait for the store.
    {kScheduleDbId, 0, {{"12.T", "915"}, {"12.D", "20030415"}}, {{S::AlarmTime, {0, 0}}}},
    // Time stamps from their parts: a time without a date since loading
    // stores nothing.
    {kMemoDbId, 0, {{"2.T", "0930"}}, {{MemoField::TimeStamp, {}}}},
    {kMemoDbId, 0, {{"2.D", "20030415"}, {"2.T", "0930"}}, {{MemoField::TimeStamp, Txt("200304150930")}}},
    {kMailDbId, 0, {{"11.D", "20030415"}}, {{MailField::SendDate, {}, true}}},
    {kMailDbId, 0, {{"11.D", "20030415"}, {"11.T", "0930"}}, {{MailField::SendDate, Txt("20030415093000")}}},
    // The memo note repeats the title as its first line; a changed memo
    // whose title the host did not send starts with the bare line break.
    {kMemoDbId, 0, {{"1", "Shop"}, {"3", "Hello"}}, {{MemoField::NoteText, Txt("Shop\r\nHello")}}},
    {kMemoDbId, 7, {{"3", "Hello"}}, {{MemoField::NoteText, Txt("\r\nHello")}}},
};

TEST_F(PutField, PutsGiveTheNativeValues) {
    int row = 0;
    for (const PutRow& r : kPutRows) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        Open(r.db, r.recordId);
        for (const auto& put : r.puts) EXPECT_EQ(PutFieldText(put.first, put.second), 0) << put.first;
        for (const auto& field : r.expected) {
            EXPECT_EQ(Bytes(field.id), field.bytes) << "field " << field.id;
            if (field.noData) {
                EXPECT_EQ(Slot(field.id).data, nullptr) << "field " << field.id;
            }
        }
    }
}

struct PriorityRow {
    const char* text;
    uint8_t stored;
    int32_t raw;
};
const PriorityRow kPriorityRows[] = {
    {"0", 1, 1},
    {"4", 5, 5},
    {"9", 5, 10},
    {"-3", 0xFE, -2},
};

TEST_F(PutField, PrioritiesRunOneAboveTheHostsUpToFive) {
    for (uint32_t db : {kToDoDbId, kMailDbId}) {
        Open(db);
        const uint32_t field = db == kToDoDbId ? uint32_t{ToDoField::Priority} : uint32_t{MailField::Priority};
        const std::string id = std::to_string(field + 1);
        for (const PriorityRow& row : kPriorityRows) {
            TakeTrace();
            EXPECT_EQ(PutFieldText(id.c_str(), row.text), 0);
            EXPECT_EQ(Bytes(field), Raw{row.stored}) << row.text;
            const int32_t actual = row.raw > 5 ? 5 : row.raw;
            EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('" + id + "', '" + row.text + "')\n" +
                                       "Priority field passed in:  " + std::to_string(row.raw - 1) + "\n" +
                                       "Priority field sent to Quenda, raw:  " + std::to_string(row.raw) + "\n" +
                                       "Priority field sent to Quenda, actual:  " + std::to_string(actual) + "\n");
        }
    }
}

TEST_F(PutField, ExhaustedHeapFailsTheWrite) {
    Open(kToDoDbId);
    PlatformFailCall("HeapAlloc", 1, 0);
    TakeTrace();
    EXPECT_EQ(PutFieldText("2", "Call Bob"), -9);
    PlatformClearFaults();
    EXPECT_EQ(theApp.lastErrorCode, 0x10000004u);
    EXPECT_EQ(Slot(ToDoField::Description).data, nullptr);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_PutField('2', 'Call Bob')\nFailed to get enough memory (8 B) for data value.\n"
              "***** ***** Manually setting Quenda Error: 10000004\n");
}

TEST_F(PutField, StoredRecordHasNoFieldsLeft) {
    Open(kToDoDbId);
    ReleaseWriteRecord();
    TakeTrace();
    EXPECT_EQ(PutFieldText("2", "Call Bob"), 0);
    EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('2', 'Call Bob')\nQuenda field id 1 not found (qdb:6)\n");
}

}  // namespace
