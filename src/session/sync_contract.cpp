#include "session/sync_contract.h"

#include "link/device_link.h"
#include "session/error_helpers.h"
#include "session/pc_identity.h"
#include "session/sync_session.h"
#include "support/settings_file.h"
#include "support/trace_log.h"
#include "support/utility_library.h"

#include <string>
#include <string.h>
#include <time.h>

namespace {

// The databases whose contract flags the check asks for, in the order the
// flags are kept.
const uint32_t kContractDbIds[kContractDbCount] = {1, 6, 7, 8, 16};

// OK and Cancel, the question icon, always on top: 0x40021.
constexpr UINT kQuestionStyle = MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST;

// Sync times are 14 digits, year to second, on both sides.
constexpr size_t kSyncTimeLength = 14;
constexpr size_t kPcIdLength = 8;
constexpr size_t kAppendInfoLength = 32;

// Asks whether this PC may take over a device paired with another one.
// True when the user agreed, or when the maker's texts say not to ask (a
// question of one blank).  A refusal sets the last error without a trace.
bool UserAgreesToTakeOver() {
    CUtilityLibrary utility;
    std::string caption = utility.LoadText(kPairingCaptionId);
    std::string question = utility.LoadText(kPairingQuestionId);
    std::string continuation = utility.LoadText(kPairingContinuationId);
    if (question == " ") return true;
    question += continuation;
    if (MessageBoxA(nullptr, question.c_str(), caption.c_str(), kQuestionStyle) != IDOK) {
        g_lastErrorCode = kErrorPairingDeclined;
        return false;
    }
    return true;
}

// True when the device's last sync time is the one this PC recorded.
// False with syncTimeRead false when the device could not be asked.
bool SyncTimesAgree(bool* syncTimeRead) {
    char deviceTime[kSyncTimeLength + 1];
    memset(deviceTime, 0, sizeof deviceTime);
    *syncTimeRead = g_link.GetSyncTime(deviceTime, kSyncTimeLength) != 0;
    if (!*syncTimeRead) return false;
    std::string pcTime;
    SettingsFile().ReadSyncTime(pcTime);
    return strncmp(deviceTime, pcTime.c_str(), kSyncTimeLength) == 0;
}

// Revokes the device's contract and pairs it with a new identity of this PC.
bool RenewPairing() {
    LogTrace("PCID is out of date.  Setting PCID_resync to true.\n");
    g_session.PCID_resync = 1;
    LogTrace("     ------ QAPI.QPC_RevokeSyncContract()\n");
    g_link.RevokeSyncContract();

    uint8_t appendInfo[kAppendInfoLength];
    memset(appendInfo, 0, sizeof appendInfo);
    NewPCID();
    SettingsFile().WritePCID(g_session.PCID);
    LogTrace("     ------ QAPI.QPC_SetSyncTargetMacID(PCID, appendInfo)\n");
    if (g_link.SetSyncTargetMacID(g_session.PCID, appendInfo) != 1) {
        LogTrace("QV_DVXSetSyncTargetMacID failed\n");
        CaptureDeviceError();
        return false;
    }
    return true;
}

// Stamps the current local time as the last sync time, device first.
bool StampSyncTime() {
    char now[kSyncTimeLength + 1] = "00000000000000";
    time_t seconds = time(nullptr);
    if (const struct tm* local = localtime(&seconds)) strftime(now, sizeof now, "%Y%m%d%H%M%S", local);
    if (!g_link.SetSyncTime(now)) {
        CaptureDeviceError();
        return false;
    }
    SettingsFile().WriteSyncTime(now);
    return true;
}

}  // namespace

bool CheckSyncContract() {
    memcpy(g_session.Check_DBIDList, kContractDbIds, sizeof kContractDbIds);
    LogTrace("     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)\n");
    uint8_t ownId[kPcIdLength];
    uint8_t pairedId[kPcIdLength];
    uint8_t appendInfo[kAppendInfoLength];
    memset(ownId, 0, sizeof ownId);
    memset(pairedId, 0, sizeof pairedId);
    memset(appendInfo, 0, sizeof appendInfo);
    if (g_link.GetSyncContractInfo(g_session.Check_DBIDList, 0, ownId, sizeof ownId, pairedId, sizeof pairedId,
                                   appendInfo, sizeof appendInfo, g_session.contractFlags) != 1) {
        CaptureDeviceError();
        return false;
    }

    bool renew;
    if (memcmp(pairedId, g_session.PCID, kPcIdLength) != 0) {
        // Another PC is the device's partner: taking over needs the user's word.
        if (!UserAgreesToTakeOver()) return false;
        renew = true;
    } else {
        bool syncTimeRead = false;
        renew = !SyncTimesAgree(&syncTimeRead);
        if (!syncTimeRead) {
            CaptureDeviceError();
            return false;
        }
    }
    if (renew && !RenewPairing()) return false;
    return StampSyncTime();
}
