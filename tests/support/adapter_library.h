// The adapter as a host sees it: libmorvane.so loaded at run time with
// LoadLibraryA and every export found by its exported name with
// GetProcAddress.  Create the test's Sandbox first, so that the library's
// application object reads the sandbox's registry when it is constructed.
#ifndef MORVANE_TESTS_SUPPORT_ADAPTER_LIBRARY_H
#define MORVANE_TESTS_SUPPORT_ADAPTER_LIBRARY_H

#include "exports/morvane_api.h"
#include "platform/win32api.h"

#include <string>

namespace testing_support {

// X(name) for every export found under its own name.
#define MORVANE_C_EXPORTS(X)                                                                          \
    X(DIZ_API_Initialize) X(DIZ_API_Uninitialize) X(DIZ_API_CloseSyncApp) X(DIZ_API_GetLastErrorCode) \
    X(DIZ_API_BeginExport) X(DIZ_API_BeginImport) X(DIZ_API_QueryFullSync) X(DIZ_API_CancelCheck)     \
    X(DIZ_API_GetConnectErrorStatus) X(DIZ_API_OpenDatabase) X(DIZ_API_GetRecordCount)                \
    X(DIZ_API_GetFirstRecord) X(DIZ_API_GetNextRecord) X(DIZ_API_GetIdDBRec)                          \
    X(DIZ_API_ReleaseReadRecord) X(DIZ_API_CloseDatabase) X(DIZ_API_DeleteRecord)                     \
    X(DIZ_API_FindRecord) X(DIZ_API_GetField) X(DIZ_API_GetRepeatInfo) X(DIZ_API_GetFolderID)         \
    X(DIZ_API_ReadFolderID) X(DIZ_API_GetRecordID_Attachment) X(DIZ_API_PutField)                     \
    X(DIZ_API_PutRepeatInfo) X(DIZ_API_SetAlarm) X(DIZ_API_SetFolderID) X(DIZ_API_WriteFolderID)      \
    X(DIZ_API_SetEventFlag) X(DIZ_API_InsertRecord) X(DIZ_API_AddRecord) X(DIZ_API_FlushRecord)       \
    X(DIZ_API_GetFieldByWriteRec)

// The two exports a host finds under their C++ names.
extern const char kGetInstallPathSymbol[];      // "_Z14GetInstallPathPc"
extern const char kGetEmailBodyLengthSymbol[];  // "_Z18GetEmailBodyLengthPi"

// One typed pointer per export, named as the export; null when the library
// does not (yet) export it.
struct AdapterExports {
#define MORVANE_EXPORT_POINTER(name) decltype(&::name) name = nullptr;
    MORVANE_C_EXPORTS(MORVANE_EXPORT_POINTER)
#undef MORVANE_EXPORT_POINTER
    decltype(&::GetInstallPath) GetInstallPath = nullptr;
    decltype(&::GetEmailBodyLength) GetEmailBodyLength = nullptr;
};

class AdapterLibrary {
public:
    // Loads the library at path (by default the one the build produced).
    explicit AdapterLibrary(const std::string& path = DefaultPath());
    // Frees the library.
    ~AdapterLibrary();
    AdapterLibrary(const AdapterLibrary&) = delete;
    AdapterLibrary& operator=(const AdapterLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    const AdapterExports& api() const { return api_; }
    const AdapterExports* operator->() const { return &api_; }

    static std::string DefaultPath();

private:
    HMODULE module_ = nullptr;
    AdapterExports api_;
};

}  // namespace testing_support

#endif
