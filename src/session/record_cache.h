/*
 * The record cache of the open database: the device records an export
 * walks, in the order the device listed them.  Each entry is a 20-byte
 * WorkingRecord from the private heap whose values are loaded into the
 * session's readHeap (all at the open in a full sync, one by one as the
 * host reaches them otherwise).  Entries are never freed on their own;
 * they go with the private heap, which forgets the cache when it is
 * destroyed: the cache is part of the session, built and walked by the
 * database operations above it.
 */
#ifndef MORVANE_SESSION_RECORD_CACHE_H
#define MORVANE_SESSION_RECORD_CACHE_H

#include "schema/working_record.h"
#include <stdint.h>

// Sync attributes the cache gives its entries.
constexpr uint32_t kSyncAttrHost = 1;     // never produced by the cache
constexpr uint32_t kSyncAttrAdded = 2;    // change list 1, and every record of a full sync
constexpr uint32_t kSyncAttrChanged = 4;  // change list 2
constexpr uint32_t kSyncAttrDeleted = 8;  // change list 3: deleted on the device, no values

// The record id an entry carries until it is filled.
constexpr uint32_t kUnfilledRecordId = 0xFFFFFFFFu;

// A zero-filled cache entry from the private heap, which is validated
// first; null when the heap is damaged, missing or full.
WorkingRecord* AllocCacheEntry();
// The next entry of the same cache build: zero-filled from the private
// heap without validating it again.  The cache entries stay in the heap
// for the whole session, so a check of the whole heap per entry would
// make building a cache quadratic in the records cached so far.
WorkingRecord* AllocNextCacheEntry();

// Appends entry at the end of the cache.  False when memory runs out.
bool AppendCacheEntry(WorkingRecord* entry);

// Notes that record's values were just put in readHeap.
void NoteLoadedValues(WorkingRecord* record);

// Marks every cached record noted since the last call (and the record
// loaded by id) as not loaded, for when readHeap, which holds their values,
// is destroyed.  Visiting only those keeps releasing one record of a long
// normal export from walking the whole cache.
void ForgetLoadedValues();

// Converts linkRecord, a record of the open database dbId whose slots
// follow the session's TTdbInfo, into a working field array in readHeap
// (created if needed).  The link field positions are resolved by name once
// per field list, not for every record.  Null when out of memory.
WorkingField* ConvertToReadHeap(uint32_t dbId, const _tagDVXDBREC* linkRecord);

// Drops the resolved link field positions: TTdbInfo is about to be filled
// anew, perhaps at the same address with other fields.
void ForgetLinkFieldPlan();

// Empties the cache (the entries themselves stay in the private heap) and
// puts the cursor at its end.
void ClearRecordCache();

#endif
