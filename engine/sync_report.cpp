#include "engine/sync_report.h"

#include <time.h>
#include <unistd.h>

namespace morvane_engine {

namespace {

double Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

void PrintSummaryTable(FILE* out, const std::vector<DatabaseSummary>& summaries, bool dryRun) {
    fprintf(out, "%s\n", dryRun ? "would be done (dry run, nothing changed):" : "done:");
    fprintf(out, "  %-13s | %-23s | %-23s | %9s | %7s\n", "", "on the PC", "on the handheld", "", "");
    fprintf(out, "  %-13s | %7s %7s %7s | %7s %7s %7s | %9s | %7s\n", "database", "added", "changed", "deleted",
            "added", "changed", "deleted", "conflicts", "skipped");
    for (const DatabaseSummary& s : summaries)
        fprintf(out, "  %-13s | %7zu %7zu %7zu | %7zu %7zu %7zu | %9zu | %7zu\n", s.name.c_str(), s.pcAdded,
                s.pcChanged, s.pcDeleted, s.deviceAdded, s.deviceChanged, s.deviceDeleted, s.conflicts, s.skipped);
}

void Progress::Phase(const std::string& database, const char* phase) {
    Clear();
    label_ = database + ": " + phase;
    started_ = Now();
}

void Progress::Tick(size_t done, size_t total) {
    if (!enabled_ || Now() - started_ < 1.0) return;
    const int width = 30;
    const int filled = total == 0 ? 0 : static_cast<int>(static_cast<double>(width) * done / total);
    fprintf(stderr, "\r%-40s [%.*s%*s] %zu/%zu", label_.c_str(), filled, "##############################",
            width - filled, "", done, total);
    fflush(stderr);
    drawn_ = true;
}

void Progress::Clear() {
    if (!drawn_) return;
    fprintf(stderr, "\r%*s\r", 100, "");
    fflush(stderr);
    drawn_ = false;
}

}  // namespace morvane_engine
