/*
 * Storing the write record in the open database: the bodies of
 * DIZ_API_AddRecord and DIZ_API_FlushRecord, each the whole export, its
 * opening trace line and the clearing of the last error included.  They
 * derive the record's alarm, event and folder fields through the field
 * writers as the host would, convert it into a link record and hand it to
 * the device, or to the first-sync batch.
 */
#ifndef MORVANE_DATABASE_STORE_RECORD_H
#define MORVANE_DATABASE_STORE_RECORD_H

#include <stdint.h>

// DIZ_API_AddRecord: derives the alarm (Schedule) and folder (E-mail)
// fields, converts the write record to a link record and writes it to the
// device, or queues it during a first synchronisation, and gives the new
// record's id as signed decimal text (12 bytes) in recordIdText.  0, -9
// (derived field, put, queue or count failure), -12 (conversion).
int32_t AddWriteRecord(char* recordIdText);

// DIZ_API_FlushRecord: the same for a changed record, never queued.  0,
// -9 (derived field), -12 (conversion, put or count).
int32_t FlushWriteRecord();

#endif
