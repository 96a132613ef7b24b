/*
 * The trace log: one line of text for every export, every device link
 * operation and every notable decision.
 *
 * A line always goes to the debugger output of the process.  When the
 * registry value "QA_Trace" under "SOFTWARE\Korvell\HALVERD\Setting" is
 * nonzero, it is also appended to "C:\QADbgLog.txt", which is opened and
 * closed for every line so that the log is complete on disk after each call.
 */
#ifndef MORVANE_SUPPORT_TRACE_LOG_H
#define MORVANE_SUPPORT_TRACE_LOG_H

#include "platform/debug_output.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Bytes of the formatting buffer.  A line whose text and terminating zero
// need all of them or more is too long.
constexpr size_t kTraceBufferSize = 16384;

// Written to the debugger output instead of a line that does not fit.
extern const char kTraceOverflowLine[];

// The log file, as the library names it.
extern const char kTraceLogFile[];

// 1 when lines also go to the log file.  0 when the library is loaded;
// set once by ReadTraceSwitch and never changed afterwards.
extern uint8_t traceToFile;

// Formats a line printf-style (the format carries its own "\n") and sends
// it to the debugger output and, with traceToFile set, to the log file.
// A line that needs kTraceBufferSize bytes or more (terminating zero
// included) is replaced by
// kTraceOverflowLine on the debugger output, and the file receives the
// unformatted format text instead.  Never fails towards its caller.
// A line nobody would read (the file off, nothing reading the debugger
// output) is not formatted at all.
void LogTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogTraceV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Whether a line written now would be read by anyone: callers with work of
// their own to do before a line (reading its arguments) may skip it.
inline bool TraceLinesRead() { return traceToFile != 0 || PlatformDebugOutputHasReader(); }

// Reads "QA_Trace" and sets traceToFile.  When the value exists, writes the
// header line "QA Debug Log started: <ctime text>".  A missing key or value
// means off and writes nothing.  Called once, when the library is loaded.
void ReadTraceSwitch();

#endif
