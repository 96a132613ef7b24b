// What a synchronisation did, per database, for the closing table; and the
// progress line shown on a terminal while a phase runs.
#ifndef MORVANE_ENGINE_SYNC_REPORT_H
#define MORVANE_ENGINE_SYNC_REPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace morvane_engine {

struct DatabaseSummary {
    int32_t section = 0;
    std::string name;
    size_t pcAdded = 0, pcChanged = 0, pcDeleted = 0;
    size_t deviceAdded = 0, deviceChanged = 0, deviceDeleted = 0;
    size_t conflicts = 0, skipped = 0;
    std::vector<std::string> lines;  // one per thing worth naming: conflicts, skipped files, dry-run actions
};

// The closing table: one row per database.
void PrintSummaryTable(FILE* out, const std::vector<DatabaseSummary>& summaries, bool dryRun);

// A progress line on standard error, drawn only when it is a terminal and
// the phase has run for more than a second.
class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled) {}
    ~Progress() { Clear(); }
    void Phase(const std::string& database, const char* phase);
    void Tick(size_t done, size_t total);
    void Clear();

private:
    bool enabled_;
    std::string label_;
    double started_ = 0;
    bool drawn_ = false;
};

}  // namespace morvane_engine

#endif
