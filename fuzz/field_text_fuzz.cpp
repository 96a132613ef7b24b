// DIZ_API_PutField and DIZ_API_GetField with fuzzed field id and value
// texts, in one database of the demo handheld per input: a new or changed
// record written field by field and stored, its fields read back from the
// write record, then the database exported and every field of its records
// read, by fuzzed ids and by every id of the tables.  One session per input
// between a fixed start and end (see session_harness.h).
#include "session_harness.h"

#include <string>

using namespace fuzz_session;

namespace {

constexpr int kMaxPuts = 24;
constexpr int kMaxReads = 16;
constexpr int kLastHostFieldId = 56;  // beyond the longest table (Address, 44 fields)

void WriteRecord(FuzzedDataProvider& input, int32_t section) {
    std::string id, value;
    DIZ_API_BeginImport();
    if (CheckResult(DIZ_API_OpenDatabase(section, "", "")) != 0) return;
    if (section == 5) CheckResult(DIZ_API_SetFolderID(input.ConsumeIntegralInRange<int32_t>(0, 4)));
    const bool changed = input.ConsumeBool();
    if (changed) {
        CheckResult(DIZ_API_FindRecord(PickRecordId(input, id)));
    } else {
        CheckResult(DIZ_API_InsertRecord());
    }
    const int puts = input.ConsumeIntegralInRange(0, kMaxPuts);
    for (int i = 0; i < puts && input.remaining_bytes() > 0; ++i) {
        const char* fieldId = PickFieldId(input, id);
        CheckResult(DIZ_API_PutField(fieldId, PickText(input, value, input.ConsumeBool() ? 64 : 70000)));
        if (input.ConsumeBool()) ReadWriteRecordField(input.ConsumeIntegralInRange<int32_t>(0, kLastHostFieldId));
    }
    if (changed) {
        CheckResult(DIZ_API_FlushRecord());
    } else {
        AddRecord();
    }
    CheckResult(DIZ_API_CloseDatabase(section, 1, 0));
}

void ReadRecords(FuzzedDataProvider& input, int32_t section) {
    std::string id;
    DIZ_API_BeginExport(0);
    if (CheckResult(DIZ_API_OpenDatabase(section, "", "")) != 0) return;
    uint32_t status = 0;
    for (int32_t r = DIZ_API_GetFirstRecord(section, 0, &status); r == 0;
         r = DIZ_API_GetNextRecord(section, 0, &status)) {
        const int reads = input.ConsumeIntegralInRange(0, kMaxReads);
        for (int i = 0; i < reads; ++i) ReadField(PickFieldId(input, id));
        for (int field = 1; field <= kLastHostFieldId; ++field) {
            for (const char* selector : {"", ".D", ".T"}) ReadField((std::to_string(field) + selector).c_str());
        }
        RepeatInfo info;
        CheckResult(DIZ_API_GetRepeatInfo(&info));
        CheckResult(DIZ_API_ReleaseReadRecord());
    }
    CheckResult(DIZ_API_CloseDatabase(section, 1, 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int32_t section = input.ConsumeIntegralInRange<int32_t>(1, 5);
    BeginInput();
    WriteRecord(input, section);
    ReadRecords(input, section);
    EndInput();
    return 0;
}
