#include "exports/morvane_api.h"

#include "session/error_helpers.h"

// No trace line and no change of the code, so the host may ask any number
// of times after a failing export.
void DIZ_API_GetLastErrorCode(uint32_t* code) {
    if (code != nullptr) *code = g_lastErrorCode;
}
