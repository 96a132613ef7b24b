/*
 * Small helpers shared by the operations that fill the write record: reading
 * host text as a number, and giving a slot a fresh value in writeHeap.
 */
#ifndef MORVANE_FIELDS_WRITE_VALUE_H
#define MORVANE_FIELDS_WRITE_VALUE_H

#include "schema/working_record.h"
#include <stdint.h>

namespace field_write {

// A decimal text read as the C library's atoi reads it (leading blanks, an
// optional sign, digits up to the first other character; no digits give
// 0), wrapped to 32 bits instead of overflowing.  Null reads as 0.
int32_t ReadDecimalText(const char* text);

// Makes size zero-filled bytes from writeHeap the slot's value, with
// length size, and returns them.  Null when writeHeap cannot supply them;
// the slot is then left pointing at no bytes with length size.
uint8_t* NewSlotValue(WorkingField* slot, uint32_t size);

// Traces "Failed to get enough memory (%d B) for data value." with size,
// sets the last error to out of memory and returns -9.
int32_t ReportValueMemoryFailure(uint32_t size);

// Writes the low width bytes of value little-endian.
void StoreLittleEndian(uint8_t* bytes, uint32_t value, uint32_t width);

// True when the slot holds a value judged by length: neither empty nor
// absent, and with bytes behind it.
inline bool HoldsWrittenValue(const WorkingField* slot) {
    return slot != nullptr && slot->data != nullptr && slot->length != 0 && slot->length != kValueAbsent;
}

}  // namespace field_write

#endif
