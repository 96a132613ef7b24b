/*
 * Session start-up and shutdown: what DIZ_API_Initialize, DIZ_API_Uninitialize
 * and DIZ_API_CloseSyncApp do once their export has written the opening
 * trace line and cleared the last error.
 */
#ifndef MORVANE_SESSION_STARTUP_H
#define MORVANE_SESSION_STARTUP_H

#include <stdint.h>

// Connects to the device, opens the working database, takes the private
// heap, fetches the device's database list and settles the pairing.
// Returns 0 when the session is ready, and also at once when a session is
// already initialised (even a failed one); -2 when a step failed, with the
// cause in the last error.  What a failing step left done stays done.
int32_t StartSession();

// Opens the device link library's working database, the data-file folder
// followed by "QtDBTemp", unless it is open already.  0 when open, -2 (and
// the device error captured) when not.
int32_t OpenWorkingDatabase();

// Drops the session's hold on the private heap and ends the session; the
// link and the working database stay as they are, for the next start-up.
void EndSession();

// Closes the link and destroys the private heap whatever its count.
void CloseSession();

#endif
