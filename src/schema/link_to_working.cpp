// Link record to working fields.
#include "schema/link_fields.h"
#include "schema/record_convert.h"
#include "support/ole_date.h"

#include <stdio.h>
#include <string.h>

using namespace schema_detail;

namespace {

// The device scale of ToDo priorities (0-5) folded onto the host's 1-3.
uint8_t PriorityFromDevice(uint8_t devicePriority) {
    if (devicePriority <= 2) return 1;
    if (devicePriority == 3) return 2;
    return 3;
}

// The text of an OLE date by link type: "0" for the value 0 (no date),
// otherwise yyyymmdd, hhmm or yyyymmddhhmmss.  A value outside the
// calendar's range gives the invalid-date text.
size_t OleDateText(double value, uint32_t linkType, char* text, size_t size) {
    if (value == 0.0) return static_cast<size_t>(snprintf(text, size, "0"));
    const char* format = linkType == kLinkTypeDate ? "%Y%m%d" : linkType == kLinkTypeTime ? "%H%M" : "%Y%m%d%H%M%S";
    size_t length = COleDateTime(value).Format(format, text, size);
    return length < size ? length : size - 1;
}

// A zero-filled value buffer of length bytes holding the first copied
// bytes of source, with one zero byte more than the value needs: a value a
// later map entry leaves under a length of 0 or kValueAbsent (E-mail
// SendDate) can then still be read up to a terminator inside its buffer.
uint8_t* NewValue(HANDLE heap, size_t length, const uint8_t* source, size_t copied) {
    return HeapCopy(heap, static_cast<SIZE_T>(length) + 1, source, copied);
}

// Stores a date text in a device slot by the device field's type.
// False only when out of memory.
bool StoreDateText(const FieldDescriptor& descriptor, const char* text, size_t length, HANDLE heap,
                   WorkingField* slot) {
    uint8_t* buffer = nullptr;
    uint32_t value = static_cast<uint32_t>(ReadDecimal(text, length));
    switch (descriptor.fieldType) {
    case kFieldTypeText:
        buffer = NewValue(heap, length, reinterpret_cast<const uint8_t*>(text), length);
        break;
    case kFieldTypeNumber:
        buffer = NewValue(heap, 4, nullptr, 0);
        if (buffer != nullptr)
            for (int b = 0; b < 4; ++b) buffer[b] = static_cast<uint8_t>(value >> (8 * b));
        length = 4;
        break;
    case kFieldTypeShortNumber:
        buffer = NewValue(heap, 2, nullptr, 0);
        if (buffer != nullptr) {
            buffer[0] = static_cast<uint8_t>(value);
            buffer[1] = static_cast<uint8_t>(value >> 8);
        }
        length = 2;
        break;
    default:
        // Flags and small numbers cannot hold a date: the slot keeps what it had.
        return true;
    }
    if (buffer == nullptr) return false;
    slot->length = static_cast<uint32_t>(length);
    slot->data = buffer;
    return true;
}

// Converts link slot source of link type linkType into device slot slot.
// False only when out of memory.
bool ConvertValue(const ConversionOptions& options, const FieldDescriptor& descriptor, uint32_t linkType,
                  const _tagDVXFIELD& source, HANDLE heap, WorkingField* slot) {
    // A length without data is a value the device did not fill: empty, and
    // never a buffer of that length made up of nothing.
    const uint32_t length = source.data == nullptr && source.length != kValueAbsent ? 0 : source.length;
    if (length == 0 || length == kValueAbsent) {
        // Only the length changes: an earlier entry's data may stay behind it.
        slot->length = length;
        return true;
    }
    if (linkType == kLinkTypeDate || linkType == kLinkTypeTime || linkType == kLinkTypeDateTime) {
        // A value shorter than a date reads as zero-extended.
        double value = 0.0;
        memcpy(&value, source.data, length < sizeof(value) ? length : sizeof(value));
        char text[40];
        size_t textLength = OleDateText(value, linkType, text, sizeof(text));
        return StoreDateText(descriptor, text, textLength, heap, slot);
    }
    uint8_t* buffer = NewValue(heap, length, source.data, length);
    if (buffer == nullptr) return false;
    if (linkType == kLinkTypeByte && options.noMerge == 0 && descriptor.fieldId == kRemappedPriorityFieldId)
        buffer[0] = PriorityFromDevice(buffer[0]);
    slot->length = length;
    slot->data = buffer;
    return true;
}

}  // namespace

WorkingField* ConvertLinkToWorking(const ConversionOptions& options, uint32_t dbId, const _tagDVXDBREC* linkRecord,
                                   HANDLE heap, const _tagS_DVXDBINFO* linkInfo) {
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema)) return nullptr;
    const FieldTable& table = *schema.table;
    WorkingField* slots = AllocSlots<WorkingField>(heap, table.fieldCount);
    if (slots == nullptr) return nullptr;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k) {
        const LinkFieldName& entry = schema.linkNames[k];
        if (entry.fieldId == kLinkOnlyField) continue;
        int32_t i = FindDescriptor(table, entry.fieldId);
        if (i < 0 || EntryNameIsEmpty(entry)) continue;
        char name[sizeof(entry.name) + 1] = {};
        memcpy(name, entry.name, sizeof(entry.name));
        int32_t j = FindLinkField(linkInfo, name);
        // A link record shorter than its field info lacks the value: the
        // field stays empty, as when the device does not list it.
        if (j < 0 || linkRecord == nullptr || linkRecord->fields == nullptr ||
            static_cast<uint32_t>(j) >= linkRecord->fieldCount)
            continue;
        if (!ConvertValue(options, table.descriptors[i], linkInfo->fields[j].type, linkRecord->fields[j], heap,
                          &slots[i]))
            return nullptr;
    }
    return slots;
}
