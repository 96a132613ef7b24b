// Preparing the write record for a new record and for a changed one.
#include "write_record_fixture.h"

#include "database/delete_find.h"
#include "fields/field_write.h"
#include "session/error_helpers.h"

#include <string>

namespace {

class WriteRecord : public WriteRecordTest {};

// Insert gives a new record of empty slots, Find a changed one of absent
// values; both clear the last error and the record's flags.
TEST_F(WriteRecord, InsertAndFindPrepareTheRecord) {
    for (bool insert : {true, false}) {
        g_session.currentDbId = insert ? kMemoDbId : kMailDbId;
        g_session.currentFieldTable = *SelectFieldTable(g_session.currentDbId);
        g_session.recordRepeats = 1;
        g_session.writeState.alarmFlagSet = g_session.writeState.allDay = 1;
        g_lastErrorCode = 0x10000099u;
        EXPECT_EQ(insert ? BeginNewRecord() : FindRecordByIdText("-2147483643"), 0);
        EXPECT_EQ(TakeTrace(), insert ? "***** DIZ_API_InsertRecord()\n" : "***** DIZ_API_FindRecord('-2147483643')\n");
        EXPECT_EQ(g_lastErrorCode, 0u);
        const WorkingRecord& record = g_session.writeRecord;
        EXPECT_EQ(record.size, kWorkingRecordSize);
        EXPECT_EQ(record.fieldCount, insert ? 5u : 26u);
        EXPECT_EQ(record.recordId, insert ? 0u : 0x80000005u);
        ASSERT_NE(record.fields, nullptr);
        for (uint32_t i = 0; i < record.fieldCount; ++i) {
            EXPECT_EQ(record.fields[i].size, kWorkingFieldSize);
            EXPECT_EQ(record.fields[i].length, insert ? 0u : kValueAbsent) << i;
            EXPECT_EQ(record.fields[i].data, nullptr);
        }
        EXPECT_EQ(g_session.recordRepeats, 0);
        EXPECT_EQ(g_session.writeState.alarmFlagSet, 0);
        EXPECT_EQ(g_session.writeState.allDay, 0);
    }
}

}  // namespace
