/*
 * The write record: the one record the host is building, in the device
 * schema of the open database, with its slots and values in the session's
 * writeHeap.
 *
 * A new record (DIZ_API_InsertRecord) starts with every slot empty
 * (length 0); a changed record (DIZ_API_FindRecord) with every slot absent
 * (length kValueAbsent), so that the device keeps each field the host does
 * not write.  The record is stored by DIZ_API_AddRecord or
 * DIZ_API_FlushRecord, which destroy writeHeap whatever the outcome.
 */
#ifndef MORVANE_FIELDS_WRITE_RECORD_H
#define MORVANE_FIELDS_WRITE_RECORD_H

#include <stdint.h>

// Gives the write record the open database's slots (one per descriptor of
// currentFieldTable) in writeHeap, empty for recordId 0 and absent
// otherwise, and the record id.  False, after tracing "Failed to get enough
// memory for %d fields." and setting the last error to out of memory, when
// the slots cannot be allocated (also when no database is open: 0 fields).
bool PrepareWriteRecord(uint32_t recordId);

// Clears the flags that belong to one record: recordRepeats, alarmFlagSet
// and allDay.  Run at the start of every record read, found or begun.
void ResetWriteFlags();

// Destroys writeHeap and makes the write record forget its slots (fields
// null, fieldCount 0), keeping its size and record id, so that a field
// written or read before the next record is prepared finds no field
// rather than bytes of a destroyed heap.
void ReleaseWriteRecord();

#endif
