/*
 * Reading records: the cursor over the record cache that the export pass
 * walks, fetching each record's values from the device when the host
 * reaches it and making the record the session's currentRecord, which the
 * field readers address.  The exports write their opening lines and clear
 * the last error; these do the rest.
 */
#ifndef MORVANE_DATABASE_RECORD_CURSOR_H
#define MORVANE_DATABASE_RECORD_CURSOR_H

#include "schema/working_record.h"
#include <stdint.h>

// Host record statuses.
constexpr uint32_t kRecordStatusUnknown = 0;  // DIZRecord_Unknown

// Stores the number of cached records in *count (0 first).  -6 when section
// is not the open database.
int32_t GetRecordCount(int32_t section, uint32_t* count);

// Points the cursor at the head of the cache (its end when the cache is
// empty); DIZ_API_GetFirstRecord then reads on as DIZ_API_GetNextRecord.
void RewindRecordCursor();

// Moves to the next record (for E-mail, the next one of the host's folder),
// loads its values and makes it current; *status gets its host record
// status (0 first).  -6 wrong database, -7 end of data, -4 its values could
// not be fetched (the cursor has then moved past it).
int32_t GetNextRecord(int32_t section, uint32_t* status);

// The host record status of a device sync attribute: 1, 2, 4, 8 give 1, 2,
// 3, 4; anything else traces and gives 0.
uint32_t SyncAttrToRecordStatus(uint32_t syncAttr);

// Fetches and converts record's values unless they are loaded or the
// record is a deletion.  0, or -4 with the last error set.
int32_t LoadRecordValues(WorkingRecord* record);

// Whether the mail record lies in host folder folder (device folder + 1;
// a record without a folder counts as device folder 0).
bool IsOfValidFolderType(const WorkingRecord* record, uint32_t folder);

// Drops the values of the record just read, except where they are kept
// until the close (E-mail, full sync).  Returns 0.
int32_t ReleaseReadRecord();

// Loads record recordId into the session's idRecord and makes it current.
// 1 on success, -4 when it could not be fetched.
int32_t GetIdDBRec(uint32_t recordId);

#endif
