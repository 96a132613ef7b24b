/*
 * The trace log's own formatter: printf-style formatting of a trace line
 * for the few conversions the library's trace texts use, much cheaper
 * than the C library's general formatter, which every line used to go
 * through whether or not the log file is on.
 *
 * Handled: the flags '-' and '0', a width (digits or '*'), a precision
 * ('.' and digits or '*'), and the conversions d i u x X s c and "%%",
 * without length modifiers.  A format holding anything else is formatted
 * by vsnprintf, from its beginning, so the result is always what
 * vsnprintf would write.
 */
#ifndef MORVANE_SUPPORT_TRACE_FORMAT_H
#define MORVANE_SUPPORT_TRACE_FORMAT_H

#include <stdarg.h>
#include <stddef.h>

// Writes the formatted text into out, cut to size - 1 bytes and always
// zero-terminated when size is not 0, and returns the length of the whole
// text (terminating zero not counted), exactly as vsnprintf does.
int FormatTraceText(char* out, size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

#endif
