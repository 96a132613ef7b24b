// Writing a record's fields: DIZ_API_PutField turns host text into the write record's native values, and
// the derived writes (alarm, repeat rule, event flag, E-mail folder) fill the fields made of several values.
// (The export tests write a plain value of every host field; the rows here are the special cases.)
#include "fields/field_write.h"
#include "fields/write_record.h"
#include "platform/platform_test.h"
#include "schema/field_table.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

using Raw = std::vector<uint8_t>;

// A write record prepared for one database, as DIZ_API_InsertRecord or DIZ_API_FindRecord leaves it.
class PutField : public ::testing::Test {
protected:
    void Open(uint32_t dbId, uint32_t recordId = 0) {
        const FieldTable* table = SelectFieldTable(dbId);
        ASSERT_NE(table, nullptr);
        g_session.currentDbId = dbId;
        g_session.currentFieldTable = *table;
        ASSERT_TRUE(PrepareWriteRecord(recordId));
        ResetWriteFlags();
    }
    const WorkingField& Slot(uint32_t fieldId) const { return g_session.writeRecord.fields[fieldId]; }
    // The slot's value bytes; empty for a slot without bytes.
    Raw Bytes(uint32_t fieldId) const {
        const WorkingField& slot = Slot(fieldId);
        if (slot.data == nullptr || slot.length == kValueAbsent) return {};
        return Raw(slot.data, slot.data + slot.length);
    }
    // The trace written since the last call.
    std::string TakeTrace() {
        const std::string all = sandbox_.DebugOutput();
        std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }

    testing_support::Sandbox sandbox_;
    size_t seen_ = 0;
};

// A write step: PutFieldText(id, text), or for an id starting with '@' a derived write ("@rule" takes
// "repeating start end days", days as seven '0'/'1'), "@flags" (alarm flag and all-day mark set), "@nomem"
// (the next allocation fails) or "@release".
struct Step {
    const char* id;
    const char* text;
};

RepeatInfo Rule(const std::string& text) {
    RepeatInfo info{2, 3, 1, {}, {}, 0, {}};  // period, count, delete flag
    char days[8] = "";
    int repeating = 0;
    sscanf(text.c_str(), "%d %9s %9s %7s", &repeating, info.startDate, info.endDate, days);
    info.isRepeating = static_cast<uint8_t>(repeating);
    for (int i = 0; i < 7; ++i) info.weekDays[i] = days[i] == '1';
    return info;
}

int32_t Write(const Step& step) {
    const std::string id = step.id;
    if (id == "@alarm") return DeriveAlarm();
    if (id == "@event") return DeriveEventFlag();
    if (id == "@folder") return WriteFolderFields(atoi(step.text));
    if (id == "@rule") return PutRepeatRule(Rule(step.text));
    if (id == "@flags") g_session.writeState.alarmFlagSet = g_session.writeState.allDay = 1;
    if (id == "@nomem") PlatformFailCall("HeapAlloc", 1, 0);
    if (id == "@release") ReleaseWriteRecord();
    return id[0] == '@' ? 0 : PutFieldText(step.id, step.text);
}

