#include "fields/write_value.h"

#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <ctype.h>

namespace field_write {

int32_t ReadDecimalText(const char* text) {
    if (text == nullptr) return 0;
    while (isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = (*text++ == '-');
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') value = value * 10u + static_cast<uint32_t>(*text++ - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

uint8_t* NewSlotValue(WorkingField* slot, uint32_t size) {
    uint8_t* bytes = static_cast<uint8_t*>(g_session.writeHeap.Alloc(size));
    slot->data = bytes;
    slot->length = size;
    return bytes;
}

int32_t ReportValueMemoryFailure(uint32_t size) {
    LogTrace("Failed to get enough memory (%d B) for data value.\n", static_cast<int32_t>(size));
    SetLastErrorCode(kErrorOutOfMemory);
    return kResultWriteFailed;
}

void StoreLittleEndian(uint8_t* bytes, uint32_t value, uint32_t width) {
    for (uint32_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace field_write
