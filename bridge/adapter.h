// The adapter as a host sees it: a library loaded at run time whose
// exports are found by their undecorated names.  Nothing of the adapter is
// linked into this program; an export the library does not (yet) offer is
// simply absent, and the caller asks before it relies on one.
#ifndef MORVANE_BRIDGE_ADAPTER_H
#define MORVANE_BRIDGE_ADAPTER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/win32api.h"
#include "src/exports/morvane_api.h"

namespace morvane_host {

// Every DIZ_API_ export the host drives, as a typed pointer; null while the
// library does not export it.
struct AdapterExports {
    decltype(&DIZ_API_Initialize) Initialize = nullptr;
    decltype(&DIZ_API_Uninitialize) Uninitialize = nullptr;
    decltype(&DIZ_API_CloseSyncApp) CloseSyncApp = nullptr;
    decltype(&DIZ_API_GetLastErrorCode) GetLastErrorCode = nullptr;
    decltype(&DIZ_API_BeginExport) BeginExport = nullptr;
    decltype(&DIZ_API_BeginImport) BeginImport = nullptr;
    decltype(&DIZ_API_QueryFullSync) QueryFullSync = nullptr;
    decltype(&DIZ_API_OpenDatabase) OpenDatabase = nullptr;
    decltype(&DIZ_API_GetRecordCount) GetRecordCount = nullptr;
    decltype(&DIZ_API_GetFirstRecord) GetFirstRecord = nullptr;
    decltype(&DIZ_API_GetNextRecord) GetNextRecord = nullptr;
    decltype(&DIZ_API_ReleaseReadRecord) ReleaseReadRecord = nullptr;
    decltype(&DIZ_API_CloseDatabase) CloseDatabase = nullptr;
    decltype(&DIZ_API_DeleteRecord) DeleteRecord = nullptr;
    decltype(&DIZ_API_FindRecord) FindRecord = nullptr;
    decltype(&DIZ_API_GetField) GetField = nullptr;
    decltype(&DIZ_API_GetRepeatInfo) GetRepeatInfo = nullptr;
    decltype(&DIZ_API_GetFolderID) GetFolderID = nullptr;
    decltype(&DIZ_API_PutField) PutField = nullptr;
    decltype(&DIZ_API_PutRepeatInfo) PutRepeatInfo = nullptr;
    decltype(&DIZ_API_SetFolderID) SetFolderID = nullptr;
    decltype(&DIZ_API_InsertRecord) InsertRecord = nullptr;
    decltype(&DIZ_API_AddRecord) AddRecord = nullptr;
    decltype(&DIZ_API_FlushRecord) FlushRecord = nullptr;
};

// The exports each step of a synchronisation needs, by name.
extern const std::vector<const char*> kStartupExports;
extern const std::vector<const char*> kExportPassExports;
extern const std::vector<const char*> kFieldReadExports;
extern const std::vector<const char*> kImportPassExports;

class Adapter {
public:
    Adapter() = default;
    ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // Loads the library with LoadLibraryA and looks up every export.  False
    // (with the reason in *error) only when the library itself cannot be
    // loaded; missing exports are recorded, not fatal.
    bool Load(const std::string& path, std::string* error);

    const AdapterExports& api() const { return api_; }
    const std::string& path() const { return path_; }

    // The names in the list the library does not export.
    std::vector<std::string> Missing(const std::vector<const char*>& names) const;
    bool HasAll(const std::vector<const char*>& names) const { return Missing(names).empty(); }

    // DIZ_API_GetLastErrorCode, or 0 when that export is missing.
    uint32_t LastErrorCode() const;

    // Returns false when result is not the export's success value, after
    // recording the failure (see lastFailure) and, unless set_quiet, printing
    // "<export> returned <result> (<meaning>); last error 0x... (<meaning>)"
    // to standard error; returns true otherwise.
    bool Check(const char* exportName, int32_t result, int32_t success = 0) const;

    // The failure Check saw last.
    struct Failure {
        std::string exportName;
        int32_t result = 0;
        uint32_t lastError = 0;
        std::string text;  // as Check prints it, without the program's name
    };
    const Failure& lastFailure() const { return lastFailure_; }
    void set_quiet(bool quiet) { quiet_ = quiet; }

private:
    HMODULE module_ = nullptr;
    std::string path_;
    AdapterExports api_;
    mutable Failure lastFailure_;
    bool quiet_ = false;
};

// What a result code of the exports means, in a few words.
const char* ResultMeaning(int32_t result);
// What a DIZ_API_GetLastErrorCode code means: the library's own codes and
// those of the device link library.
const char* LastErrorMeaning(uint32_t code);

// "a, b, c"
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace morvane_host

#endif
