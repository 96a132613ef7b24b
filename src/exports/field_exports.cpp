// The exports through which the host reads fields and record information.
#include "exports/morvane_api.h"
#include "fields/get_field.h"
#include "fields/record_info.h"

extern "C" {

MORVANE_API int32_t DIZ_API_GetField(const char* fieldId, char* out) { return GetFieldText(fieldId, out); }

MORVANE_API int32_t DIZ_API_GetRepeatInfo(RepeatInfo* info) { return FillRepeatInfo(info); }

MORVANE_API int32_t DIZ_API_ReadFolderID(void) { return ReadFolderId(); }

MORVANE_API int32_t DIZ_API_GetFolderID(uint32_t* folder) { return GetFolderId(folder); }

MORVANE_API int32_t DIZ_API_GetRecordID_Attachment(char* out) { return GetWriteRecordId(out); }

}  // extern "C"

// Found by the host under its C++ name, _Z18GetEmailBodyLengthPi.
MORVANE_API int32_t GetEmailBodyLength(int32_t* length) { return ReadEmailBodyLength(length); }
