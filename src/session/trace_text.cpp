#include "session/trace_text.h"

#include "support/trace_log.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

const char* FormatSyncTime(int32_t time) {
    if (time == 0) return "[FULL SYNC]";
    // The text only ever goes into a trace line: when nobody reads the
    // lines, the local time (a time zone lookup) is not worked out at all.
    if (!TraceLinesRead()) return "";
    // One buffer for the whole library: the host calls one export at a time
    // and every caller uses the text in a single trace line.
    static char text[32];
    const time_t value = time;
    const char* converted = ctime(&value);
    snprintf(text, sizeof text, "%s", converted != nullptr ? converted : "[INVALID TIME]");
    char* newline = strchr(text, '\n');
    if (newline != nullptr) *newline = '\0';
    return text;
}

const char* TraceText(const char* text) { return text != nullptr ? text : "(null)"; }

const char* BoolText(uint8_t flag) { return flag != 0 ? "true" : "false"; }

const char* BoolTextUpper(uint32_t value) { return value != 0 ? "TRUE" : "FALSE"; }
