#include "schema/link_fields.h"

#include <string.h>

namespace schema_detail {

int32_t FindDescriptor(const FieldTable& table, uint32_t fieldId) {
    for (uint32_t i = 0; i < table.fieldCount; ++i)
        if (table.descriptors[i].fieldId == fieldId) return static_cast<int32_t>(i);
    return -1;
}

int32_t FindLinkField(const _tagS_DVXDBINFO* info, const char* name) {
    if (info == nullptr || info->fields == nullptr) return -1;
    for (uint32_t j = 0; j < info->fieldCount; ++j)
        if (strncmp(info->fields[j].name, name, sizeof(info->fields[j].name)) == 0) return static_cast<int32_t>(j);
    return -1;
}

bool EntryNameIs(const LinkFieldName& entry, const char* name) {
    size_t length = strnlen(entry.name, sizeof(entry.name));
    return strlen(name) == length && memcmp(entry.name, name, length) == 0;
}

bool EntryNameIsEmpty(const LinkFieldName& entry) { return entry.name[0] == '\0'; }

uint8_t* HeapCopy(HANDLE heap, SIZE_T size, const uint8_t* source, SIZE_T copied) {
    uint8_t* buffer = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
    if (buffer != nullptr && source != nullptr && copied > 0) memcpy(buffer, source, copied < size ? copied : size);
    return buffer;
}

int32_t ReadDecimal(const char* text, size_t length) {
    size_t k = 0;
    while (k < length && (text[k] == ' ' || (text[k] >= '\t' && text[k] <= '\r'))) ++k;
    bool negative = false;
    if (k < length && (text[k] == '+' || text[k] == '-')) negative = text[k++] == '-';
    uint32_t value = 0;
    for (; k < length && text[k] >= '0' && text[k] <= '9'; ++k) value = value * 10u + static_cast<uint32_t>(text[k] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

}  // namespace schema_detail
