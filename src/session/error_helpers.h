/*
 * The last-error code that DIZ_API_GetLastErrorCode reports, and the three
 * helpers that set it.  The library's own codes share the 0x1000xxxx range
 * with the device link library's codes; the host cannot tell them apart.
 */
#ifndef MORVANE_SESSION_ERROR_HELPERS_H
#define MORVANE_SESSION_ERROR_HELPERS_H

#include <stdint.h>

// The user declined to renew the pairing with the device.
constexpr uint32_t kErrorPairingDeclined = 0x10000001u;
// A heap or memory allocation failed.
constexpr uint32_t kErrorOutOfMemory = 0x10000004u;
// The database is not present on the device.
constexpr uint32_t kErrorDatabaseMissing = 0x1000000Du;

// What DIZ_API_GetLastErrorCode reports; 0 when loaded.  Set through the
// three helpers below, and directly, without a trace line, by the contract
// check when the user declines a new pairing and by a record fetch or store
// that fails.  Defined with the other globals in app/morvane_app.cpp.
extern uint32_t g_lastErrorCode;

// Sets the last error to 0.  No trace.
void ClearLastError();

// Traces "***** ***** Manually setting Quenda Error: %08x" and sets the
// last error to code.
void SetLastErrorCode(uint32_t code);

// Asks the device link for the link library's last error, traces
// "***** ***** Last Quenda Error: %08x" and makes it the last error.  Call
// it right after a device link operation failed, before any other.
void CaptureDeviceError();

#endif
