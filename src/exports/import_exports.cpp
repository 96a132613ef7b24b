// The exports through which the host writes records to the device.
#include "exports/morvane_api.h"

#include "database/delete_find.h"
#include "database/store_record.h"
#include "fields/field_write.h"

extern "C" {

MORVANE_API int32_t DIZ_API_PutField(const char* fieldId, const char* value) { return PutFieldText(fieldId, value); }
MORVANE_API int32_t DIZ_API_PutRepeatInfo(RepeatInfo info) { return PutRepeatRule(info); }
MORVANE_API int32_t DIZ_API_SetAlarm(void) { return DeriveAlarm(); }
MORVANE_API int32_t DIZ_API_SetFolderID(int32_t folder) { return ChooseHostFolder(folder); }
MORVANE_API int32_t DIZ_API_WriteFolderID(int32_t folder) { return WriteFolderFields(folder); }
MORVANE_API int32_t DIZ_API_SetEventFlag(void) { return DeriveEventFlag(); }
MORVANE_API int32_t DIZ_API_InsertRecord(void) { return BeginNewRecord(); }
MORVANE_API int32_t DIZ_API_AddRecord(char* recordId) { return AddWriteRecord(recordId); }
MORVANE_API int32_t DIZ_API_FlushRecord(void) { return FlushWriteRecord(); }
MORVANE_API int32_t DIZ_API_GetFieldByWriteRec(int32_t fieldId, char* value) {
    return CopyWriteRecordField(fieldId, value);
}
MORVANE_API int32_t DIZ_API_DeleteRecord(const char* recordIdText) { return DeleteRecordByIdText(recordIdText); }
MORVANE_API int32_t DIZ_API_FindRecord(const char* recordIdText) { return FindRecordByIdText(recordIdText); }

}  // extern "C"
