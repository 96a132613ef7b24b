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

namespace field_value_detail {

// The little-endian number of the first `width` bytes of a value.  A value
// is never read past its length: a shorter one reads zero-extended, and
// one under a length of 0 or kValueAbsent (whose bytes may be what an
// earlier value left behind) reads as 0.  A value of full width, the usual
// case, is read without the byte loop.
inline uint32_t ReadLittleEndian(const WorkingField* slot, uint32_t width) {
    if (!HoldsValueByLength(slot)) return 0;
    const uint8_t* bytes = slot->data;
    if (slot->length >= width) {
        switch (width) {
        case 1:
            return bytes[0];
        case 2:
            return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
        case 4:
            return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                   static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        }
    }
    const uint32_t count = slot->length < width ? slot->length : width;
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return value;
}

}  // namespace field_value_detail

// The first value byte; 0 for a slot without data or with a length of 0
// or kValueAbsent.
inline uint8_t FirstByte(const WorkingField* slot) {
    return static_cast<uint8_t>(field_value_detail::ReadLittleEndian(slot, 1));
}

// The little-endian 32-bit (16-bit) number of a slot, zero-extended from
// its length; 0 without data or with a length of 0 or kValueAbsent.
inline int32_t NumberValue(const WorkingField* slot) {
    return static_cast<int32_t>(field_value_detail::ReadLittleEndian(slot, 4));
}
inline int16_t ShortNumberValue(const WorkingField* slot) {
    return static_cast<int16_t>(field_value_detail::ReadLittleEndian(slot, 2));
}

// Value bytes a text slot holds: its length, or 0 when it has no data or
// its length marks the value absent.
inline uint32_t TextLength(const WorkingField* slot) {
    if (!HoldsData(slot) || slot->length == kValueAbsent) return 0;
    return slot->length;
}

#endif
