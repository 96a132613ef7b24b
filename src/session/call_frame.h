/*
 * The frame every DIZ_API_ export enters, and the results the exports share.
 *
 * On entry an export writes its opening trace line: "***** ", its name and
 * its arguments in parentheses, output arguments shown as "[OUT]" and a time
 * argument followed, after two blanks, by its FormatSyncTime text, e.g.
 *     EnterExport(ClearMode::kClear, "***** DIZ_API_CloseDatabase(%d)\n", section);
 * Then most exports clear the last error; DIZ_API_SetAlarm,
 * DIZ_API_ReadFolderID, DIZ_API_BeginExport, DIZ_API_BeginImport and
 * DIZ_API_SetEventFlag keep it (ClearMode::kKeep).  DIZ_API_GetRecordID_Attachment
 * clears without a line: it calls ClearLastError alone.  The query exports
 * (DIZ_API_GetIdDBRec, DIZ_API_GetFieldByWriteRec, DIZ_API_CancelCheck,
 * DIZ_API_ReleaseReadRecord, DIZ_API_GetLastErrorCode,
 * DIZ_API_GetConnectErrorStatus, GetInstallPath, GetEmailBodyLength) do
 * neither and do not enter the frame.
 */
#ifndef MORVANE_SESSION_CALL_FRAME_H
#define MORVANE_SESSION_CALL_FRAME_H

#include <stdint.h>

enum class ClearMode {
    kClear,  // clear the last error after the opening line
    kKeep,   // leave the last error as the previous export left it
};

// Writes the opening line, then clears the last error when mode is
// ClearMode::kClear.
void EnterExport(ClearMode mode, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Results the exports share (signed 32-bit, as the host sees them).
constexpr int32_t kResultOk = 0;
constexpr int32_t kResultStartupFailed = -2;
constexpr int32_t kResultCloseFailed = -3;
constexpr int32_t kResultOpenOrFetchFailed = -4;
constexpr int32_t kResultWrongDatabase = -6;
constexpr int32_t kResultEndOfData = -7;
constexpr int32_t kResultInvalidField = -8;
constexpr int32_t kResultWriteFailed = -9;
constexpr int32_t kResultDeleteFailed = -10;
constexpr int32_t kResultNotFound = -11;
constexpr int32_t kResultDeviceFailed = -12;

#endif
