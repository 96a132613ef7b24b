#include "session/call_frame.h"

#include "session/error_helpers.h"
#include "support/trace_log.h"

#include <stdarg.h>

void EnterExport(ClearMode mode, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogTraceV(format, args);
    va_end(args);
    if (mode == ClearMode::kClear) ClearLastError();
}
