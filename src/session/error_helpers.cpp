#include "session/error_helpers.h"

#include "link/device_link.h"
#include "support/trace_log.h"

void ClearLastError() { g_lastErrorCode = 0; }

void SetLastErrorCode(uint32_t code) {
    LogTrace("***** ***** Manually setting Quenda Error: %08x\n", code);
    g_lastErrorCode = code;
}

// The device link library's own code becomes the adapter's last error,
// unchanged, so the host sees why the device refused.
void CaptureDeviceError() {
    uint32_t code = g_link.GetLastError();
    LogTrace("***** ***** Last Quenda Error: %08x\n", code);
    g_lastErrorCode = code;
}
