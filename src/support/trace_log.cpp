#include "support/trace_log.h"

#include "platform/debug_output.h"
#include "platform/win32api.h"
#include "support/trace_format.h"

#include <time.h>

const char kTraceOverflowLine[] =
    "DIZ_TRACE output too long.  Consider breaking it into pieces or growing the buffer size to meet your needs.\n";
const char kTraceLogFile[] = "C:\\QADbgLog.txt";

uint8_t traceToFile = 0;

namespace {

const char kTraceSwitchKey[] = "SOFTWARE\\Korvell\\HALVERD\\Setting";
const char kTraceSwitchValue[] = "QA_Trace";

// The log has always been a text-mode file ("a+t" on Windows), where every
// "\n" reaches the disk as "\r\n".  Writing through a plain handle, the
// library expands the line breaks itself, so the log holds the same bytes
// on every system and a reader sees CR LF lines as before.
class LogFileWriter {
public:
    explicit LogFileWriter(HANDLE file) : file_(file) {}
    ~LogFileWriter() { Flush(); }

    void Put(char c) {
        if (used_ == sizeof pending_) Flush();
        pending_[used_++] = c;
    }
    void Flush() {
        DWORD written = 0;
        if (used_ > 0) WriteFile(file_, pending_, static_cast<DWORD>(used_), &written, nullptr);
        used_ = 0;
    }

private:
    HANDLE file_;
    char pending_[1024];
    size_t used_ = 0;
};

// Opened and closed for every line so that the log is complete on disk
// after each call and no handle stays open between exports.  A file that
// cannot be opened is skipped silently: tracing never fails its caller.
void AppendToLogFile(const char* text) {
    HANDLE file = CreateFileA(kTraceLogFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
    {
        LogFileWriter writer(file);
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '\n') writer.Put('\r');
            writer.Put(*p);
        }
    }
    CloseHandle(file);
}

}  // namespace

namespace {

// Kept out of line so that a line nobody reads does not set up the buffer.
__attribute__((noinline)) void FormatAndSend(const char* format, va_list args) {
    char buffer[kTraceBufferSize];
    // The same text and length as vsnprintf, at a fraction of its cost.
    const int needed = FormatTraceText(buffer, sizeof buffer, format, args);
    const char* fileText = buffer;
    // A text that needs the whole buffer, its terminating zero included,
    // already counts as too long: only one that leaves a byte spare is sent.
    if (needed >= 0 && static_cast<size_t>(needed) + 1 < sizeof buffer) {
        OutputDebugStringA(buffer);
    } else {
        // The file then keeps the format itself, placeholders and all, so
        // the log still shows which line was lost.
        OutputDebugStringA(kTraceOverflowLine);
        fileText = format;
    }
    if (traceToFile) AppendToLogFile(fileText);
}

}  // namespace

void LogTraceV(const char* format, va_list args) {
    if (TraceLinesRead()) FormatAndSend(format, args);
}

void LogTrace(const char* format, ...) {
    if (!TraceLinesRead()) return;
    va_list args;
    va_start(args, format);
    FormatAndSend(format, args);
    va_end(args);
}

void ReadTraceSwitch() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTraceSwitchKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, kTraceSwitchValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) ==
        ERROR_SUCCESS) {
        traceToFile = value != 0 ? 1 : 0;
        const time_t now = time(nullptr);
        const char* started = ctime(&now);
        // The ctime text ends in its own newline, so an empty line follows.
        LogTrace("QA Debug Log started: %s\n", started != nullptr ? started : "");
    }
    RegCloseKey(key);
}
