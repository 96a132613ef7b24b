#include "session/error_helpers.h"

#include "app/morvane_app.h"
#include "support/trace_log.h"

void ClearLastError() { theApp.lastErrorCode = 0; }

void SetLastErrorCode(uint32_t code) {
    LogTrace("***** ***** Manually setting Quenda Error: %08x\n", code);
    theApp.lastErrorCode = code;
}
