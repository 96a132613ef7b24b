// The cost of a trace line: DIZ_API_GetRecordCount (two lines a call, and
// little else) called over and over, with tracing off and nothing reading
// the debugger output (lines not even formatted), with tracing off and the
// debugger output read (into /dev/null: every line formatted and written),
// and with tracing on (each line also appended to the log file, opened and
// closed per line).
#include "bench/bench_main.h"

#include "support/sandbox.h"

#include <fstream>

namespace morvane_bench {

namespace {

constexpr int32_t kCalls = 1000;

int64_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<int64_t>(in.tellg()) : 0;
}

int64_t CountLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    int64_t lines = 0;
    for (char c; in.get(c);) lines += c == '\n';
    return lines;
}

// Lines a call writes, as the traced copy's log file shows them.
double LinesPerCall() {
    static const double lines = [] {
        AdapterCopy& traced = AdapterCopy::Traced();
        const std::string log = traced.TraceLogPath();
        const int64_t before = CountLines(log);
        uint32_t count = 0;
        for (int32_t i = 0; i < kCalls; ++i) traced.api().DIZ_API_GetRecordCount(1, kStamp, &count);
        return static_cast<double>(CountLines(log) - before) / kCalls;
    }();
    return lines;
}

enum class Tracing { kOff, kOffDebuggerRead, kOn };

// The debugger output read into /dev/null while it lives.
class DebuggerReading {
public:
    explicit DebuggerReading(bool read) : read_(read) {
        if (read_) testing_support::SetEnv("MORVANE_DEBUG_OUTPUT", "/dev/null");
    }
    ~DebuggerReading() {
        if (read_) testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT");
    }

private:
    bool read_;
};

void TraceLines(benchmark::State& state, Tracing tracing) {
    const bool on = tracing == Tracing::kOn;
    AdapterCopy& adapter = on ? AdapterCopy::Traced() : AdapterCopy::Quiet();
    if (!adapter.ok()) return Fail(state, "the adapter did not start");
    const double linesPerCall = LinesPerCall();
    if (linesPerCall <= 0) return Fail(state, "no trace line was written");
    const int64_t logBefore = FileSize(adapter.TraceLogPath());
    DebuggerReading reading(tracing == Tracing::kOffDebuggerRead);
    double seconds = 0;
    uint32_t count = 0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        for (int32_t i = 0; i < kCalls; ++i) adapter.api().DIZ_API_GetRecordCount(1, kStamp, &count);
        const double took = ThreadCpuSeconds() - start;
        state.SetIterationTime(took);
        seconds += took;
    }
    const double lines = linesPerCall * kCalls * static_cast<double>(state.iterations());
    state.counters["lines_per_call"] = linesPerCall;
    state.counters["ns_per_line"] = seconds * 1e9 / lines;
    if (on) state.counters["bytes_per_line"] = static_cast<double>(FileSize(adapter.TraceLogPath()) - logBefore) / lines;
}

}  // namespace

void RegisterTraceBenchmarks() {
    Register("trace_lines/off", kCalls, [](benchmark::State& state) { TraceLines(state, Tracing::kOff); });
    Register("trace_lines/off_debugger_read", kCalls,
             [](benchmark::State& state) { TraceLines(state, Tracing::kOffDebuggerRead); });
    Register("trace_lines/on", kCalls, [](benchmark::State& state) { TraceLines(state, Tracing::kOn); });
}

}  // namespace morvane_bench