// Steps on a fresh write record (recordId 0: a new one); the last step's result, last error (from
// 0x10000099) and trace (null: not checked); the bytes fields then hold (noData: no data, not just length 0).
struct Field {
    uint32_t id;
    Raw bytes;
    bool noData = false;
};
struct Row {
    uint32_t db;
    std::vector<Step> steps;
    int32_t result;
    const char* trace;
    std::vector<Field> expected = {};
    uint32_t lastError = 0;
    uint32_t recordId = 0;
};
namespace S = ScheduleField;
namespace E = MailField;
Raw Txt(const std::string& text) { return Raw(text.begin(), text.end()); }
Raw Day(uint32_t d) { return {uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16), uint8_t(d >> 24)}; }
const char kBadId[] = "') is invalid in this context (converts to 0)\n";
const Row kRows[] = {
    // Ids that are no number, fields the database lacks, malformed halves.
    {kToDoDbId, {{"0", "x"}}, -8, nullptr}, {kToDoDbId, {{"abc", "x"}}, -8, nullptr},
    {kToDoDbId, {{"0.5", "x"}}, -8, nullptr}, {kToDoDbId, {{"", "x"}}, -8, nullptr},
    {kToDoDbId, {{"99", "x"}}, 0, "Quenda field id 98 not found (qdb:6)\n"},
    {kScheduleDbId, {{"12", "915"}}, -8, "Invalid field format (1) in schedule/alarm field\n"},
    {kScheduleDbId, {{"12.X", "915"}}, -8, "Invalid field format (2) in scheule/alarm field\n"},
    {kMemoDbId, {{"2", "0930"}}, -8, "Invalid field format (1) in memo/timestamp field\n"},
    {kMailDbId, {{"11.X", "0930"}}, -8, "Invalid field format (1) in email/timestamp field\n"},
    {kMailDbId, {{"11", "0930"}}, -8, "Invalid field format (1) in email/timestamp field\n"},
    // Empty text fills only an unfilled slot; an empty due date is no date.
    {kToDoDbId, {{"2", ""}, {"5", "bring milk"}, {"5", ""}}, 0, nullptr,
     {{ToDoField::Description, {}, true}, {ToDoField::Note, Txt("bring milk")}}},
    {kToDoDbId, {{"1", ""}}, 0, nullptr, {{ToDoField::DueDate, {0xFF, 0xFF, 0xFF, 0xFF}}}},
    // An empty start time makes the entry all-day, whatever flag 9's text.
    {kScheduleDbId, {{"5", ""}, {"6", ""}, {"9", "0"}, {"10", ""}}, 0, nullptr,
     {{S::FromTime, {0, 0}}, {S::ToTime, {0, 0}}, {S::AllDayFlag, {1}}, {S::EventFlag, {1}}}},
    {kScheduleDbId, {{"5", "930"}, {"6", ""}, {"9", "1"}}, 0, nullptr,
     {{S::FromTime, {0xA2, 0x03}}, {S::ToTime, {0xFF, 0xFF}}, {S::AllDayFlag, {0}}}},
    // Flags are set only by the text "1"; SilentLoud is always on.
    {kScheduleDbId, {{"2", "yes"}, {"20", "0"}}, 0, nullptr, {{S::RepeatFlag, {0}}, {S::SilentLoud, {1}}}},
    {kScheduleDbId, {{"2", "1"}}, 0, nullptr, {{S::RepeatFlag, {1}}}},
    {kMemoDbId, {{"5", "2"}}, 0, nullptr, {{MemoField::Secret, {0, 0, 0, 0}}}},
    {kMailDbId, {{"20", "-2"}, {"13", "0"}, {"3", "1"}}, 0, nullptr,  // TotalNumber, IsRead, Type (set by the folder)
     {{E::TotalNumber, {0xFE, 0xFF, 0xFF, 0xFF}}, {E::IsRead, {0}}, {E::Type, {0}}}},
    {kMailDbId, {{"13", "yes"}}, 0, nullptr, {{E::IsRead, {1}}}},
    // Prefix rules apply in every database.
    {kAddressDbId, {{"13", "20031224 home"}}, 0, nullptr, {{AddressField::Fax_H, Txt("20031224 home")}}},
    // Time stamps from their parts: a time without a date since loading stores nothing.
    {kMemoDbId, {{"2.T", "0930"}}, 0, nullptr, {{MemoField::TimeStamp, {}}}},
    {kMailDbId, {{"11.D", "20030415"}}, 0, nullptr, {{E::SendDate, {}, true}}},
    // The memo note starts with the title: without one from the host, a changed memo starts with the bare CRLF.
    {kMemoDbId, {{"3", "Hello"}}, 0, nullptr, {{MemoField::NoteText, Txt("\r\nHello")}}, 0, 7},
    // No memory for the value; a stored record has no fields left.
    {kToDoDbId, {{"@nomem", ""}, {"2", "Call Bob"}}, -9,
     "Failed to get enough memory (8 B) for data value.\n***** ***** Manually setting Quenda Error: 10000004\n",
     {{ToDoField::Description, {}, true}}, 0x10000004u},
    {kToDoDbId, {{"@release", ""}, {"2", "Call Bob"}}, 0, "Quenda field id 1 not found (qdb:6)\n"},
    // The alarm's parts wait for SetAlarm, which needs the flag set and writes the lead in minutes and the unit.
    {kScheduleDbId, {{"12.T", "915"}, {"12.D", "20030415"}}, 0, nullptr, {{S::AlarmTime, {0, 0}}}},
    {kScheduleDbId, {{"3.D", "20030415"}, {"5", "0930"}, {"11", "1"}, {"12.D", "20030415"}, {"12.T", "0915"},
                     {"@alarm", ""}}, 0, "***** DIZ_API_SetAlarm('915', '20030415')\n",
     {{S::AlarmTime, {15, 0}}, {S::AlarmUnit, {1}}}, 0x10000099u},
    // The repeat rule, or a single event's dates; a start already written is kept, an all-day event lasts a day.
    {kScheduleDbId, {{"@rule", "1 20030415 -1 1010000"}}, 0, "***** DIZ_API_PutRepeatInfo(...)\n",
     {{S::RepeatFlag, {1}}, {S::RepeatPeriod, {2}}, {S::RepeatCount, {3}}, {S::DeleteFlag, {1}},
      {S::FromDate, Day(20030415)}, {S::RepeatEndDate, {0xFF, 0xFF, 0xFF, 0xFF}}, {S::ToDate, {}},
      {S::DayPattern, {0x42}}}},  // length 1: the low byte only
    {kScheduleDbId,
     {{"3", "20030401"}, {"5", ""}, {"9", ""}, {"4", "20030402"}, {"@rule", "1 20030415 20031231 0000001"}}, 0, nullptr,
     {{S::FromDate, Day(20030401)}, {S::ToDate, Day(20030415)}, {S::DayPattern, {0x20}}}},
    {kScheduleDbId, {{"3", "20030401"}, {"4", "20030402"}, {"@rule", "0 20030415 20030417 1111111"}}, 0, nullptr,
     {{S::FromDate, Day(20030415)}, {S::ToDate, Day(20030417)}, {S::RepeatFlag, {}, true}, {S::DayPattern, {}, true}}},
    // EventFlag only for all-day records.
    {kScheduleDbId, {{"@event", ""}}, 0, nullptr, {{S::EventFlag, {}, true}}, 0x10000099u},
    {kScheduleDbId, {{"5", ""}, {"@event", ""}}, 0, nullptr, {{S::EventFlag, {1}}}, 0x10000099u},
    // The E-mail folder: device folder one lower, Type 1 but for the inbox.
    {kMailDbId, {{"@folder", "1"}}, 0, "", {{E::FolderID, {0, 0, 0, 0}}, {E::Type, {0}}, {E::IsSMS, {0}}}},
    {kMailDbId, {{"@folder", "4"}}, 0, "", {{E::FolderID, {3, 0, 0, 0}}, {E::Type, {1}}, {E::IsSMS, {0}}}},
    {kMailDbId, {{"@folder", "5"}}, -8, "Invalid folder ID [5] passed in to DIZ_API_WriteFolderID.\n"},
    // Elsewhere the derived writes stop at the first field the database lacks, writing what came before
    // (Memo has fields 1 and 2 but none of the others).
    {kMemoDbId, {{"@flags", ""}, {"@alarm", ""}}, 0, "in alarm special case: AlarmDate not found\n",
     {{MemoField::TimeStamp, {}}, {MemoField::NoteText, {}, true}}, 0x10000099u},
    {kMemoDbId, {{"@flags", ""}, {"@rule", "1 20030415 -1 1000000"}}, 0,
     "in alarm special case: RepeatPeriod not found\n", {{MemoField::TimeStamp, {1}}, {MemoField::NoteText, {}, true}}},
    {kMemoDbId, {{"@flags", ""}, {"@event", ""}}, 0, "Field EventFlag not found\n",
     {{MemoField::TimeStamp, {}}, {MemoField::NoteText, {}, true}}, 0x10000099u},
    {kMemoDbId, {{"@flags", ""}, {"@folder", "2"}}, 0, "Field isSMS not found\n",
     {{MemoField::TimeStamp, {1, 0, 0, 0}}, {MemoField::NoteText, {}, true}}},
};

