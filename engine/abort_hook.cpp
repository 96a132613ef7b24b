#include "engine/abort_hook.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace morvane_engine {

const char* const kAbortSteps[] = {
    // 0
    "gathered",          // every database read and planned, nothing changed
    "marked",            // a database marked as being changed
    "pc-write",          // a PC file written, its state not yet committed
    "pc-applied",        // the PC side of a database written and committed
    "device-imported",   // the device written, the state not yet told
    // 5
    "device-committed",  // the device's ids committed, the database not yet closed in the state
    "database-done",     // a database finished
    "finished",          // the session closed, its device writes not yet confirmed in the state
};
const unsigned kAbortStepCount = sizeof kAbortSteps / sizeof kAbortSteps[0];

namespace {

void PauseAt(const char* step) {
    static const char* wanted = getenv("MORVANE_SYNC_PAUSE_AT");
    static const char* file = getenv("MORVANE_SYNC_PAUSE_FILE");
    if (wanted == nullptr || file == nullptr || strcmp(wanted, step) != 0) return;
    const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return;
    close(fd);
    for (int waited = 0; waited < 6000 && access(file, F_OK) == 0; ++waited) usleep(10000);
}

}  // namespace

void AbortPoint(const char* step) {
    PauseAt(step);
    static const char* wanted = getenv("MORVANE_SYNC_ABORT_AT");
    static unsigned seen = 0;
    if (wanted == nullptr || *wanted == '\0') return;
    const char* colon = strchr(wanted, ':');
    const std::string name = colon != nullptr ? std::string(wanted, colon) : std::string(wanted);
    if (name != step) return;
    const unsigned nth = colon != nullptr ? static_cast<unsigned>(atoi(colon + 1)) : 1;
    if (++seen >= nth) _exit(9);
}

}  // namespace morvane_engine
