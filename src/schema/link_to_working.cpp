// Link record to working fields.
#include "schema/link_fields.h"
#include "schema/record_convert.h"
#include "support/ole_date.h"

#include <stdint.h>
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

// Room for the values of one record, taken from the zero-filled block that
// also holds its slots: one allocation a record instead of one a value.
// Each value gets one zero byte more than it needs, so that a value a later
// map entry leaves under a length of 0 or kValueAbsent (E-mail SendDate)
// can still be read up to a terminator inside its buffer.
struct ValueSpace {
    uint8_t* next;
    uint8_t* end;

    // A zero-filled buffer of length + 1 bytes holding the first copied
    // bytes of source; null when the room measured for the record is spent.
    uint8_t* NewValue(size_t length, const uint8_t* source, size_t copied) {
        if (static_cast<size_t>(end - next) < length + 1) return nullptr;
        uint8_t* value = next;
        next += length + 1;
        if (source != nullptr && copied > 0) memcpy(value, source, copied < length ? copied : length);
        return value;
    }
};

// The longest text OleDateText gives, its terminating zero included.
constexpr size_t kDateTextRoom = 40;

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

// Stores a date in a device slot as its step says: its text, or its
// number in 4 or 2 bytes.  False only when the record's value space is spent.
bool StoreDate(LinkStepKind kind, double value, uint32_t linkType, ValueSpace* space, WorkingField* slot) {
    uint8_t* buffer = nullptr;
    size_t length = 0;
    if (kind == LinkStepKind::kDateText) {
        char text[kDateTextRoom];
        length = OleDateText(value, linkType, text, sizeof(text));
        buffer = space->NewValue(length, reinterpret_cast<const uint8_t*>(text), length);
    } else {
        const uint32_t number = OleDateNumber(value, linkType);
        length = kind == LinkStepKind::kDateNumber ? 4 : 2;
        buffer = space->NewValue(length, nullptr, 0);
        if (buffer != nullptr)
            for (size_t b = 0; b < length; ++b) buffer[b] = static_cast<uint8_t>(number >> (8 * b));
    }
    if (buffer == nullptr) return false;
    slot->length = static_cast<uint32_t>(length);
    slot->data = buffer;
    return true;
}

// The length a link slot's value counts as.  A length without data is a
// value the device did not fill: empty, and never a buffer of that length
// made up of nothing.
uint32_t SourceLength(const _tagDVXFIELD& source) {
    return source.data == nullptr && source.length != kValueAbsent ? 0 : source.length;
}

// Bytes ConvertValue may take from the record's value space for source.
size_t ValueRoom(LinkStepKind kind, const _tagDVXFIELD& source) {
    const uint32_t length = SourceLength(source);
    if (length == 0 || length == kValueAbsent) return 0;
    switch (kind) {
    case LinkStepKind::kCopy:
    case LinkStepKind::kCopyPriority:
        return static_cast<size_t>(length) + 1;
    case LinkStepKind::kDateText:
        return kDateTextRoom;
    case LinkStepKind::kDateNumber:
        return 4 + 1;
    case LinkStepKind::kDateShortNumber:
        return 2 + 1;
    case LinkStepKind::kDateIgnored:
        break;
    }
    return 0;
}

// Converts link slot source into device slot slot as step says.  False
// only when the record's value space is spent.
bool ConvertValue(const ConversionOptions& options, const LinkPlanStep& step, const _tagDVXFIELD& source,
                  ValueSpace* space, WorkingField* slot) {
    const uint32_t length = SourceLength(source);
    if (length == 0 || length == kValueAbsent) {
        // Only the length changes: an earlier entry's data may stay behind it.
        slot->length = length;
        return true;
    }
    if (step.kind == LinkStepKind::kDateIgnored) return true;
    if (step.kind != LinkStepKind::kCopy && step.kind != LinkStepKind::kCopyPriority) {
        // A value shorter than a date reads as zero-extended.
        double value = 0.0;
        memcpy(&value, source.data, length < sizeof(value) ? length : sizeof(value));
        return StoreDate(step.kind, value, step.linkType, space, slot);
    }
    uint8_t* buffer = space->NewValue(length, source.data, length);
    if (buffer == nullptr) return false;
    if (step.kind == LinkStepKind::kCopyPriority && options.noMerge == 0) buffer[0] = PriorityFromDevice(buffer[0]);
    slot->length = length;
    slot->data = buffer;
    return true;
}

// What a value of linkType becomes in the field of descriptor.
LinkStepKind StepKind(const FieldDescriptor& descriptor, uint32_t linkType) {
    if (linkType == kLinkTypeDate || linkType == kLinkTypeTime || linkType == kLinkTypeDateTime) {
        switch (descriptor.fieldType) {
        case kFieldTypeText:
            return LinkStepKind::kDateText;
        case kFieldTypeNumber:
            return LinkStepKind::kDateNumber;
        case kFieldTypeShortNumber:
            return LinkStepKind::kDateShortNumber;
        default:
            // Flags and small numbers cannot hold a date.
            return LinkStepKind::kDateIgnored;
        }
    }
    if (linkType == kLinkTypeByte && descriptor.fieldId == kRemappedPriorityFieldId) return LinkStepKind::kCopyPriority;
    return LinkStepKind::kCopy;
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
        const uint32_t linkType = linkInfo->fields[j].type;
        plan->steps[plan->stepCount++] = LinkPlanStep{static_cast<uint32_t>(i), static_cast<uint32_t>(j), linkType,
                                                      StepKind(schema.table->descriptors[i], linkType)};
    }
    plan->dbId = dbId;
    return true;
}

WorkingField* ConvertLinkToWorkingByPlan(const ConversionOptions& options, const LinkFieldPlan& plan,
                                         const _tagDVXDBREC* linkRecord, HANDLE heap) {
    if (plan.dbId == 0) return nullptr;
    const FieldTable& table = *plan.table;
    // A link record shorter than its field info lacks the values of the
    // fields past its end: those stay empty, as when the device does not
    // list them.
    const uint32_t present = linkRecord == nullptr || linkRecord->fields == nullptr ? 0 : linkRecord->fieldCount;
    // The slots and every value go into one zero-filled block, measured
    // first; the heap is destroyed as a whole, so nothing is lost by not
    // giving each value a block of its own.
    const size_t slotBytes = sizeof(WorkingField) * static_cast<size_t>(table.fieldCount);
    size_t bytes = slotBytes;
    for (uint32_t k = 0; k < plan.stepCount; ++k) {
        const LinkPlanStep& step = plan.steps[k];
        if (step.linkField >= present) continue;
        const size_t room = ValueRoom(step.kind, linkRecord->fields[step.linkField]);
        if (room > SIZE_MAX - bytes) return nullptr;  // more than memory can hold
        bytes += room;
    }
    uint8_t* block = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes));
    if (block == nullptr) return nullptr;
    WorkingField* slots = reinterpret_cast<WorkingField*>(block);
    for (uint32_t i = 0; i < table.fieldCount; ++i) slots[i].size = sizeof(WorkingField);
    ValueSpace space{block + slotBytes, block + bytes};
    for (uint32_t k = 0; k < plan.stepCount; ++k) {
        const LinkPlanStep& step = plan.steps[k];
        if (step.linkField >= present) continue;
        if (!ConvertValue(options, step, linkRecord->fields[step.linkField], &space, &slots[step.descriptor]))
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