TEST_F(PutField, StepsGiveTheirResultTraceAndNativeValues) {
    for (size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& r = kRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " " << r.steps.back().id);
        Open(r.db, r.recordId);
        for (size_t k = 0; k + 1 < r.steps.size(); ++k) EXPECT_EQ(Write(r.steps[k]), 0) << r.steps[k].id;
        TakeTrace();
        g_lastErrorCode = 0x10000099u;
        const Step& last = r.steps.back();
        EXPECT_EQ(Write(last), r.result);
        PlatformClearFaults();
        EXPECT_EQ(g_lastErrorCode, r.lastError);
        // The step's own line, then row.trace (the whole trace if a call line; a refused id when null).
        const std::string trace = TakeTrace();
        const std::string tail = trace.substr(trace.find('\n') + 1);
        if (last.id[0] != '@') {
            EXPECT_EQ(trace.substr(0, trace.size() - tail.size()),
                      "***** DIZ_API_PutField('" + std::string(last.id) + "', '" + last.text + "')\n");
        }
        const std::string expected = r.trace ? r.trace : "Field ID ('" + std::string(last.id) + kBadId;
        if (r.trace != nullptr || r.result == -8) {
            EXPECT_EQ(expected.rfind("*****", 0) == 0 ? trace : tail, expected);
        }
        for (const Field& field : r.expected) {
            EXPECT_EQ(Bytes(field.id), field.bytes) << "field " << field.id;
            if (field.noData) {
                EXPECT_EQ(Slot(field.id).data, nullptr) << "field " << field.id;
            }
        }
    }
}

