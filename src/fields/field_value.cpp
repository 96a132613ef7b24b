#include "fields/field_value.h"

namespace {

// Copies the low bytes of a little-endian number of `width` bytes; a valid
// shorter length reads only those bytes, the rest stay zero.
uint32_t ReadLittleEndian(const WorkingField* slot, uint32_t width) {
    if (!HoldsData(slot)) return 0;
    uint32_t count = width;
    if (slot->length != 0 && slot->length != kValueAbsent && slot->length < width) count = slot->length;
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(slot->data[i]) << (8 * i);
    return value;
}

}  // namespace

uint8_t FirstByte(const WorkingField* slot) { return HoldsData(slot) ? slot->data[0] : 0; }

int32_t NumberValue(const WorkingField* slot) { return static_cast<int32_t>(ReadLittleEndian(slot, 4)); }

int16_t ShortNumberValue(const WorkingField* slot) { return static_cast<int16_t>(ReadLittleEndian(slot, 2)); }

uint32_t TextLength(const WorkingField* slot) {
    if (!HoldsData(slot) || slot->length == kValueAbsent) return 0;
    return slot->length;
}
