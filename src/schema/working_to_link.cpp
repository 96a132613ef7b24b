// Working record to link fields.
#include "schema/link_fields.h"
#include "schema/record_convert.h"
#include "support/ole_date.h"

#include <stdio.h>
#include <string.h>

using namespace schema_detail;

namespace {

// The host's ToDo priorities folded back onto the device's scale.
uint32_t PriorityToDevice(uint8_t hostPriority) {
    if (hostPriority <= 1) return 2;
    if (hostPriority == 2) return 3;
    return 4;
}

// yyyymmddhhmmss, the form every date, time and date-time passes through on
// its way to an OLE date.  Only the first characters are kept; length is
// that of the whole text.
struct DateTimeText {
    char text[40];
    size_t length;
};

const char kNoDateText[] = "00000000000000";

// The date-time text of a device value by its device type; false for a
// type that cannot hold a date.
bool MakeDateTimeText(const FieldDescriptor& descriptor, const WorkingField& value, DateTimeText* out) {
    memset(out->text, 0, sizeof(out->text));
    if (descriptor.fieldType == kFieldTypeText) {
        const size_t kept = sizeof(out->text) - 1;
        const size_t copied = value.length < kept ? value.length : kept;
        if (value.data != nullptr) memcpy(out->text, value.data, copied);
        out->length = value.length;
        if (value.length < 14) {
            // A short text (a 12-character Memo time stamp) is padded with zeros.
            memcpy(out->text + copied, kNoDateText, 14);
            out->length += 14;
        }
        return true;
    }
    uint8_t bytes[4] = {};
    if (value.data != nullptr) memcpy(bytes, value.data, value.length < 4 ? value.length : 4);
    if (descriptor.fieldType == kFieldTypeNumber) {
        int32_t date = static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
        out->length = static_cast<size_t>(snprintf(out->text, sizeof(out->text), "%08d000000", date));
        return true;
    }
    if (descriptor.fieldType == kFieldTypeShortNumber) {
        // No seconds: the text stops after the minute, so a time of 0 is not
        // taken for a missing date.
        int16_t time = static_cast<int16_t>(bytes[0] | bytes[1] << 8);
        out->length = static_cast<size_t>(snprintf(out->text, sizeof(out->text), "00000000%04d", time));
        return true;
    }
    return false;
}

// Piece [start, start + width) of the text as a decimal number; 0 where the
// text is shorter.
int Piece(const DateTimeText& t, size_t start, size_t width) {
    if (start >= t.length || start >= sizeof(t.text)) return 0;
    size_t available = t.length - start;
    return ReadDecimal(t.text + start, width < available ? width : available);
}

// The OLE date of a date-time text by link type; 0.0 when its parts do not
// form a valid date and time.
double OleDateOf(const DateTimeText& t, uint32_t linkType) {
    const int year = Piece(t, 0, 4), month = Piece(t, 4, 2), day = Piece(t, 6, 2);
    const int hour = Piece(t, 8, 2), minute = Piece(t, 10, 2), second = Piece(t, 12, 2);
    COleDateTime date;
    int status;
    if (linkType == kLinkTypeDateTime)
        status = date.SetDateTime(year, month, day, hour, minute, second);
    else if (linkType == kLinkTypeDate)
        status = date.SetDate(year, month, day);
    else
        status = date.SetTime(hour, minute, second);
    return status == COleDateTime::valid ? date.GetValue() : 0.0;
}

// Converts device slot value (non-empty, present) into link slot slot of
// link type linkType.  False only when out of memory.
bool ConvertValue(const ConversionOptions& options, const FieldDescriptor& descriptor, uint32_t linkType,
                  const WorkingField& value, HANDLE heap, _tagDVXFIELD* slot) {
    if (linkType == kLinkTypeByte) {
        uint8_t* buffer = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 4));
        if (buffer == nullptr) return false;
        if (descriptor.fieldType == kFieldTypeSmallNumber) {
            uint8_t byte = value.data != nullptr ? value.data[0] : 0;
            uint32_t number = byte;
            if (options.noMerge == 0 && descriptor.fieldId == kRemappedPriorityFieldId) number = PriorityToDevice(byte);
            for (int b = 0; b < 4; ++b) buffer[b] = static_cast<uint8_t>(number >> (8 * b));
        } else if (value.data != nullptr) {
            // At most 4 bytes fit; the tables pair this type with flags and numbers only.
            memcpy(buffer, value.data, value.length < 4 ? value.length : 4);
        }
        slot->length = 4;
        slot->data = buffer;
        return true;
    }
    if (linkType == kLinkTypeDate || linkType == kLinkTypeTime || linkType == kLinkTypeDateTime) {
        DateTimeText text;
        if (!MakeDateTimeText(descriptor, value, &text)) return true;
        if (text.length == 14 && memcmp(text.text, kNoDateText, 14) == 0) return true;
        double date = OleDateOf(text, linkType);
        uint8_t* buffer = HeapCopy(heap, sizeof(date), reinterpret_cast<const uint8_t*>(&date), sizeof(date));
        if (buffer == nullptr) return false;
        slot->length = sizeof(date);
        slot->data = buffer;
        return true;
    }
    uint8_t* buffer = HeapCopy(heap, value.length, value.data, value.length);
    if (buffer == nullptr) return false;
    slot->length = value.length;
    slot->data = buffer;
    return true;
}

