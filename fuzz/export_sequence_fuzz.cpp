// Sequences of export calls with fuzzed arguments, in any order, against the
// simulated demo handheld: one session per input between a fixed start and
// end (see session_harness.h).  Besides "no crash, no sanitizer report":
// every result is a code the exports give, every text ends within the
// host's buffer, and the next input's session still starts.
#include "session_harness.h"

#include <string.h>
#include <string>

using namespace fuzz_session;

namespace {

constexpr int kMaxCalls = 48;

// One call chosen by the input.
void CallOne(FuzzedDataProvider& input) {
    std::string text1, text2;
    uint32_t out = 0;
    RepeatInfo info;
    const int32_t section = PickSection(input);
    switch (input.ConsumeIntegralInRange<int>(0, 31)) {
    case 0: CheckResult(DIZ_API_Initialize(PickText(input, text1, 16), PickText(input, text2, 16))); break;
    case 1: CheckResult(DIZ_API_Uninitialize()); break;
    case 2: CheckResult(DIZ_API_CloseSyncApp()); break;
    case 3: DIZ_API_BeginExport(input.ConsumeBool() ? 0 : input.ConsumeIntegral<int32_t>()); break;
    case 4: DIZ_API_BeginImport(); break;
    case 5: CheckResult(DIZ_API_QueryFullSync(section, input.ConsumeIntegral<int32_t>(), &out)); break;
    case 6: CheckResult(DIZ_API_CancelCheck(static_cast<uint32_t>(section))); break;
    case 7: CheckResult(DIZ_API_OpenDatabase(section, PickText(input, text1, 16), PickText(input, text2, 16))); break;
    case 8: CheckResult(DIZ_API_GetRecordCount(section, 0, &out)); break;
    case 9: CheckResult(DIZ_API_GetFirstRecord(section, 0, &out)); break;
    case 10: CheckResult(DIZ_API_GetNextRecord(section, 0, &out)); break;
    case 11: {
        const int32_t loaded = DIZ_API_GetIdDBRec(input.ConsumeIntegralInRange<uint32_t>(0, 12));
        if (loaded != 1) CheckResult(loaded);
        break;
    }
    case 12: CheckResult(DIZ_API_ReleaseReadRecord()); break;
    case 13: CheckResult(DIZ_API_CloseDatabase(section, input.ConsumeBool(), input.ConsumeBool())); break;
    case 14: CheckResult(DIZ_API_DeleteRecord(PickRecordId(input, text1))); break;
    case 15: CheckResult(DIZ_API_FindRecord(PickRecordId(input, text1))); break;
    case 16: ReadField(PickFieldId(input, text1)); break;
    case 17: CheckResult(DIZ_API_GetRepeatInfo(&info)); break;
    case 18: CheckResult(DIZ_API_GetFolderID(&out)); break;
    case 19: {
        const int32_t folder = DIZ_API_ReadFolderID();
        if (folder != -999) CheckResult(folder);
        break;
    }
    case 20: ReadWriteRecordId(); break;
    case 21: CheckResult(DIZ_API_PutField(PickFieldId(input, text1), PickText(input, text2, 512))); break;
    case 22: {
        const std::string bytes = input.ConsumeBytesAsString(sizeof info);
        memset(&info, 0, sizeof info);
        memcpy(&info, bytes.data(), bytes.size());
        CheckResult(DIZ_API_PutRepeatInfo(info));
        break;
    }
    case 23: CheckResult(DIZ_API_SetAlarm()); break;
    case 24: CheckResult(DIZ_API_SetFolderID(input.ConsumeIntegralInRange<int32_t>(-1, 6))); break;
    case 25: CheckResult(DIZ_API_WriteFolderID(input.ConsumeIntegralInRange<int32_t>(-1, 6))); break;
    case 26: CheckResult(DIZ_API_SetEventFlag()); break;
    case 27: CheckResult(DIZ_API_InsertRecord()); break;
    case 28: AddRecord(); break;
    case 29: CheckResult(DIZ_API_FlushRecord()); break;
    case 30: ReadWriteRecordField(input.ConsumeIntegralInRange<int32_t>(-1, 60)); break;
    default: DIZ_API_GetConnectErrorStatus(); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    BeginInput();
    for (int i = 0; i < kMaxCalls && input.remaining_bytes() > 0; ++i) CallOne(input);
    EndInput();
    return 0;
}
