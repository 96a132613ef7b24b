#include "exports/morvane_api.h"

#include "app/morvane_app.h"

// No trace line and no change of the code, so the host may ask any number
// of times after a failing export.
void DIZ_API_GetLastErrorCode(uint32_t* code) {
    if (code != nullptr) *code = theApp.lastErrorCode;
}
