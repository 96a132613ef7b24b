#include "fields/field_value.h"

namespace {

// The little-endian number of `width` bytes at the front of a value.  A
// value is never read past its length: a shorter one reads zero-extended,
// and one under a length of 0 or kValueAbsent (whose bytes may be what an
// earlier value left behind) reads as 0.
uint32_t ReadLittleEndian(const WorkingField* slot, uint32_t width) {
    if (!HoldsValueByLength(slot)) return 0;
    const uint32_t count = slot->length < width ? slot->length : width;
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(slot->data[i]) << (8 * i);
    return value;
}

}  // namespace

uint8_t FirstByte(const WorkingField* slot) { return static_cast<uint8_t>(ReadLittleEndian(slot, 1)); }

int32_t NumberValue(const WorkingField* slot) { return static_cast<int32_t>(ReadLittleEndian(slot, 4)); }

int16_t ShortNumberValue(const WorkingField* slot) { return static_cast<int16_t>(ReadLittleEndian(slot, 2)); }

uint32_t TextLength(const WorkingField* slot) {
    if (!HoldsData(slot) || slot->length == kValueAbsent) return 0;
    return slot->length;
}
