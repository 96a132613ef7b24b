// A write record prepared for one database, as DIZ_API_InsertRecord or
// DIZ_API_FindRecord leaves it, for the tests of the field writers.
#ifndef MORVANE_TESTS_UNIT_WRITE_RECORD_FIXTURE_H
#define MORVANE_TESTS_UNIT_WRITE_RECORD_FIXTURE_H

#include "fields/write_record.h"
#include "schema/field_table.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string>
#include <vector>

class WriteRecordTest : public ::testing::Test {
protected:
    // Makes dbId the open database and prepares the write record.
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
    std::vector<uint8_t> Bytes(uint32_t fieldId) const {
        const WorkingField& slot = Slot(fieldId);
        if (slot.data == nullptr || slot.length == kValueAbsent) return {};
        return std::vector<uint8_t>(slot.data, slot.data + slot.length);
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

#endif