// Link positions of the name parts that "S_NAME" and "S_YOMI_NAME" are
// composed of; -1 when the device does not list them.
struct NameParts {
    int32_t first = -1, middle = -1, last = -1, yomiFirst = -1, yomiLast = -1;

    void Remember(const LinkFieldName& entry, int32_t position) {
        if (EntryNameIs(entry, "S_FIRST_NAME")) first = position;
        else if (EntryNameIs(entry, "S_MIDDLE_NAME")) middle = position;
        else if (EntryNameIs(entry, "S_LAST_NAME")) last = position;
        else if (EntryNameIs(entry, "S_YOMI_FIRST_NAME")) yomiFirst = position;
        else if (EntryNameIs(entry, "S_YOMI_LAST_NAME")) yomiLast = position;
    }
};

// The bytes of a text held in a link slot.
struct Text {
    const uint8_t* bytes;
    size_t length;
    bool empty() const { return length == 0; }
};

Text TextOf(const _tagDVXFIELD& slot) {
    if (slot.length == 0 || slot.data == nullptr) return Text{nullptr, 0};
    return Text{slot.data, slot.length};
}

// Appends texts to a buffer sized for all of them.
struct Composer {
    uint8_t* out;
    size_t length = 0;
    void Add(const Text& t) {
        if (t.length > 0) memcpy(out + length, t.bytes, t.length);
        length += t.length;
    }
    void Add(const char* s) { Add(Text{reinterpret_cast<const uint8_t*>(s), strlen(s)}); }
};

// Stores the composition of parts in link slot target.  False only when out
// of memory.
template <typename Compose>
bool StoreComposed(HANDLE heap, size_t capacity, _tagDVXFIELD* target, Compose compose) {
    uint8_t* buffer = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, capacity));
    if (buffer == nullptr) return false;
    Composer c{buffer};
    compose(c);
    target->length = static_cast<uint32_t>(c.length);
    target->data = c.length > 0 ? buffer : nullptr;
    return true;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Link field names compared without regard to case.
bool SameNameIgnoringCase(const char (&linkName)[96], const char* name) {
    for (size_t k = 0; k < sizeof(linkName); ++k) {
        if (UpperAscii(linkName[k]) != UpperAscii(name[k])) return false;
        if (name[k] == '\0') return true;
    }
    return name[sizeof(linkName)] == '\0';
}

// The last link field whose name equals name, case ignored; -1 when none.
int32_t FindLinkFieldLast(const _tagS_DVXDBINFO* info, const char* name) {
    int32_t found = -1;
    if (info == nullptr || info->fields == nullptr) return -1;
    for (uint32_t j = 0; j < info->fieldCount; ++j)
        if (SameNameIgnoringCase(info->fields[j].name, name)) found = static_cast<int32_t>(j);
    return found;
}

