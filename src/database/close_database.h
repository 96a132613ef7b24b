/*
 * Closing a database: what DIZ_API_CloseDatabase does once its export has
 * written the opening line and cleared the last error.
 */
#ifndef MORVANE_DATABASE_CLOSE_DATABASE_H
#define MORVANE_DATABASE_CLOSE_DATABASE_H

#include <stdint.h>

// Drops the record cache (and the values kept until the close).  With
// finish set it also finishes the device side: unless abandon is set, the
// queued first-sync records go over in one bulk write and the device's sync
// state of the database is cleaned up; then the link's working database is
// closed (committing unless abandon).  Returns 0, -9 when the bulk write
// failed (the working database then stays open), -3 when closing the
// working database failed.
int32_t CloseDatabase(int32_t finish, int32_t abandon);

#endif
