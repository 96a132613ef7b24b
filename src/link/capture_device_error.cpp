// CaptureDeviceError: the device link library's own code becomes the
// adapter's last error, unchanged, so the host sees why the device refused.
#include "app/morvane_app.h"
#include "link/device_link.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

void CaptureDeviceError() {
    uint32_t code = g_link.GetLastError();
    LogTrace("***** ***** Last Quenda Error: %08x\n", code);
    theApp.lastErrorCode = code;
}
