#include "session/startup.h"

#include "link/device_link.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/pc_identity.h"
#include "session/private_heap.h"
#include "session/sync_contract.h"
#include "session/sync_session.h"
#include "support/install_path.h"
#include "support/trace_log.h"

#include <string>

namespace {

constexpr char kWorkingDatabaseName[] = "QtDBTemp";

// Brings the link up unless an earlier start-up left it open.
bool OpenLinkOnce() {
    if (g_session.linkOpen) return true;
    LogTrace("     ------ QAPI.QPC_Open()\n");
    if (g_link.OpenLink() != 1) {
        LogTrace("QPC_Open failed.\n");
        CaptureDeviceError();
        return false;
    }
    g_session.linkOpen = 1;
    return true;
}

// The device's database list lives in the private heap until it is destroyed.
int32_t FetchDatabaseList() {
    LogTrace("     ------ QAPI.QPC_GetDBIDList(&TTDBIDList, &DBIDCount, hHeap)\n");
    _tagS_DVXDBIDIF* list = nullptr;
    if (g_link.GetDBIDList(&list, &g_session.DBIDCount, g_session.hHeap) != 1) {
        LogTrace("Failed getting DB ID list\n");
        CaptureDeviceError();
        return kResultStartupFailed;
    }
    g_session.TTDBIDList = list;
    // A count without a list behind it is an empty list.
    if (list == nullptr) g_session.DBIDCount = 0;
    if (g_session.DBIDCount == 0) {
        // Nothing failed on the device, so the last error stays clear.
        LogTrace("DB ID list retrieved, but it is empty.\n");
        return kResultStartupFailed;
    }
    return 0;
}

}  // namespace

int32_t StartSession() {
    if (g_session.initialized) {
        LogTrace("\t\t########## already initialized, jumping out of DIZ_API_Initialize\n");
        return 0;
    }
    // Set before anything can fail: a failed start-up still counts as one
    // until the host ends it with DIZ_API_Uninitialize.
    g_session.initialized = 1;

    if (!OpenLinkOnce()) return kResultStartupFailed;
    int32_t result = OpenWorkingDatabase();
    if (result != 0) return result;
    if (!InitHeap()) {
        LogTrace("Heap initialization failed.\n");
        SetLastErrorCode(kErrorOutOfMemory);
        return kResultStartupFailed;
    }
    result = FetchDatabaseList();
    if (result != 0) return result;

    g_session.PCID_resync = 0;
    InitPCID();
    if (!CheckSyncContract()) {
        LogTrace("Error checking device PCID or setting new device PCID.\n");
        return kResultStartupFailed;
    }
    return 0;
}

int32_t OpenWorkingDatabase() {
    if (g_session.tempDbOpen) return 0;
    LogTrace("     ------ QAPI.QPC_OpenDataBase()\n");
    char folder[kDataFolderSize + 1] = {};
    if (ReadInstallPath(folder) == 1) {
        std::string path(folder);
        AppendBackslash(path);
        path += kWorkingDatabaseName;
        if (g_link.OpenDataBase(path.c_str()) == 1) {
            g_session.tempDbOpen = 1;
            return kResultOk;
        }
    }
    // An unreadable data-file folder is reported like a refusal of the
    // device: the host sees the same message and whatever error it holds.
    LogTrace("S_DVXOpenDataBase failed.\n");
    CaptureDeviceError();
    return kResultStartupFailed;
}

void EndSession() {
    ReleaseHeap(false);
    g_session.initialized = 0;
}

void CloseSession() {
    LogTrace("     ------ QAPI.QPC_Close()\n");
    g_link.CloseLink();
    g_session.linkOpen = 0;
    // Everything the device handed us in the private heap, the database
    // list among it, goes with it (ReleaseHeap forgets it all).
    ReleaseHeap(true);
}
