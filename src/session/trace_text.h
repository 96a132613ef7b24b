/*
 * Small texts for trace lines.
 */
#ifndef MORVANE_SESSION_TRACE_TEXT_H
#define MORVANE_SESSION_TRACE_TEXT_H

#include <stdint.h>

// "[FULL SYNC]" for 0; otherwise the 24-character local-time text of the
// standard ctime conversion ("Wed Jun 30 21:49:08 1993"), without its
// newline; "[INVALID TIME]" when the conversion fails.  The text lives in
// one static buffer that the next call overwrites: use it in one trace line
// and never hold it across another call.  Empty when no trace line is read.
const char* FormatSyncTime(int32_t time);

// text, or "(null)" for a null pointer: a host text that is missing shows
// so in a trace line, while the export goes on with empty text.
const char* TraceText(const char* text);

// "true" for a nonzero flag, else "false".
const char* BoolText(uint8_t flag);

// "TRUE" for a nonzero value, else "FALSE".
const char* BoolTextUpper(uint32_t value);

#endif
