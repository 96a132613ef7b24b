/*
 * The world of the session fuzz targets: the adapter, the simulated device
 * and the platform layer compiled into the target itself (so every branch
 * is instrumented), run in a private drive C with a registry file of its
 * own, against the demo handheld paired with this PC.
 *
 * The library's state lives once per process and has no reset, so each
 * input is one whole synchronisation session, as a host that synchronises
 * again without unloading the library runs it: BeginInput restores the
 * device image and the settings file and calls DIZ_API_Initialize, which
 * must succeed whatever the inputs before left behind; EndInput closes the
 * database, the link and the session.  The fuzzer chooses only the calls in
 * between.
 *
 * Every output buffer is allocated to exactly the size the host is
 * promised, so AddressSanitizer stops at the first byte written beyond it;
 * the checks below stop the target (trap) on a broken promise.
 */
#ifndef MORVANE_FUZZ_SESSION_HARNESS_H
#define MORVANE_FUZZ_SESSION_HARNESS_H

#include "exports/morvane_api.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <string>

namespace fuzz_session {

// Field text and its terminator; a record id text and its terminator.
constexpr size_t kFieldTextBytes = 49152 + 1;
constexpr size_t kRecordIdBytes = 12;

// Restores the device and the settings file, starts the session.
void BeginInput();
// Closes the open database (abandoning its pass), the link and the session.
void EndInput();

// Traps unless result is one of the codes an export may return.
int32_t CheckResult(int32_t result);

// DIZ_API_GetField into an exact-size buffer; the text must end within it.
int32_t ReadField(const char* fieldId);
// DIZ_API_AddRecord and DIZ_API_GetRecordID_Attachment into 12 bytes.
int32_t AddRecord();
int32_t ReadWriteRecordId();
// DIZ_API_GetFieldByWriteRec into a field-text buffer.
int32_t ReadWriteRecordField(int32_t fieldId);

// A host section: mostly 1-5, sometimes any number.
int32_t PickSection(FuzzedDataProvider& input);
// A text, or null.
const char* PickText(FuzzedDataProvider& input, std::string& storage, size_t maxLength);
// A field id text: a number near the tables' ids, with or without a part
// selector, "UID", or any text; null now and then.
const char* PickFieldId(FuzzedDataProvider& input, std::string& storage);
// A record id text: small ids, companion ids, out-of-range numbers, any text.
const char* PickRecordId(FuzzedDataProvider& input, std::string& storage);

}  // namespace fuzz_session

#endif
