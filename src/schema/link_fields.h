// Helpers shared by the two record converters.
#ifndef MORVANE_SCHEMA_LINK_FIELDS_H
#define MORVANE_SCHEMA_LINK_FIELDS_H

#include "link/tethra.h"
#include "platform/win32api.h"
#include "schema/field_table.h"
#include <stdint.h>

namespace schema_detail {

// ToDo Priority, the one field whose byte the conversions remap.
constexpr uint32_t kRemappedPriorityFieldId = 3;

// Position of the descriptor with fieldId in table, or -1.
int32_t FindDescriptor(const FieldTable& table, uint32_t fieldId);

// Position of the first link field named exactly name (case counts), or -1.
int32_t FindLinkField(const _tagS_DVXDBINFO* info, const char* name);

// The name of a map entry, which fills its 32 bytes when it has no NUL.
bool EntryNameIs(const LinkFieldName& entry, const char* name);
bool EntryNameIsEmpty(const LinkFieldName& entry);

// count zero-filled slots, each with its own size set; null when out of
// memory.  Slot must have the shape of _tagDVXFIELD.
template <typename Slot>
Slot* AllocSlots(HANDLE heap, uint32_t count) {
    Slot* slots = static_cast<Slot*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(Slot) * static_cast<SIZE_T>(count)));
    if (slots == nullptr) return nullptr;
    for (uint32_t i = 0; i < count; ++i) slots[i].size = sizeof(Slot);
    return slots;
}

// A zero-filled buffer of size bytes holding the first copied bytes of
// source; null when out of memory.
uint8_t* HeapCopy(HANDLE heap, SIZE_T size, const uint8_t* source, SIZE_T copied);

// Value of a decimal integer text as the C library's atoi reads it
// (leading blanks, an optional sign, digits up to the first other
// character), wrapped to 32 bits rather than overflowing.
int32_t ReadDecimal(const char* text, size_t length);

}  // namespace schema_detail

#endif
