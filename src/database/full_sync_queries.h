/*
 * The small per-pass exports: direction of the next pass (an import pass
 * starts the open database's first-sync queue afresh), the full-sync
 * answer, the probe of the open database and the connect-error flag.  The
 * exports write their opening lines; these do the rest.
 */
#ifndef MORVANE_DATABASE_FULL_SYNC_QUERIES_H
#define MORVANE_DATABASE_FULL_SYNC_QUERIES_H

#include <stdint.h>

// Stores whether the open database needs a full sync (what the last
// DIZ_API_OpenDatabase decided) and traces the answer.  Returns 0.
int32_t QueryFullSync(uint32_t* fullSync);

// The next pass exports device data; syncStamp 0 means all records.
void BeginExportPass(int32_t syncStamp);
// The next pass imports host data into the device.
void BeginImportPass();

// Asks the device about the open database the first time it is given a new
// section; repeats of the same section answer 0 without asking.  -6 when
// the section is not the open database, -12 when the device did not answer.
int32_t CancelCheck(uint32_t section);

// 1 once opening the port or waiting for the device has failed.
uint32_t ConnectErrorStatus();

#endif
