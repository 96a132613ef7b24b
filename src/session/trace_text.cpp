#include "session/trace_text.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

const char* FormatSyncTime(int32_t time) {
    // One buffer for the whole library: the host calls one export at a time
    // and every caller uses the text in a single trace line.
    static char text[32];
    if (time == 0) {
        snprintf(text, sizeof text, "%s", "[FULL SYNC]");
        return text;
    }
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
