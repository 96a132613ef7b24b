/*
 * The device link library's contract: class CTethraApp, exported by the
 * maker's TETHRA.dll (libtethra.so here).  Every operation returns exactly
 * 1 on success and 0 on failure, S_DVXGetLastError then telling why.
 * Everything the library returns (id lists, field info, records and their
 * values) is allocated with HeapAlloc in the heap the caller passes and is
 * never freed by the library: the caller destroys that heap as a whole.
 *
 * In the adapter only CDeviceLink calls this class.  Outside it, the host
 * side's backups call it directly (bridge/link_access.cpp), never while an
 * adapter session holds the link.
 */
#ifndef MORVANE_LINK_TETHRA_H
#define MORVANE_LINK_TETHRA_H

#include "platform/win32api.h" /* HANDLE */
#include <stddef.h> /* offsetof */
#include <stdint.h>

#if defined(_WIN32)
#  ifdef TETHRA_BUILD
#    define TETHRA_API __declspec(dllexport)
#  else
#    define TETHRA_API __declspec(dllimport)
#  endif
#else
#  define TETHRA_API __attribute__((visibility("default")))
#endif

/* Filled by S_DVXWaitConnection; passed zeroed, not read afterwards. */
struct _tagDVXCONNECTINFO { uint8_t bytes[32]; };
/* Link configuration: 32-bit timeouts in milliseconds at offsets 8 and 12,
   every other byte kept as the library gave it. */
struct _tagDVXCONF        { uint8_t bytes[36]; };
/* System information: a 32-bit value at offset 80 (below 32: the device has
   no merged e-mail database) and a two-letter language code at offset 84. */
struct _tagDVXSYSINFO     { uint8_t bytes[104]; };
/* One entry of the device's database list: the database id is the second word. */
struct _tagS_DVXDBIDIF    { uint32_t attributes; uint32_t dbId; uint32_t reserved; };   /* 12 bytes */
/* A field slot: its own size, the value's length in bytes, the value. */
struct _tagDVXFIELD       { uint32_t size; uint32_t length; uint8_t* data; };          /* a field slot, 12 bytes on 32-bit */
/* A link record: slot j belongs to link field j of the database's field info. */
struct _tagDVXDBREC       { uint32_t size; uint32_t fieldCount; uint32_t recordId; _tagDVXFIELD* fields; };  /* 16 bytes on 32-bit */
/* One link field: NUL-terminated name at offset 4, link type code at offset 100. */
struct _tagS_DVXFIELDINFO { uint32_t size; char name[96]; uint32_t type; };            /* 104 bytes: name at 4, type at 100 */
/* A database's link field list: count at offset 8, entries at offset 12 (32-bit). */
struct _tagS_DVXDBINFO    { uint32_t size; uint32_t dbId; uint32_t fieldCount; _tagS_DVXFIELDINFO* fields; }; /* count at 8, pointer at 12 on 32-bit */

/* What the contract fixes whatever the pointer width: the size fields of a
   field slot, a link record and a link field entry, and the length that
   marks a value absent (a slot with it leaves the stored value as it is). */
constexpr uint32_t kDvxFieldSlotSize = 12;
constexpr uint32_t kDvxRecordSize = 16;
constexpr uint32_t kDvxFieldInfoSize = 104;
constexpr uint32_t kDvxAbsentLength = 0xFFFFFFFFu;

static_assert(sizeof(_tagDVXCONNECTINFO) == 32, "connection info is 32 bytes");
static_assert(sizeof(_tagDVXCONF) == 36, "configuration is 36 bytes");
static_assert(sizeof(_tagDVXSYSINFO) == 104, "system information is 104 bytes");
static_assert(sizeof(_tagS_DVXDBIDIF) == 12, "database list entry is 12 bytes");
static_assert(sizeof(_tagS_DVXFIELDINFO) == 104, "link field info is 104 bytes");
static_assert(offsetof(_tagS_DVXFIELDINFO, name) == 4 && offsetof(_tagS_DVXFIELDINFO, type) == 100,
              "link field info: name at 4, type at 100");
static_assert(offsetof(_tagS_DVXDBINFO, fieldCount) == 8, "field count at 8");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(_tagDVXFIELD) == 12, "field slot is 12 bytes on 32-bit targets");
static_assert(sizeof(_tagDVXDBREC) == 16, "link record is 16 bytes on 32-bit targets");
static_assert(offsetof(_tagS_DVXDBINFO, fields) == 12, "field list pointer at 12 on 32-bit targets");
#endif

class TETHRA_API CTethraApp {
public:
    CTethraApp();
    ~CTethraApp();
    int S_DVXOpenPort(const char* portName, int mode);
    int S_DVXWaitConnection(uint32_t timeoutMs, _tagDVXCONNECTINFO* info);
    int S_DVXCloseConnection();
    int S_DVXClosePort();
    int S_DVXRevokeSyncContract();
    int S_DVXGetConfig(_tagDVXCONF* config);
    int S_DVXSetConfig(const _tagDVXCONF* config);
    int S_DVXGetSystemInfo(_tagDVXSYSINFO* info);
    int S_DVXOpenDataBase(const char* path);
    int S_DVXCloseDataBase(int flag);
    int S_DVXGetDBIDList(_tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap);
    int S_DVXGetSyncContractInfo(const uint32_t* ids, uint32_t count, uint8_t* buffer1, uint32_t size1,
                                 uint8_t* macId, uint32_t size2, uint8_t* appendInfo, uint32_t size3, uint8_t* flags);
    int S_DVXSetSyncTargetMacID(const uint8_t* macId, const uint8_t* appendInfo);
    int S_DVXGetSyncTime(char* buffer, uint32_t size);
    int S_DVXSetSyncTime(const char* text);
    int S_DVXSetDBSyncMode(int mode, const uint32_t* ids, uint32_t count);
    int S_DVXCleanUpAllSyncState(uint32_t dbId);
    int S_DVXGetDBInfo(uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info);
    int S_DVXGetAllSyncRecordList(uint32_t dbId, HANDLE heap, uint32_t** list1, uint32_t* count1,
                                  uint32_t** list2, uint32_t* count2, uint32_t** list3, uint32_t* count3);
    int S_DVXGetRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap, uint32_t* countOut);
    int S_DVXPutRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count, uint32_t* writtenOut);
    int S_DVXDeleteRecordData(uint32_t dbId, uint32_t recordId);
    int S_DVXIsEnablePutFirstSyncRecordData(uint32_t dbId);
    int S_DVXPutFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** records, uint32_t count);
    int S_DVXGetFirstSyncRecordData(uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut, HANDLE heap);
    uint32_t S_DVXGetLastError();
private:
    struct Device;
    Device* device_;
};

#endif
