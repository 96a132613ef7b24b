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

// The number the text of OleDateText reads as, without making the text:
// the digits of yyyymmdd, hhmm or yyyymmddhhmmss (the last wrapped to 32
// bits, as reading its digits does), and 0 for "0" and the invalid-date
// text, which has no digits.
uint32_t OleDateNumber(double value, uint32_t linkType) {
    OleDateParts p;
    if (value == 0.0 || !DecomposeOleDate(value, &p)) return 0;
    const uint64_t date = static_cast<uint64_t>(p.year) * 10000u + static_cast<uint64_t>(p.month) * 100u +
                          static_cast<uint64_t>(p.day);
    const uint64_t time = static_cast<uint64_t>(p.hour) * 100u + static_cast<uint64_t>(p.minute);
    if (linkType == kLinkTypeDate) return static_cast<uint32_t>(date);
    if (linkType == kLinkTypeTime) return static_cast<uint32_t>(time);
    return static_cast<uint32_t>((date * 10000u + time) * 100u + static_cast<uint64_t>(p.second));
}

// Stores a date in a device slot by the device field's type: its text in a
// text field, its number in a number or short number field.  False only
// when out of memory.
bool StoreDate(const FieldDescriptor& descriptor, double value, uint32_t linkType, HANDLE heap, WorkingField* slot) {
    uint8_t* buffer = nullptr;
    size_t length = 0;
    switch (descriptor.fieldType) {
    case kFieldTypeText: {
        char text[40];
        length = OleDateText(value, linkType, text, sizeof(text));
        buffer = NewValue(heap, length, reinterpret_cast<const uint8_t*>(text), length);
        break;
    }
    case kFieldTypeNumber: {
        const uint32_t number = OleDateNumber(value, linkType);
        buffer = NewValue(heap, 4, nullptr, 0);
        if (buffer != nullptr)
            for (int b = 0; b < 4; ++b) buffer[b] = static_cast<uint8_t>(number >> (8 * b));
        length = 4;
        break;
    }
    case kFieldTypeShortNumber: {
        const uint32_t number = OleDateNumber(value, linkType);
        buffer = NewValue(heap, 2, nullptr, 0);
        if (buffer != nullptr) {
            buffer[0] = static_cast<uint8_t>(number);
            buffer[1] = static_cast<uint8_t>(number >> 8);
        }
        length = 2;
        break;
    }
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
        return StoreDate(descriptor, value, linkType, heap, slot);
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

bool BuildLinkFieldPlan(uint32_t dbId, const _tagS_DVXDBINFO* linkInfo, LinkFieldPlan* plan) {
    plan->dbId = 0;
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema)) return false;
    plan->table = schema.table;
    plan->linkFields = linkInfo != nullptr ? linkInfo->fields : nullptr;
    plan->linkFieldCount = linkInfo != nullptr ? linkInfo->fieldCount : 0;
    plan->stepCount = 0;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k) {
        const LinkFieldName& entry = schema.linkNames[k];
        if (entry.fieldId == kLinkOnlyField) continue;
        int32_t i = FindDescriptor(*schema.table, entry.fieldId);
        if (i < 0 || EntryNameIsEmpty(entry)) continue;
        char name[sizeof(entry.name) + 1] = {};
        memcpy(name, entry.name, sizeof(entry.name));
        int32_t j = FindLinkField(linkInfo, name);
        if (j < 0) continue;
        if (plan->stepCount == kMaxLinkPlanSteps) return false;
        plan->steps[plan->stepCount++] =
            LinkPlanStep{static_cast<uint32_t>(i), static_cast<uint32_t>(j), linkInfo->fields[j].type};
    }
    plan->dbId = dbId;
    return true;
}

WorkingField* ConvertLinkToWorkingByPlan(const ConversionOptions& options, const LinkFieldPlan& plan,
                                         const _tagDVXDBREC* linkRecord, HANDLE heap) {
    if (plan.dbId == 0) return nullptr;
    const FieldTable& table = *plan.table;
    WorkingField* slots = AllocSlots<WorkingField>(heap, table.fieldCount);
    if (slots == nullptr) return nullptr;
    // A link record shorter than its field info lacks the values of the
    // fields past its end: those stay empty, as when the device does not
    // list them.
    const uint32_t present = linkRecord == nullptr || linkRecord->fields == nullptr ? 0 : linkRecord->fieldCount;
    for (uint32_t k = 0; k < plan.stepCount; ++k) {
        const LinkPlanStep& step = plan.steps[k];
        if (step.linkField >= present) continue;
        if (!ConvertValue(options, table.descriptors[step.descriptor], step.linkType,
                          linkRecord->fields[step.linkField], heap, &slots[step.descriptor]))
            return nullptr;
    }
    return slots;
}

WorkingField* ConvertLinkToWorking(const ConversionOptions& options, uint32_t dbId, const _tagDVXDBREC* linkRecord,
                                   HANDLE heap, const _tagS_DVXDBINFO* linkInfo) {
    LinkFieldPlan plan;
    if (!BuildLinkFieldPlan(dbId, linkInfo, &plan)) return nullptr;
    return ConvertLinkToWorkingByPlan(options, plan, linkRecord, heap);
}