TEST_F(PutField, PrioritiesRunOneAboveTheHostsUpToFive) {
    const struct {
        const char* text;
        uint8_t stored;
        int32_t raw;
    } rows[] = {{"0", 1, 1}, {"4", 5, 5}, {"9", 5, 10}, {"-3", 0xFE, -2}};
    for (uint32_t db : {kToDoDbId, kMailDbId}) {
        Open(db);
        const uint32_t field = db == kToDoDbId ? uint32_t{ToDoField::Priority} : uint32_t{E::Priority};
        const std::string id = std::to_string(field + 1);
        for (const auto& row : rows) {
            TakeTrace();
            EXPECT_EQ(PutFieldText(id.c_str(), row.text), 0);
            EXPECT_EQ(Bytes(field), Raw{row.stored}) << row.text;
            EXPECT_EQ(TakeTrace(), "***** DIZ_API_PutField('" + id + "', '" + row.text + "')\n" +
                                       "Priority field passed in:  " + std::to_string(row.raw - 1) + "\n" +
                                       "Priority field sent to Quenda, raw:  " + std::to_string(row.raw) + "\n" +
                                       "Priority field sent to Quenda, actual:  " +
                                       std::to_string(row.raw > 5 ? 5 : row.raw) + "\n");
        }
    }
}

// The alarm lead in minutes from the pending alarm to the pending start (date, time each).
TEST(AlarmLeadMinutes, FromThePendingParts) {
    const std::pair<WriteState, uint16_t> rows[] = {
        {{0, 0, 20030415, 930, 20030415, 915, {}, {}}, 15},
        {{0, 0, 20030416, 900, 20030415, 2100, {}, {}}, 720},
        {{0, 0, 20030415, 930, 20030415, 950, {}, {}}, 0xFFEC},  // twenty minutes after
        {{0, 0, 20030604, 900, 20030415, 900, {}, {}}, 0xFFFF},  // fifty days before: cut
        {{0, 0, 20040101, 30, 20031231, 2345, {}, {}}, 45},
    };
    for (const auto& [state, lead] : rows)
        EXPECT_EQ(AlarmLeadMinutes(state), lead) << state.pendingStartDate << " " << state.pendingAlarmDate;
}

TEST_F(PutField, SetFolderAcceptsZeroToFour) {
    for (int32_t folder : {0, 1, 4}) {
        EXPECT_EQ(ChooseHostFolder(folder), 0);
        EXPECT_EQ(g_session.hostFolderId, static_cast<uint32_t>(folder));
    }
    TakeTrace();
    for (int32_t folder : {5, -1}) EXPECT_EQ(ChooseHostFolder(folder), -8);
    EXPECT_EQ(g_session.hostFolderId, 4u);
    EXPECT_EQ(TakeTrace(),
              "***** DIZ_API_SetFolderID(5)\nInvalid folder ID [5] passed in to DIZ_API_SetFolderID.\n"
              "***** DIZ_API_SetFolderID(-1)\nInvalid folder ID [-1] passed in to DIZ_API_SetFolderID.\n");
}

}  // namespace
