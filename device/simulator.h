/*
 * The simulated handheld behind libtethra's CTethraApp, and its own C++ API
 * for tests and the host program.
 *
 * A DeviceImage is the whole state of one handheld: its settings, the PC it
 * is paired with, and per database its link field list, its records and the
 * three change lists (1 added, 2 changed, 3 deleted on the device since the
 * last clean-up).  CTethraApp serves the link contract from one image; the
 * functions below edit an image the way the user of the handheld would.
 *
 * Image files are JSON.  $MORVANE_DEVICE names the file that CTethraApp
 * loads when the port is opened and saves (temporary file and rename) when
 * the port is closed; without it the device runs on the demo image in memory.
 *
 * Values in an image file, by link type:
 *   byte, short, number   JSON integers
 *   date                  "yyyy-mm-dd"
 *   time                  "hh:mm:ss"
 *   date and time         "yyyy-mm-ddThh:mm:ss"
 *   text                  a string; each character U+0000..U+00FF is one byte
 *   absent value          null
 *   anything else         {"hex": "0a1b..."} (the exact bytes), or for a date
 *                         type {"ole": days} (the 8-byte floating-point date)
 * An empty string is an empty value of any type; a field a record does not
 * name is empty.
 */
#ifndef MORVANE_DEVICE_SIMULATOR_H
#define MORVANE_DEVICE_SIMULATOR_H

#include <functional>
#include <stdint.h>
#include <string>
#include <vector>

#if defined(_WIN32)
#  ifdef TETHRA_BUILD
#    define TETHRA_SIM_API __declspec(dllexport)
#  else
#    define TETHRA_SIM_API __declspec(dllimport)
#  endif
#else
#  define TETHRA_SIM_API __attribute__((visibility("default")))
#endif

namespace tethra_sim {

/* Link type codes the device reports in its field lists.  1, 5, 6 and 7
   are the ones the adapter interprets; the rest it copies as bytes. */
constexpr uint32_t kLinkByte = 1;      // one byte (flags, small numbers); the PC may send up to 4
constexpr uint32_t kLinkDate = 5;      // 8-byte floating-point date, whole days since 1899-12-30
constexpr uint32_t kLinkTime = 6;      // 8-byte floating-point date on 1899-12-30: the fraction is the time
constexpr uint32_t kLinkDateTime = 7;  // 8-byte floating-point date and time
constexpr uint32_t kLinkText = 16;     // single-byte text, no terminator
constexpr uint32_t kLinkNumber = 17;   // 32-bit little-endian signed number
constexpr uint32_t kLinkShort = 18;    // 16-bit little-endian number

/* Error codes S_DVXGetLastError reports. */
constexpr uint32_t kErrNone = 0;
constexpr uint32_t kErrInvalidParameter = 0x10000002;  // null pointer, count or record malformed
constexpr uint32_t kErrPortNotOpen = 0x10000003;
constexpr uint32_t kErrNotSupported = 0x10000005;      // link configuration not supported by this device
constexpr uint32_t kErrNoDevice = 0x10000006;          // nothing answered on the port
constexpr uint32_t kErrNotConnected = 0x10000007;
constexpr uint32_t kErrPortUnavailable = 0x10000008;
constexpr uint32_t kErrOutOfMemory = 0x10000009;       // HeapAlloc in the caller's heap failed
constexpr uint32_t kErrUnknownDatabase = 0x1000000A;
constexpr uint32_t kErrRecordNotFound = 0x1000000B;
constexpr uint32_t kErrBadFieldValue = 0x1000000C;     // a value does not fit its field's link type
constexpr uint32_t kErrBufferTooSmall = 0x1000000E;
constexpr uint32_t kErrBadSyncTime = 0x1000000F;       // not 14 digits
constexpr uint32_t kErrFirstSyncNotAllowed = 0x10000010;
constexpr uint32_t kErrImageUnreadable = 0x10000011;   // $MORVANE_DEVICE could not be loaded
constexpr uint32_t kErrImageNotSaved = 0x10000012;
constexpr uint32_t kErrNoSyncState = 0x1000002C;       // change lists asked of a database not in sync

/* One link field value: its bytes, or absent. */
struct LinkValue {
    bool absent = false;
    std::vector<uint8_t> bytes;
    bool operator==(const LinkValue& o) const { return absent == o.absent && bytes == o.bytes; }
};

TETHRA_SIM_API LinkValue TextValue(const std::string& text);
TETHRA_SIM_API LinkValue ByteValue(uint8_t value);
TETHRA_SIM_API LinkValue ShortValue(int16_t value);
TETHRA_SIM_API LinkValue NumberValue(int32_t value);
TETHRA_SIM_API LinkValue DateValue(int year, int month, int day);
TETHRA_SIM_API LinkValue TimeValue(int hour, int minute, int second);
TETHRA_SIM_API LinkValue DateTimeValue(int year, int month, int day, int hour, int minute, int second);
TETHRA_SIM_API LinkValue AbsentValue();
// The floating-point date (days since 1899-12-30, fraction = time of day).
TETHRA_SIM_API double OleDate(int year, int month, int day, int hour, int minute, int second);
// The 8 bytes of a date value read back; 0 when the value is not 8 bytes.
TETHRA_SIM_API double OleDateOf(const LinkValue& value);

struct LinkField {
    std::string name;  // 96 characters or more: sent cut to 96 bytes, without its zero
    uint32_t type;
};

/* A record: its id and one value per field of its database's list. */
struct Record {
    uint32_t id = 0;
    std::vector<LinkValue> values;
};

/* Values by link field name, for edits. */
using FieldValues = std::vector<std::pair<std::string, LinkValue>>;

struct TETHRA_SIM_API Database {
    uint32_t id = 0;
    std::vector<LinkField> fields;
    bool syncEnabled = false;       // the sync contract flag
    bool firstSyncPutAllowed = true;
    uint32_t nextId = 1;            // ids are never reused
    std::vector<Record> records;
    std::vector<uint32_t> changes[3];  // [0] list 1 added, [1] list 2 changed, [2] list 3 deleted

