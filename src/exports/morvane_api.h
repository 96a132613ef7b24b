/*
 * Morvane: the synchronisation adapter's exported functions.
 *
 * This is the only public header.  A host sync engine loads the library and
 * finds these functions by their undecorated names; it calls one at a time,
 * from one thread.  Every function returning int32_t gives 0 on success and
 * a negative code on failure (see DIZ_API_GetLastErrorCode for details of
 * the last failure); the exceptions are stated beside them.
 */
#ifndef MORVANE_EXPORTS_MORVANE_API_H
#define MORVANE_EXPORTS_MORVANE_API_H

#include <stdint.h>

#if defined(_WIN32)
#  ifdef MORVANE_BUILD
#    define MORVANE_API __declspec(dllexport)
#  else
#    define MORVANE_API __declspec(dllimport)
#  endif
#else
#  define MORVANE_API __attribute__((visibility("default")))
#endif

typedef int32_t DIZ_TIME; /* 32-bit time value, seconds */

/* The host's repeat rule of a Schedule record, read by DIZ_API_GetRepeatInfo
 * and written by DIZ_API_PutRepeatInfo. */
#pragma pack(push, 1)
typedef struct RepeatInfo {
    uint8_t repeatPeriod, repeatCount, deleteFlag;
    char startDate[10];
    char endDate[10];
    uint8_t isRepeating;
    uint8_t weekDays[7];
} RepeatInfo; /* 31 bytes */
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(RepeatInfo) == 31, "RepeatInfo is 31 bytes");
extern "C" {
#endif

MORVANE_API int32_t DIZ_API_Initialize(const char* first, const char* second);
MORVANE_API int32_t DIZ_API_Uninitialize(void);
MORVANE_API int32_t DIZ_API_CloseSyncApp(void);
MORVANE_API void DIZ_API_GetLastErrorCode(uint32_t* code);
MORVANE_API void DIZ_API_BeginExport(DIZ_TIME syncStamp);
MORVANE_API void DIZ_API_BeginImport(void);
MORVANE_API int32_t DIZ_API_QueryFullSync(int32_t section, DIZ_TIME since, uint32_t* fullSync);
MORVANE_API int32_t DIZ_API_CancelCheck(uint32_t section);
MORVANE_API uint32_t DIZ_API_GetConnectErrorStatus(void);
MORVANE_API int32_t DIZ_API_OpenDatabase(int32_t section, const char* text1, const char* text2);
MORVANE_API int32_t DIZ_API_GetRecordCount(int32_t section, DIZ_TIME time, uint32_t* count);
MORVANE_API int32_t DIZ_API_GetFirstRecord(int32_t section, DIZ_TIME time, uint32_t* status);
MORVANE_API int32_t DIZ_API_GetNextRecord(int32_t section, DIZ_TIME time, uint32_t* status);
MORVANE_API int32_t DIZ_API_GetIdDBRec(uint32_t recordId);
MORVANE_API int32_t DIZ_API_ReleaseReadRecord(void);
MORVANE_API int32_t DIZ_API_CloseDatabase(int32_t section, int32_t finish, int32_t abandon);
MORVANE_API int32_t DIZ_API_DeleteRecord(const char* recordIdText);
MORVANE_API int32_t DIZ_API_FindRecord(const char* recordIdText);
MORVANE_API int32_t DIZ_API_GetField(const char* fieldId, char* out);
MORVANE_API int32_t DIZ_API_GetRepeatInfo(RepeatInfo* info);
MORVANE_API int32_t DIZ_API_GetFolderID(uint32_t* folder);
MORVANE_API int32_t DIZ_API_ReadFolderID(void);
MORVANE_API int32_t DIZ_API_GetRecordID_Attachment(char* out);
MORVANE_API int32_t DIZ_API_PutField(const char* fieldId, const char* value);
MORVANE_API int32_t DIZ_API_PutRepeatInfo(RepeatInfo info);
MORVANE_API int32_t DIZ_API_SetAlarm(void);
MORVANE_API int32_t DIZ_API_SetFolderID(int32_t folder);
MORVANE_API int32_t DIZ_API_WriteFolderID(int32_t folder);
MORVANE_API int32_t DIZ_API_SetEventFlag(void);
MORVANE_API int32_t DIZ_API_InsertRecord(void);
MORVANE_API int32_t DIZ_API_AddRecord(char* recordId);
MORVANE_API int32_t DIZ_API_FlushRecord(void);
MORVANE_API int32_t DIZ_API_GetFieldByWriteRec(int32_t fieldId, char* value);

#ifdef __cplusplus
} /* extern "C" */

/* C++ linkage: exported under their decorated names. */
MORVANE_API int32_t GetInstallPath(char* buffer);
MORVANE_API int32_t GetEmailBodyLength(int32_t* length);
#endif

#endif
