/*
 * The running link to the simulated handheld: the device image plus what
 * the link library itself keeps (port and connection state, the working
 * database flag, the link configuration, the last error).  Internal.
 */
#ifndef MORVANE_DEVICE_LINK_SESSION_H
#define MORVANE_DEVICE_LINK_SESSION_H

#include "device/image_codec.h"
#include "device/simulator.h"
#include "link/tethra.h"

#include <string>
#include <vector>

namespace tethra_sim {

struct Session {
    enum State { kClosed = 0, kPortOpen = 1, kConnected = 2 };

    Session();

    DeviceImage image;
    State state = kClosed;
    bool workingDbOpen = false;
    uint32_t lastError = kErrNone;
    uint8_t config[36];
    std::string imagePath;  // $MORVANE_DEVICE when the port was opened
    // The file's text, mapped only while the port is open: whoever writes
    // the image in between may write over the file.  Positions below are
    // in this text, or after a save in the file the save wrote.
    FileText loadedText;
    bool imageLoaded = false;
    // The size and time of the file the image was last read from or
    // written to (all zero when unknown): the file is still that one, and
    // the image in memory still the newest, when they are the same.
    struct FileStamp {
        uint64_t size = 0;
        int64_t time = 0;
        bool operator==(const FileStamp& other) const { return size == other.size && time == other.time; }
    };
    FileStamp known;
    // Per database of the image, where its records stand in the text and
    // what they were then; a save copies the records of a database that
    // is still the same, as a session that only reads or edits a few
    // leaves most.  Empty when the text is not in the plain form; an empty
    // span for a database whose records were written anew.
    struct KeptRecords {
        RecordsSpan span;
        uint64_t fingerprint = 0;
    };
    std::vector<KeptRecords> kept;
    // Per database of the image, the records whose values are still text
    // in loadedText: a session decodes a record when it is read, and a
    // database's every record before any of them changes.  Empty when
    // loadedText is not in the plain form.
    std::vector<DeferredRecords> deferred;

    // A fault that fired on the running call with an effect other than
    // kFail: the call goes on and damages its reply.
    bool replyDamaged = false;
    FaultEffect replyDamage = FaultEffect::kFail;

    int Fail(uint32_t code) {
        lastError = code;
        return 0;
    }
    // Counts one call of the operation and sets the last error of an armed
    // fault that fires; true when that fault makes the call fail, while one
    // of another effect is noted for Damages.
    bool Faulted(const char* operation);
    bool Damages(FaultEffect effect) const { return replyDamaged && replyDamage == effect; }
    // True when connected; otherwise the last error says why.
    bool RequireConnection();
    // The database, or null with kErrUnknownDatabase.
    Database* RequireDatabase(uint32_t dbId);
    // The record with its values, or null when the database has no such
    // record or (kErrImageUnreadable) its values cannot be read.
    const Record* DecodedRecord(Database& db, uint32_t recordId);
    // Every record of the database with its values, so that they may
    // change; false (kErrImageUnreadable) when some cannot be read.
    bool DecodeAll(Database& db);
    // Whether the database at index still has records not decoded, which
    // also means that none of its records changed.
    bool Pending(size_t index) const { return index < deferred.size() && !deferred[index].records.empty(); }
    // Loads $MORVANE_DEVICE unless it is the file this session last read
    // or wrote, which is then only mapped again.
    bool LoadImage();
    // Maps that file again (unless it is mapped), when it is still the
    // one; false otherwise.
    bool MapKnown();
    bool SaveImage();
    // Moves the positions of the records a save copied to where they stand
    // in the file it wrote.
    void MoveKept(const std::vector<std::string_view>& same, const std::vector<size_t>& offsets);
    // The fingerprint of each database's records, in the image's order.
    std::vector<uint64_t> Fingerprints() const;
    // Notes where each database's records stand in the text, and what
    // they were then.
    void Keep(const std::vector<RecordsSpan>& spans, const std::vector<uint64_t>& prints);
};

// The session whose image LiveDevice() reports: that of the newest CTethraApp.
extern Session* g_liveSession;

void PutLE32(uint8_t* at, uint32_t value);
// Zero-filled bytes from the caller's heap, or null.
void* HeapBytes(HANDLE heap, size_t bytes);

// Record operations (link_records.cpp).
int GetDBIDList(Session& s, _tagS_DVXDBIDIF** list, uint32_t* count, HANDLE heap);
int GetDBInfo(Session& s, uint32_t dbId, HANDLE heap, _tagS_DVXDBINFO* info);
int SetDBSyncMode(Session& s, int mode, const uint32_t* ids, uint32_t count);
int CleanUpAllSyncState(Session& s, uint32_t dbId);
int GetAllSyncRecordList(Session& s, uint32_t dbId, HANDLE heap, uint32_t** lists[3], uint32_t* counts[3]);
int GetRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** records, uint32_t count, HANDLE heap, uint32_t* countOut);
int PutRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** records, uint32_t count, bool firstSync,
                  uint32_t* writtenOut);
int DeleteRecordData(Session& s, uint32_t dbId, uint32_t recordId);
int GetFirstSyncRecordData(Session& s, uint32_t dbId, _tagDVXDBREC** recordsOut, uint32_t* countOut, HANDLE heap);

}  // namespace tethra_sim

struct CTethraApp::Device : tethra_sim::Session {};

namespace tethra_sim {

// Runs one operation: counts it for fault injection and keeps every
// exception (only allocation can throw) inside the library.
template <typename DeviceType, typename Body>
int Run(DeviceType* device, const char* operation, Body body) {
    if (device == nullptr) return 0;
    try {
        if (device->image.beforeCall) device->image.beforeCall(operation);
        if (device->Faulted(operation)) return 0;
        return body(static_cast<Session&>(*device));
    } catch (...) {
        return device->Fail(kErrOutOfMemory);
    }
}

}  // namespace tethra_sim

#endif
