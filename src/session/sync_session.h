/*
 * The session: everything that lives between two exported calls.
 *
 * There is exactly one session record per loaded library, g_session,
 * defined in app/morvane_app.cpp before the application object and the
 * device link, so that it is constructed first (zero before any constructor
 * runs; its own constructor only makes the record cache an empty list and
 * the read heap an empty one) and destroyed last.  The application
 * object's constructor gives it its load-time values.
 *
 * The host calls one export at a time from one thread; nothing here locks.
 */
#ifndef MORVANE_SESSION_SYNC_SESSION_H
#define MORVANE_SESSION_SYNC_SESSION_H

#include "link/tethra.h"
#include "platform/win32api.h"
#include "schema/field_table.h"
#include "schema/working_record.h"
#include "support/scratch_heap.h"
#include <list>
#include <stdint.h>

// The open database's record cache: pointers to 20-byte WorkingRecords in
// the private heap, in the order the device listed them.
using RecordCache = std::list<WorkingRecord*>;

// What DIZ_API_PutField keeps between the fields of a record, for the
// device fields that are not a plain image of one host field (alarm, Memo
// time stamp, E-mail send date, all-day state).  ResetWriteFlags clears the
// three flags at the start of every record; the pending parts and the two
// stashes stay in force until overwritten, also into the next record.
struct WriteState {
    uint8_t alarmFlagSet;       // Schedule AlarmFlag written as "1"
    uint8_t allDay;             // Schedule FromTime written empty
    int32_t pendingStartDate;   // yyyymmdd, from an identifier beginning "3."
    int16_t pendingStartTime;   // hhmm, from Schedule FromTime
    int32_t pendingAlarmDate;   // yyyymmdd, from "13..." or the D part of the Schedule alarm
    int16_t pendingAlarmTime;   // hhmm, from the T part of the Schedule alarm
    char memoDateStash[9];      // D part of the Memo time stamp, 8 characters and a NUL
    char mailDateStash[12];     // D part of the E-mail send date
};

// Databases asked about in the sync contract check, in this order.
constexpr uint32_t kContractDbCount = 5;

struct SyncSession {
    uint8_t initialized;      // DIZ_API_Initialize ran and DIZ_API_Uninitialize has not
    uint8_t linkOpen;         // OpenLink succeeded; cleared only by DIZ_API_CloseSyncApp
    uint8_t tempDbOpen;       // the link library's working database "QtDBTemp" is open
    HANDLE hHeap;             // the private heap, or null
    uint32_t heapRef;         // references to the private heap
    uint8_t PCID[8];          // this PC's identity towards the device
    uint8_t PCID_resync;      // identity renewed this session: every database in full
    _tagS_DVXDBIDIF* TTDBIDList;  // the device's database list, in the private heap
    uint32_t DBIDCount;
    uint32_t Check_DBIDList[kContractDbCount];  // 1, 6, 7, 8, 16 once asked
    uint8_t contractFlags[kContractDbCount];    // the device's answer per entry
    uint32_t currentDbId;     // device id of the open database, 0 = none
    FieldTable currentFieldTable;  // copy of the open database's table header; what FindWorkingField searches
    int32_t SyncStamp;        // time given to DIZ_API_BeginExport; 0 = never synchronised
    uint8_t exporting;        // 1 after DIZ_API_BeginExport, 0 after DIZ_API_BeginImport
    uint8_t exportPending;    // set by DIZ_API_BeginExport, cleared by DIZ_API_OpenDatabase
    uint8_t forceResyncForThisDatabase;  // every record of the open database is read
    uint8_t fullSyncRequired;            // what DIZ_API_QueryFullSync answers
    uint32_t lastCancelSection;          // section of the previous DIZ_API_CancelCheck

    // The write side: the record the host is building, the heap of its
    // slots and values, the link record it is stored through, and what
    // DIZ_API_PutField carries from one field to the next.  writeRecord is
    // filled by DIZ_API_InsertRecord and DIZ_API_FindRecord; whenever
    // writeHeap is destroyed the record keeps its size and id but forgets
    // its slots (fields null, fieldCount 0).
    ScratchHeap writeHeap;           // slots and values of writeRecord
    _tagDVXDBREC TTwriteRec;         // link record handed to the device link by AddRecord and FlushRecord
    WriteState writeState;           // per-record flags and the pending date/time parts

    // The open database's link side and its record cache.  Set by
    // DIZ_API_OpenDatabase; walked by DIZ_API_GetRecordCount,
    // DIZ_API_GetFirstRecord and DIZ_API_GetNextRecord; emptied by
    // DIZ_API_CloseDatabase.  The field readers (DIZ_API_GetField,
    // DIZ_API_GetRepeatInfo, the folder exports) read currentRecord and
    // TTdbInfo; the write path makes its write record currentRecord too.
    _tagS_DVXDBINFO TTdbInfo;        // link field info from GetDBInfo; its list lives in the private heap
    RecordCache recordCache;         // entries in device order
    uint32_t cacheCount;             // entries in recordCache
    RecordCache::iterator cacheCursor = recordCache.end();  // entry the next DIZ_API_GetNextRecord returns
    ScratchHeap readHeap;            // field arrays and values of the cached records
    WorkingRecord* currentRecord;    // the record field reads and writes address, or null
    WorkingRecord idRecord;          // the record DIZ_API_GetIdDBRec loads by id
    uint32_t hostFolderId;           // host folder (0-4) the E-mail walk returns; the device's is one lower

    // What field reads carry from one call to the next, for the record
    // that is current.  ResetWriteFlags clears recordRepeats.
    uint8_t recordRepeats;           // Schedule RepeatFlag read (or written) as set: GetRepeatInfo reports a rule
    int32_t alarmDayShift;           // days the last alarm read fell before its start; used once by field 13

    // The record the host is writing.  Its size is 0 until one is first
    // prepared, which is how DIZ_API_GetRecordID_Attachment tells there is none.
    WorkingRecord writeRecord;
};

// The one session record.
extern SyncSession g_session;

#endif
