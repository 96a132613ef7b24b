// Backups' path to the handheld: CTethraApp called directly.  Everything
// the library hands back lives in a heap made for the call and destroyed
// with it.
#include "bridge/link_access.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "platform/win32api.h"
#include "src/link/tethra.h"

namespace morvane_host {

namespace {

constexpr uint32_t kWaitConnectionMs = 30000;
// Records handed to the library in one write.
constexpr size_t kWriteBatch = 256;

// The port opened and the device connected for the life of the object,
// and a heap for what the library returns.
class OpenLink {
public:
    OpenLink() : heap_(HeapCreate(0, 0, 0)) {}
    ~OpenLink() {
        if (connected_) tethra_.S_DVXCloseConnection();
        if (portOpen_) tethra_.S_DVXClosePort();
        if (heap_ != nullptr) HeapDestroy(heap_);
    }
    OpenLink(const OpenLink&) = delete;
    OpenLink& operator=(const OpenLink&) = delete;

    bool Open(std::string* error) {
        if (heap_ == nullptr) return Failed("HeapCreate", error);
        if (!tethra_.S_DVXOpenPort("", 0)) return Failed("S_DVXOpenPort", error);
        portOpen_ = true;
        _tagDVXCONNECTINFO info;
        memset(&info, 0, sizeof info);
        if (!tethra_.S_DVXWaitConnection(kWaitConnectionMs, &info)) return Failed("S_DVXWaitConnection", error);
        connected_ = true;
        return true;
    }
    // Closes the link; false when the handheld could not keep what was written.
    bool Close(std::string* error) {
        connected_ = false;
        tethra_.S_DVXCloseConnection();
        portOpen_ = false;
        return tethra_.S_DVXClosePort() != 0 || Failed("S_DVXClosePort", error);
    }

    bool Failed(const char* operation, std::string* error) {
        char code[16];
        snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(tethra_.S_DVXGetLastError()));
        *error = std::string("the device link library's ") + operation + " failed; last error " + code;
        return false;
    }

    CTethraApp& tethra() { return tethra_; }
    HANDLE heap() const { return heap_; }

private:
    CTethraApp tethra_;
    HANDLE heap_;
    bool portOpen_ = false;
    bool connected_ = false;
};

bool ReadHead(OpenLink& link, uint32_t dbId, LinkDatabase* database, std::string* error) {
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    if (!link.tethra().S_DVXGetDBInfo(dbId, link.heap(), &info)) return link.Failed("S_DVXGetDBInfo", error);
    if (info.fieldCount != 0 && info.fields == nullptr) {
        *error = "the device link library gave database " + std::to_string(dbId) + " no field list";
        return false;
    }
    database->id = dbId;
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        const _tagS_DVXFIELDINFO& field = info.fields[i];
        database->fields.push_back({std::string(field.name, strnlen(field.name, sizeof field.name)), field.type});
    }
    return true;
}

bool ReadRecords(OpenLink& link, LinkDatabase* database, std::string* error) {
    _tagDVXDBREC* records = nullptr;
    uint32_t count = 0;
    if (!link.tethra().S_DVXGetFirstSyncRecordData(database->id, &records, &count, link.heap()))
        return link.Failed("S_DVXGetFirstSyncRecordData", error);
    if (count != 0 && records == nullptr) {
        *error = "the device link library gave " + std::to_string(count) + " records of database " +
                 std::to_string(database->id) + " without their data";
        return false;
    }
    const size_t fields = database->fields.size();
    database->records.assign(count, LinkRecord());
    for (uint32_t r = 0; r < count; ++r) {
        const _tagDVXDBREC& in = records[r];
        LinkRecord& out = database->records[r];
        out.id = in.recordId;
        out.values.assign(fields, LinkValue());
        if (in.fieldCount < fields || (fields != 0 && in.fields == nullptr)) {
            *error = "record " + std::to_string(in.recordId) + " of database " + std::to_string(database->id) +
                     " came with " + std::to_string(in.fieldCount) + " of its " + std::to_string(fields) + " fields";
            return false;
        }
        for (size_t f = 0; f < fields; ++f) {
            const _tagDVXFIELD& slot = in.fields[f];
            out.values[f].absent = slot.length == kDvxAbsentLength;
            if (slot.length == kDvxAbsentLength || slot.length == 0) continue;
            if (slot.data == nullptr) {
                *error = "record " + std::to_string(in.recordId) + " of database " + std::to_string(database->id) +
                         " came with a value without its data";
                return false;
            }
            out.values[f].bytes.assign(reinterpret_cast<const char*>(slot.data), slot.length);
        }
    }
    return true;
}

// One batch of new records: slots pointing into the records' own values.
bool PutBatch(OpenLink& link, uint32_t dbId, LinkRecord* adds, size_t count, std::string* error) {
    std::vector<std::vector<_tagDVXFIELD>> slots(count);
    std::vector<_tagDVXDBREC> records(count);
    std::vector<_tagDVXDBREC*> pointers(count);
    for (size_t r = 0; r < count; ++r) {
        for (LinkValue& value : adds[r].values) {
            _tagDVXFIELD slot;
            slot.size = kDvxFieldSlotSize;
            slot.length = value.absent ? kDvxAbsentLength : static_cast<uint32_t>(value.bytes.size());
            slot.data = value.absent || value.bytes.empty() ? nullptr : reinterpret_cast<uint8_t*>(&value.bytes[0]);
            slots[r].push_back(slot);
        }
        records[r].size = kDvxRecordSize;
        records[r].fieldCount = static_cast<uint32_t>(slots[r].size());
        records[r].recordId = 0;
        records[r].fields = slots[r].data();
        pointers[r] = &records[r];
    }
    uint32_t written = 0;
    if (!link.tethra().S_DVXPutRecordData(dbId, pointers.data(), static_cast<uint32_t>(count), &written))
        return link.Failed("S_DVXPutRecordData", error);
    if (written != count) {
        *error = "the device link library wrote " + std::to_string(written) + " of " + std::to_string(count) +
                 " records into database " + std::to_string(dbId);
        return false;
    }
    for (size_t r = 0; r < count; ++r) adds[r].id = records[r].recordId;
    return true;
}

}  // namespace

bool ReadLinkDatabases(std::vector<LinkDatabase>* out, std::string* error) {
    OpenLink link;
    if (!link.Open(error)) return false;
    _tagS_DVXDBIDIF* list = nullptr;
    uint32_t count = 0;
    if (!link.tethra().S_DVXGetDBIDList(&list, &count, link.heap())) return link.Failed("S_DVXGetDBIDList", error);
    if (count != 0 && list == nullptr) {
        *error = "the device link library gave no database list";
        return false;
    }
    out->assign(count, LinkDatabase());
    for (uint32_t i = 0; i < count; ++i)
        if (!ReadHead(link, list[i].dbId, &(*out)[i], error) || !ReadRecords(link, &(*out)[i], error)) return false;
    return link.Close(error);
}

bool WriteLinkRecords(uint32_t dbId, const std::vector<uint32_t>& deletes, std::vector<LinkRecord>* adds,
                      std::string* error) {
    OpenLink link;
    if (!link.Open(error)) return false;
    for (uint32_t id : deletes)
        if (!link.tethra().S_DVXDeleteRecordData(dbId, id)) return link.Failed("S_DVXDeleteRecordData", error);
    for (size_t at = 0; at < adds->size(); at += kWriteBatch)
        if (!PutBatch(link, dbId, adds->data() + at, std::min(kWriteBatch, adds->size() - at), error)) return false;
    return link.Close(error);
}

}  // namespace morvane_host
