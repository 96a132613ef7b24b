#include "session/call_frame.h"

#include "session/error_helpers.h"
#include "support/trace_log.h"

#include <stdarg.h>

void EnterExport(ClearMode mode, const char* format, ...) {
    // The entry line does not read the last error, so clearing it first
    // lets an export whose line nobody reads leave at once.
    if (mode == ClearMode::kClear) ClearLastError();
    if (!TraceLinesRead()) return;
    va_list args;
    va_start(args, format);
    LogTraceV(format, args);
    va_end(args);
}
