/*
 * Reading the values of working field slots, as the field readers need it.
 *
 * A slot holds a value in one of two senses, and each reader says which it
 * uses:
 *   - by data: its data pointer is present (the general rule);
 *   - by length: its length is neither 0 nor kValueAbsent (and, so that
 *     nothing reads through a null pointer, its data is present too).
 * A slot may keep data under a length of 0 or kValueAbsent: the E-mail
 * SendDate keeps the send date when the received date that followed it was
 * empty.  The number readers read at most the bytes its length names: a
 * shorter value reads zero-extended, one under a length of 0 or
 * kValueAbsent reads as 0, whatever bytes its data points at.
 */
#ifndef MORVANE_FIELDS_FIELD_VALUE_H
#define MORVANE_FIELDS_FIELD_VALUE_H

#include "schema/working_record.h"

#include <stdint.h>

inline bool HoldsData(const WorkingField* slot) { return slot != nullptr && slot->data != nullptr; }

inline bool HoldsValueByLength(const WorkingField* slot) {
    return HoldsData(slot) && slot->length != 0 && slot->length != kValueAbsent;
}

// The first value byte; 0 for a slot without data or with a length of 0
// or kValueAbsent.
uint8_t FirstByte(const WorkingField* slot);

// The little-endian 32-bit (16-bit) number of a slot, zero-extended from
// its length; 0 without data or with a length of 0 or kValueAbsent.
int32_t NumberValue(const WorkingField* slot);
int16_t ShortNumberValue(const WorkingField* slot);

// Value bytes a text slot holds: its length, or 0 when it has no data or
// its length marks the value absent.
uint32_t TextLength(const WorkingField* slot);

#endif