    int FieldIndex(const std::string& name) const;  // -1 when not listed
    Record* Find(uint32_t recordId);
    const Record* Find(uint32_t recordId) const;
};

/* What a faulted call does.  Every effect but kFail makes the call return
   success with a reply a working device would not give; each applies to
   the operations named with it and leaves the others as if no fault fired.
   Image files name them "fail", "zeroCount", "nullLists", "nullValues",
   "shortRecords". */
enum class FaultEffect {
    kFail,          // the call returns 0
    kZeroCount,     // S_DVXPutRecordData writes nothing, S_DVXGetRecordData
                    // fills no record; both report a count of 0
    kNullLists,     // S_DVXGetDBIDList, S_DVXGetDBInfo, S_DVXGetAllSyncRecordList,
                    // S_DVXGetFirstSyncRecordData: the lists or arrays handed
                    // back are null, their counts are the true ones
    kNullValues,    // S_DVXGetRecordData, S_DVXGetFirstSyncRecordData: every
                    // value with bytes keeps its length but has null data
    kShortRecords,  // S_DVXGetRecordData, S_DVXGetFirstSyncRecordData: records
                    // carry only the first half of their field slots
};

/* Makes the n-th call (counted from when the fault is set or its image
   loaded) of the named operation take the effect, with error as the
   device's last error afterwards; persistent: that call and every later
   one. */
struct Fault {
    std::string operation;  // "S_DVXGetRecordData"
    uint32_t call = 1;
    uint32_t error = kErrInvalidParameter;
    bool persistent = false;
    FaultEffect effect = FaultEffect::kFail;
    uint32_t seen = 0;      // calls counted so far
};

struct TETHRA_SIM_API DeviceImage {
    // Settings of the handheld.
    bool portAvailable = true;    // false: S_DVXOpenPort fails
    bool attached = true;         // false: no device answers S_DVXWaitConnection
    bool configSupported = true;  // false: S_DVXGetConfig/SetConfig fail with kErrNotSupported
    uint32_t systemInfoValue = 40;  // below 32: no merged e-mail database
    std::string language = "en";    // "ja": family name first
    std::string model = "QUENDA 2";
    uint8_t deviceId[8] = {0x51, 0x44, 0xA0, 0xC3, 0x11, 0xE2, 0x03, 0x07};
    // Pairing.
    uint8_t pcId[8] = {0};
    uint8_t appendInfo[32] = {0};
    std::string syncTime = "00000000000000";
    std::vector<Database> databases;
    std::vector<Fault> faults;
    // Called with the operation's name before every operation of the live
    // device, in the caller's thread; lets a test act while the adapter
    // waits on the device.  Not part of an image file.
    std::function<void(const std::string& operation)> beforeCall;

    Database* Find(uint32_t dbId);
    const Database* Find(uint32_t dbId) const;

    // Device-side edits, landing in the change lists.  AddRecord returns the
    // new id, 0 when the database or a field name is unknown.
    uint32_t AddRecord(uint32_t dbId, const FieldValues& values);
    bool ChangeRecord(uint32_t dbId, uint32_t recordId, const FieldValues& values);
    bool DeleteRecord(uint32_t dbId, uint32_t recordId);
    // Reads one value back; false when database, record or field is unknown.
    bool GetValue(uint32_t dbId, uint32_t recordId, const std::string& field, LinkValue* out) const;
    void FailCall(const std::string& operation, uint32_t nth, uint32_t error, bool persistent,
                  FaultEffect effect = FaultEffect::kFail);
    void SetPairing(const uint8_t id[8], const std::string& time);

    std::string ToJson() const;
    // Replaces this image; false (image unchanged) with a reason in error.
    bool FromJson(const std::string& text, std::string* error);
    bool Load(const std::string& path, std::string* error);
    // Atomic: the text goes to a file beside path, which is then renamed
    // over it.  The image it replaces stays beside it as path.previous,
    // and the next save writes over that file in place.  written, when
    // given, gets the text that went to the file.
    bool Save(const std::string& path, std::string* error, std::string* written = nullptr) const;
};

// The device's built-in link field list of a database (empty for unknown ids).
TETHRA_SIM_API std::vector<LinkField> BuiltInFields(uint32_t dbId);
// Databases 1, 6, 7, 8, 15, 16 with their field lists and no records.
TETHRA_SIM_API DeviceImage EmptyImage();
// A handheld in use: a few records in every database, never synchronised.
TETHRA_SIM_API DeviceImage DemoImage();

// The image of the CTethraApp most recently constructed in this process
// and still alive, or null.  Edits made before the port opens are replaced
// when $MORVANE_DEVICE names an image file.
TETHRA_SIM_API DeviceImage* LiveDevice();

}  // namespace tethra_sim

#endif
