// CDeviceLink: the link's life cycle (port, connection, timeouts, system
// information) and the operations that go to the library unchanged.  The
// operations that join the two e-mail databases live in merged_mail.cpp.
#include "link/device_link.h"

#include <string.h>

namespace {

// How long the library waits for the device, and each of its timeouts while
// the link is in use; the short timeouts let the device drop a closed link
// quickly.
constexpr uint32_t kWaitConnectionMs = 30000;
constexpr uint32_t kWorkingTimeoutMs = 30000;
constexpr uint32_t kClosingTimeoutMs = 1500;

// Byte offsets inside the library's fixed records.
constexpr size_t kConfigTimeout1 = 8;
constexpr size_t kConfigTimeout2 = 12;
constexpr size_t kSysInfoModel = 80;
constexpr size_t kSysInfoLanguage = 84;

// Devices that report a model value below this keep all mail in one database.
constexpr uint32_t kFirstMergingModel = 32;

void SetTimeouts(_tagDVXCONF* config, uint32_t ms) {
    memcpy(config->bytes + kConfigTimeout1, &ms, sizeof ms);
    memcpy(config->bytes + kConfigTimeout2, &ms, sizeof ms);
}

// The language code is compared without regard to case, in ASCII only.
bool SameLetter(uint8_t c, char lower, char upper) { return c == uint8_t(lower) || c == uint8_t(upper); }

}  // namespace

CDeviceLink::CDeviceLink()
    : folderFieldIndex(-1), tethra(), linkState(kClosed), noMerge(0), familyNameFirst(0), connectError(0) {}

// The link stays as it is: the host closes it through DIZ_API_CloseSyncApp.
CDeviceLink::~CDeviceLink() = default;

int CDeviceLink::OpenLink() {
    if (linkState < kPortOpen) {
        if (!OpenPort("", 0)) {
            connectError = 1;
            return 0;
        }
        linkState = kPortOpen;
    }
    _tagDVXCONNECTINFO connectInfo;
    memset(&connectInfo, 0, sizeof connectInfo);
    if (linkState < kConnected) {
        if (!WaitConnection(kWaitConnectionMs, &connectInfo)) {
            connectError = 1;
            return 0;
        }
        linkState = kConnected;
    }

    _tagDVXCONF config;
    memset(&config, 0, sizeof config);
    if (!GetConfig(&config)) return 0;
    SetTimeouts(&config, kWorkingTimeoutMs);
    if (!SetConfig(&config)) return 0;

    // The library's answer is not checked: a zeroed record reads as an old
    // model, which is the safe side (no merged database).
    _tagDVXSYSINFO sysInfo;
    memset(&sysInfo, 0, sizeof sysInfo);
    GetSystemInfo(&sysInfo);
    uint32_t model;
    memcpy(&model, sysInfo.bytes + kSysInfoModel, sizeof model);
    if (model < kFirstMergingModel) noMerge = 1;
    const uint8_t* language = sysInfo.bytes + kSysInfoLanguage;
    if (SameLetter(language[0], 'j', 'J') && SameLetter(language[1], 'a', 'A')) familyNameFirst = 1;
    return 1;
}

int CDeviceLink::CloseLink() {
    _tagDVXCONF config;
    memset(&config, 0, sizeof config);
    if (GetConfig(&config)) {
        SetTimeouts(&config, kClosingTimeoutMs);
        SetConfig(&config);
    }
    if (linkState == kConnected) {
        CloseConnection();
        linkState = kPortOpen;
    }
    if (linkState == kPortOpen) ClosePort();
    linkState = kClosed;
    return 1;
}

// Devices without a configurable link answer 0x10000005; the link then
// simply runs with the device's own timeouts.
int CDeviceLink::GetConfig(_tagDVXCONF* config) {
    int result = tethra.S_DVXGetConfig(config);
    if (result == 0 && tethra.S_DVXGetLastError() == kConfigNotSupported) return 1;
    return result;
}

int CDeviceLink::SetConfig(const _tagDVXCONF* config) {
    int result = tethra.S_DVXSetConfig(config);
    if (result == 0 && tethra.S_DVXGetLastError() == kConfigNotSupported) return 1;
    return result;
}

int CDeviceLink::OpenPort(const char* name, int mode) { return tethra.S_DVXOpenPort(name, mode); }

void CDeviceLink::ClosePort() { tethra.S_DVXClosePort(); }

int CDeviceLink::WaitConnection(uint32_t timeoutMs, _tagDVXCONNECTINFO* info) {
    return tethra.S_DVXWaitConnection(timeoutMs, info);
}

void CDeviceLink::CloseConnection() { tethra.S_DVXCloseConnection(); }

void CDeviceLink::GetSystemInfo(_tagDVXSYSINFO* info) { tethra.S_DVXGetSystemInfo(info); }

uint32_t CDeviceLink::GetLastError() { return tethra.S_DVXGetLastError(); }

int CDeviceLink::OpenDataBase(const char* path) { return tethra.S_DVXOpenDataBase(path); }

int CDeviceLink::CloseDataBase(int flag) { return tethra.S_DVXCloseDataBase(flag); }

int CDeviceLink::GetSyncTime(char* buffer, uint32_t size) { return tethra.S_DVXGetSyncTime(buffer, size); }

int CDeviceLink::SetSyncTime(const char* text) { return tethra.S_DVXSetSyncTime(text); }

int CDeviceLink::GetSyncContractInfo(const uint32_t* ids, uint32_t count, uint8_t* buffer1, uint32_t size1,
                                     uint8_t* macId, uint32_t size2, uint8_t* appendInfo, uint32_t size3,
                                     uint8_t* flags) {
    return tethra.S_DVXGetSyncContractInfo(ids, count, buffer1, size1, macId, size2, appendInfo, size3, flags);
}

int CDeviceLink::SetSyncTargetMacID(const uint8_t* macId, const uint8_t* appendInfo) {
    return tethra.S_DVXSetSyncTargetMacID(macId, appendInfo);
}

// A device that had no contract to revoke is as good as one that revoked it.
int CDeviceLink::RevokeSyncContract() {
    tethra.S_DVXRevokeSyncContract();
    return 1;
}

// The bulk write is asked about per device database; the merged database's
// answer is that of database 16.
int CDeviceLink::IsEnablePutFirstSyncRecordData(uint32_t dbId) {
    return tethra.S_DVXIsEnablePutFirstSyncRecordData(dbId);
}

int CDeviceLink::GetDBIDList(_tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap) {
    return tethra.S_DVXGetDBIDList(list, count, heap);
}
