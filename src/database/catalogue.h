/*
 * The database catalogue: the host's section numbers, the device database
 * ids behind them, and the rule by which the E-mail database spans device
 * databases 16 and 15.
 *
 *   section  device id  database      contract position
 *         0  none       "None", never opened
 *         1  7          Address book  2
 *         2  1          Schedule      0
 *         3  6          ToDo          1
 *         4  8          Memo          3
 *         5  16         E-mail        4
 */
#ifndef MORVANE_DATABASE_CATALOGUE_H
#define MORVANE_DATABASE_CATALOGUE_H

#include "link/tethra.h"
#include <stdint.h>

// The device database id of a host section, 0 for none.  Section 0 traces
// "SectionToDBID(%d):  'None' database may not be opened.", any value other
// than 0-5 traces "Unknown database identifier: [%d]".  Sets no error code;
// callers report a 0 in their own words.
uint32_t SectionToDBID(int32_t section);

// The device database that holds recordId: 15 for an E-mail record whose
// bit 31 is set, otherwise dbId.
uint32_t CompanionDbId(uint32_t dbId, uint32_t recordId);

// recordId inside that database: bit 31 cleared for an E-mail record of
// the companion database, otherwise unchanged.
uint32_t CompanionRecordId(uint32_t dbId, uint32_t recordId);

// True when dbId is the database id (second word) of one of the first
// count entries of list.  A null list holds nothing.
bool DatabaseInList(const _tagS_DVXDBIDIF* list, uint32_t count, uint32_t dbId);

// True when the device has database dbId: the check against the device's
// database list of the session (TTDBIDList, DBIDCount).
bool DatabaseOnDevice(uint32_t dbId);

// The position 0-4 of dbId among the contract check's database ids (1, 6,
// 7, 8, 16, the order of the session's Check_DBIDList), or -1 for none.
int32_t ContractPosition(uint32_t dbId);

#endif
