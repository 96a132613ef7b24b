/*
 * CDeviceLink: the adapter's one road to the device.
 *
 * It owns the device link library's CTethraApp, tracks how far the link is
 * open, and presents device databases 16 (main) and 15 (companion) as one
 * merged E-mail database unless the device's system information rules that
 * out.  A companion record carries its device id plus 0x80000000 wherever
 * the rest of the adapter sees it, so bit 31 tells the two apart.
 *
 * Every operation returns the library's result (1 success, 0 failure)
 * unless stated otherwise.  No operation writes a trace line or sets the
 * last-error code: the caller does both.  The only failures recorded here
 * are those of opening the port and waiting for the device, in
 * connectError.
 */
#ifndef MORVANE_LINK_DEVICE_LINK_H
#define MORVANE_LINK_DEVICE_LINK_H

#include "link/tethra.h"
#include <stdint.h>

// Device database ids of the merged E-mail database.
constexpr uint32_t kMainMailDbId = 16;
constexpr uint32_t kCompanionMailDbId = 15;
// Added (modulo 2^32) to a companion record id on its way in and out.
constexpr uint32_t kCompanionIdBit = 0x80000000u;
// Device error that GetConfig/SetConfig treat as success.
constexpr uint32_t kConfigNotSupported = 0x10000005u;

// Record id with bit 31 set: a record of the companion e-mail database.
inline bool IsCompanionRecordId(uint32_t id) { return (id & kCompanionIdBit) != 0; }

class CDeviceLink {
public:
    // connectError starts at 0.
    CDeviceLink();
    // Destroys the library object; does not close the link.
    virtual ~CDeviceLink();

    // Link states.
    enum { kClosed = 0, kPortOpen = 1, kConnected = 2 };

    // Brings the link from any state to connected, sets both timeouts to
    // 30000 ms and reads the system information (noMerge, familyNameFirst).
    // A failure leaves the state reached, so the next call resumes there.
    int OpenLink();
    // Brings the link back to closed (timeouts 1500 ms first).  Returns 1.
    int CloseLink();
    // Device error 0x10000005 counts as success.
    int GetConfig(_tagDVXCONF* config);
    int SetConfig(const _tagDVXCONF* config);

    bool IsMergedDatabase(uint32_t dbId) const { return noMerge == 0 && dbId == kMainMailDbId; }

    // Plain operations: the library operation of the same name.
    int OpenPort(const char* name, int mode);
    void ClosePort();
    int WaitConnection(uint32_t timeoutMs, _tagDVXCONNECTINFO* info);
    void CloseConnection();
    void GetSystemInfo(_tagDVXSYSINFO* info);
    uint32_t GetLastError();
    int OpenDataBase(const char* path);
    int CloseDataBase(int flag);
    int GetSyncTime(char* buffer, uint32_t size);
    int SetSyncTime(const char* text);
    int GetSyncContractInfo(const uint32_t* ids, uint32_t count, uint8_t* buffer1, uint32_t size1, uint8_t* macId,
                            uint32_t size2, uint8_t* appendInfo, uint32_t size3, uint8_t* flags);
    int SetSyncTargetMacID(const uint8_t* macId, const uint8_t* appendInfo);
    int RevokeSyncContract();  // always 1
    int IsEnablePutFirstSyncRecordData(uint32_t dbId);
    int GetDBIDList(_tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap);

    // Merged operations: database 16 and 15 as one unless noMerge.
    int CleanUpAllSyncState(uint32_t dbId);
    int SetDBSyncMode(int mode, const uint32_t* ids, uint32_t count);
    int GetDBInfo(uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info);
    int GetAllSyncRecordList(uint32_t dbId, HANDLE heap, uint32_t** list1, uint32_t* count1, uint32_t** list2,
                             uint32_t* count2, uint32_t** list3, uint32_t* count3);
    int GetRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap, uint32_t* countOut);
    int PutRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, uint32_t* writtenOut);
    int DeleteRecordData(uint32_t dbId, uint32_t recordId);
    int PutFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count);
    int GetFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut, HANDLE heap);

    // Position of "S_FOLDERID" in the merged database's link field list;
    // -1 until GetDBInfo has found it, then kept until unload.
    int32_t folderFieldIndex;
    CTethraApp tethra;
    uint32_t linkState;
    // 1 once the device reported a system information value below 32.
    uint32_t noMerge;
    // 1 once the device's language code began with "ja" (either case).
    uint32_t familyNameFirst;
    // 1 once opening the port or waiting for the device failed; never reset.
    uint32_t connectError;
};

// The one device link, defined with the other globals in app/morvane_app.cpp.
extern CDeviceLink g_link;

#endif
