#include "bridge/adapter.h"

#include <stdio.h>

#include "device/simulator.h"

namespace morvane_host {

const std::vector<const char*> kStartupExports = {
    "DIZ_API_Initialize", "DIZ_API_CloseSyncApp", "DIZ_API_Uninitialize", "DIZ_API_GetLastErrorCode"};
const std::vector<const char*> kExportPassExports = {
    "DIZ_API_BeginExport",   "DIZ_API_OpenDatabase",  "DIZ_API_QueryFullSync",     "DIZ_API_GetRecordCount",
    "DIZ_API_GetFirstRecord", "DIZ_API_GetNextRecord", "DIZ_API_ReleaseReadRecord", "DIZ_API_CloseDatabase"};
const std::vector<const char*> kFieldReadExports = {"DIZ_API_GetField", "DIZ_API_GetRepeatInfo",
                                                    "DIZ_API_GetFolderID"};
const std::vector<const char*> kImportPassExports = {
    "DIZ_API_BeginImport", "DIZ_API_OpenDatabase",  "DIZ_API_InsertRecord",   "DIZ_API_FindRecord",
    "DIZ_API_PutField",    "DIZ_API_PutRepeatInfo", "DIZ_API_SetFolderID",    "DIZ_API_AddRecord",
    "DIZ_API_FlushRecord", "DIZ_API_DeleteRecord",  "DIZ_API_CloseDatabase"};

namespace {


// Binds one export: the pointer stays null when the library lacks it.
// GetProcAddress gives every export one generic type; the detour through
// void (*)(void) is the conversion compilers accept as deliberate.
template <typename F>
void Bind(HMODULE module, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

struct CodeText {
    int32_t code;
    const char* text;
};

static const CodeText kResults[] = {
    // 0
    {0, "success"},
    {-2, "start-up failed"},
    {-3, "closing the device database failed"},
    {-4, "opening a database or fetching a record failed"},
    {-6, "the section is not the open database, or the changed-record list could not be read"},
    // 5
    {-7, "end of data"},
    {-8, "invalid field text, field id or folder number"},
    {-9, "a step of writing a record failed"},
    {-10, "deleting failed or record id 0"},
    {-11, "not found"},
    // 10
    {-12, "a device operation failed while storing a record or checking a database"},
};

struct ErrorText {
    uint32_t code;
    const char* text;
};

static const ErrorText kLastErrors[] = {
    // 0
    {0, "no error"},
    {0x10000001, "the user declined to renew the pairing"},
    {0x10000004, "out of memory"},
    {0x1000000D, "the database is not present on the device"},
    {tethra_sim::kErrInvalidParameter, "device link: invalid parameter"},
    // 5
    {tethra_sim::kErrPortNotOpen, "device link: the port is not open"},
    {tethra_sim::kErrNotSupported, "device link: not supported by this device"},
    {tethra_sim::kErrNoDevice, "device link: no device answered on the port"},
    {tethra_sim::kErrNotConnected, "device link: not connected"},
    {tethra_sim::kErrPortUnavailable, "device link: the port is unavailable"},
    // 10
    {tethra_sim::kErrOutOfMemory, "device link: out of memory"},
    {tethra_sim::kErrUnknownDatabase, "device link: unknown database"},
    {tethra_sim::kErrRecordNotFound, "device link: record not found"},
    {tethra_sim::kErrBadFieldValue, "device link: a value does not fit its field"},
    {tethra_sim::kErrBufferTooSmall, "device link: buffer too small"},
    // 15
    {tethra_sim::kErrBadSyncTime, "device link: bad sync time"},
    {tethra_sim::kErrFirstSyncNotAllowed, "device link: first-sync write not allowed"},
    {tethra_sim::kErrImageUnreadable, "device link: the device image could not be loaded"},
    {tethra_sim::kErrImageNotSaved, "device link: the device image could not be saved"},
    {tethra_sim::kErrNoSyncState, "device link: the database keeps no sync state"},
};

}  // namespace

Adapter::~Adapter() {
    if (module_ != nullptr) FreeLibrary(module_);
}

bool Adapter::Load(const std::string& path, std::string* error) {
    path_ = path;
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
        char text[64];
        snprintf(text, sizeof text, " (error %u)", static_cast<unsigned>(GetLastError()));
        *error = "cannot load the adapter " + path + text;
        return false;
    }
    Bind(module_, "DIZ_API_Initialize", &api_.Initialize);
    Bind(module_, "DIZ_API_Uninitialize", &api_.Uninitialize);
    Bind(module_, "DIZ_API_CloseSyncApp", &api_.CloseSyncApp);
    Bind(module_, "DIZ_API_GetLastErrorCode", &api_.GetLastErrorCode);
    Bind(module_, "DIZ_API_BeginExport", &api_.BeginExport);
    Bind(module_, "DIZ_API_BeginImport", &api_.BeginImport);
    Bind(module_, "DIZ_API_QueryFullSync", &api_.QueryFullSync);
    Bind(module_, "DIZ_API_OpenDatabase", &api_.OpenDatabase);
    Bind(module_, "DIZ_API_GetRecordCount", &api_.GetRecordCount);
    Bind(module_, "DIZ_API_GetFirstRecord", &api_.GetFirstRecord);
    Bind(module_, "DIZ_API_GetNextRecord", &api_.GetNextRecord);
    Bind(module_, "DIZ_API_ReleaseReadRecord", &api_.ReleaseReadRecord);
    Bind(module_, "DIZ_API_CloseDatabase", &api_.CloseDatabase);
    Bind(module_, "DIZ_API_DeleteRecord", &api_.DeleteRecord);
    Bind(module_, "DIZ_API_FindRecord", &api_.FindRecord);
    Bind(module_, "DIZ_API_GetField", &api_.GetField);
    Bind(module_, "DIZ_API_GetRepeatInfo", &api_.GetRepeatInfo);
    Bind(module_, "DIZ_API_GetFolderID", &api_.GetFolderID);
    Bind(module_, "DIZ_API_PutField", &api_.PutField);
    Bind(module_, "DIZ_API_PutRepeatInfo", &api_.PutRepeatInfo);
    Bind(module_, "DIZ_API_SetFolderID", &api_.SetFolderID);
    Bind(module_, "DIZ_API_InsertRecord", &api_.InsertRecord);
    Bind(module_, "DIZ_API_AddRecord", &api_.AddRecord);
    Bind(module_, "DIZ_API_FlushRecord", &api_.FlushRecord);
    return true;
}

std::vector<std::string> Adapter::Missing(const std::vector<const char*>& names) const {
    std::vector<std::string> missing;
    for (const char* name : names)
        if (module_ == nullptr || GetProcAddress(module_, name) == nullptr) missing.push_back(name);
    return missing;
}

uint32_t Adapter::LastErrorCode() const {
    uint32_t code = 0;
    if (api_.GetLastErrorCode != nullptr) api_.GetLastErrorCode(&code);
    return code;
}

bool Adapter::Check(const char* exportName, int32_t result, int32_t success) const {
    if (result == success) return true;
    const uint32_t code = LastErrorCode();
    char text[256];
    snprintf(text, sizeof text, "%s returned %d (%s); last error 0x%08X (%s)", exportName, static_cast<int>(result),
             ResultMeaning(result), static_cast<unsigned>(code), LastErrorMeaning(code));
    lastFailure_.exportName = exportName;
    lastFailure_.result = result;
    lastFailure_.lastError = code;
    lastFailure_.text = text;
    if (!quiet_) fprintf(stderr, "morvane-sync: %s\n", text);
    return false;
}

const char* ResultMeaning(int32_t result) {
    for (const CodeText& entry : kResults)
        if (entry.code == result) return entry.text;
    return result == -999 ? "the e-mail folder is outside 0 to 3" : "unknown result";
}

const char* LastErrorMeaning(uint32_t code) {
    for (const ErrorText& entry : kLastErrors)
        if (entry.code == code) return entry.text;
    return "a code of the device link library";
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace morvane_host