bool ComposeFullName(const ConversionOptions& options, const NameParts& parts, int32_t target, HANDLE heap,
                     _tagDVXFIELD* slots) {
    if (target < 0 || parts.first < 0 || parts.last < 0 || parts.middle < 0) return true;
    if (slots[parts.first].length == kValueAbsent || slots[parts.last].length == kValueAbsent ||
        slots[parts.middle].length == kValueAbsent)
        return true;
    const Text first = TextOf(slots[parts.first]), middle = TextOf(slots[parts.middle]),
               last = TextOf(slots[parts.last]);
    const size_t capacity = first.length + middle.length + last.length + 4;
    return StoreComposed(heap, capacity, &slots[target], [&](Composer& c) {
        if (options.familyNameFirst != 0) {
            c.Add(last);
            if (!last.empty()) c.Add(" ");
            c.Add(middle);
            if (!middle.empty()) c.Add(" ");
            c.Add(first);
        } else if (!first.empty() && !last.empty() && !middle.empty()) {
            c.Add(last);
            c.Add(", ");
            c.Add(first);
            c.Add(" ");
            c.Add(middle);
        } else if (!first.empty() && !last.empty()) {
            c.Add(last);
            c.Add(", ");
            c.Add(first);
        } else {
            c.Add(first);
            if (!first.empty()) c.Add(" ");
            c.Add(middle);
            if (!middle.empty()) c.Add(" ");
            c.Add(last);
        }
    });
}

bool ComposeYomiName(const NameParts& parts, int32_t target, HANDLE heap, _tagDVXFIELD* slots) {
    if (target < 0 || parts.yomiFirst < 0 || parts.yomiLast < 0) return true;
    if (slots[parts.yomiFirst].length == kValueAbsent || slots[parts.yomiLast].length == kValueAbsent) return true;
    const Text first = TextOf(slots[parts.yomiFirst]), last = TextOf(slots[parts.yomiLast]);
    return StoreComposed(heap, first.length + last.length + 1, &slots[target], [&](Composer& c) {
        c.Add(last);
        if (!last.empty()) c.Add(" ");
        c.Add(first);
    });
}

}  // namespace

_tagDVXFIELD* ConvertToLinkRecord(const ConversionOptions& options, uint32_t dbId, const WorkingRecord* record,
                                  HANDLE heap, const _tagS_DVXDBINFO* linkInfo) {
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema) || linkInfo == nullptr) return nullptr;
    const FieldTable& table = *schema.table;
    _tagDVXFIELD* slots = AllocSlots<_tagDVXFIELD>(heap, linkInfo->fieldCount);
    if (slots == nullptr) return nullptr;
    NameParts parts;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k) {
        const LinkFieldName& entry = schema.linkNames[k];
        if (entry.fieldId == kLinkOnlyField) continue;
        int32_t i = FindDescriptor(table, entry.fieldId);
        if (i < 0 || EntryNameIsEmpty(entry)) continue;
        char name[sizeof(entry.name) + 1] = {};
        memcpy(name, entry.name, sizeof(entry.name));
        int32_t j = FindLinkField(linkInfo, name);
        if (j < 0) continue;
        parts.Remember(entry, j);
        // A record without values, or one made for a shorter table, has
        // nothing to send for this field: it stays empty.
        if (record == nullptr || record->fields == nullptr || static_cast<uint32_t>(i) >= record->fieldCount) continue;
        const WorkingField& value = record->fields[i];
        if (value.length == kValueAbsent) {
            slots[j].length = kValueAbsent;
            continue;
        }
        // A length without data has nothing to send: the field goes empty.
        if (value.length == 0 || value.data == nullptr) {
            slots[j].length = 0;
            continue;
        }
        if (!ConvertValue(options, table.descriptors[i], linkInfo->fields[j].type, value, heap, &slots[j]))
            return nullptr;
    }
    if (dbId == kAddressDbId) {
        if (!ComposeFullName(options, parts, FindLinkFieldLast(linkInfo, "S_NAME"), heap, slots)) return nullptr;
        if (!ComposeYomiName(parts, FindLinkFieldLast(linkInfo, "S_YOMI_NAME"), heap, slots)) return nullptr;
    }
    return slots;
}
