// A machine with no configuration, and start-ups that fail: what the host
// sets up by itself the first time, and what it tells the person running it
// when the adapter cannot start.
#ifndef MORVANE_HOST_FIRST_RUN_H
#define MORVANE_HOST_FIRST_RUN_H

#include <stdint.h>
#include <stdio.h>

#include <string>

namespace morvane_host {

// Where the adapter's data-file folder goes on a machine without one.
extern const char kDefaultDataFolderWindows[];

// On a machine whose registry file does not exist yet: writes it with
// "DatafilePath" naming the default data-file folder, creates that folder,
// and says on out what it created.  Does nothing where the registry file
// exists or the system's own registry serves the adapter.  False with the
// reason in *error when it cannot create them.
bool PrepareFirstRun(FILE* out, std::string* error);

// The likely cause of a failed start-up and its fix, as lines for the
// person running it, from what the registry, the data-file folder and the
// device image say and from the adapter's last error code.
std::string StartupAdvice(uint32_t lastError);

// The adapter's last error code a session's error text names, 0 for none.
uint32_t LastErrorIn(const std::string& sessionError);

// Reports a start-up that failed with the session's error text: the text,
// then the advice for the last error code the text names.
void ReportStartupFailure(const std::string& sessionError, FILE* out);

}  // namespace morvane_host

#endif
