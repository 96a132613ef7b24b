// CTethraApp: port, connection, configuration, pairing and the entry of
// every operation (fault injection, exceptions kept inside).
#include "device/link_session.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using tethra_sim::Session;

namespace tethra_sim {

Session* g_liveSession = nullptr;

void PutLE32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

Session::Session() : image(DemoImage()) {
    std::memset(config, 0, sizeof config);
    PutLE32(config, sizeof config);
    PutLE32(config + 4, 115200);  // line speed
    PutLE32(config + 8, 5000);    // the two timeouts the host tunes
    PutLE32(config + 12, 5000);
}

bool Session::Faulted(const char* operation) {
    bool fired = false;
    replyDamaged = false;
    for (size_t i = 0; i < image.faults.size();) {
        Fault& f = image.faults[i];
        if (f.operation != operation) {
            ++i;
            continue;
        }
        ++f.seen;
        const bool fires = f.seen == f.call || (f.persistent && f.seen > f.call);
        if (fires && !fired && !replyDamaged) {
            lastError = f.error;
            fired = f.effect == FaultEffect::kFail;
            replyDamaged = !fired;
            replyDamage = f.effect;
        }
        if (fires && !f.persistent)
            image.faults.erase(image.faults.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    return fired;
}

bool Session::RequireConnection() {
    if (state == kConnected) return true;
    Fail(state == kClosed ? kErrPortNotOpen : kErrNotConnected);
    return false;
}

Database* Session::RequireDatabase(uint32_t dbId) {
    Database* db = image.Find(dbId);
    if (db == nullptr) Fail(kErrUnknownDatabase);
    return db;
}

namespace {

Session::FileStamp StampOf(const std::string& path) {
    std::error_code failed;
    Session::FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, failed);
    if (failed) return Session::FileStamp();
    stamp.time = std::filesystem::last_write_time(path, failed).time_since_epoch().count();
    return failed ? Session::FileStamp() : stamp;
}

}  // namespace

bool Session::LoadImage() {
    // Read through the platform, which sees what the host set for itself.
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("MORVANE_DEVICE", path, sizeof path);
    imagePath = length > 0 && length < sizeof path ? path : "";
    if (imagePath.empty()) return true;
    if (!std::ifstream(imagePath)) return true;  // a new image file: written from the current state at close
    if (MapKnown()) return true;
    const FileStamp stamp = StampOf(imagePath);
    FileText text;
    if (!ReadFileText(imagePath, &text)) return false;
    std::vector<RecordsSpan> spans;
    std::vector<DeferredRecords> later;
    if (!ReadImageText(text.View(), ImageReading::kAny, &image, nullptr, &spans, &later)) return false;
    deferred = std::move(later);
    // An image read by the general reader has no spans to copy from.
    Keep(spans, spans.empty() ? std::vector<uint64_t>() : Fingerprints());
    loadedText = std::move(text);
    known = stamp;
    imageLoaded = true;
    return true;
}

bool Session::MapKnown() {
    if (!imageLoaded || known.size == 0 || !(StampOf(imagePath) == known)) return false;
    if (loadedText.View().empty() && !ReadFileText(imagePath, &loadedText)) return false;
    return loadedText.View().size() == known.size;
}

const Record* Session::DecodedRecord(Database& db, uint32_t recordId) {
    Record* record = db.Find(recordId);
    const size_t index = static_cast<size_t>(&db - image.databases.data());
    if (record == nullptr || !Pending(index)) return record;
    RecordsSpan& span = deferred[index].records[static_cast<size_t>(record - db.records.data())];
    if (span.end == span.begin) return record;
    if (!ScanRecordValues(loadedText.View(), span, deferred[index].head, record)) {
        Fail(kErrImageUnreadable);
        return nullptr;
    }
    span = RecordsSpan();
    return record;
}

bool Session::DecodeAll(Database& db) {
    const size_t index = static_cast<size_t>(&db - image.databases.data());
    if (!Pending(index)) return true;
    std::vector<RecordsSpan>& spans = deferred[index].records;
    for (size_t i = 0; i < spans.size(); ++i) {
        if (spans[i].end == spans[i].begin) continue;  // read already
        if (!ScanRecordValues(loadedText.View(), spans[i], deferred[index].head, &db.records[i])) {
            Fail(kErrImageUnreadable);
            return false;
        }
    }
    spans = std::vector<RecordsSpan>();
    // From here on the records may change: what they were is their text.
    if (index < kept.size()) kept[index].fingerprint = RecordsFingerprint(db);
    return true;
}

std::vector<uint64_t> Session::Fingerprints() const {
    std::vector<uint64_t> prints;
    for (size_t i = 0; i < image.databases.size(); ++i)
        prints.push_back(Pending(i) ? 0 : RecordsFingerprint(image.databases[i]));
    return prints;
}

void Session::Keep(const std::vector<RecordsSpan>& spans, const std::vector<uint64_t>& prints) {
    kept.clear();
    if (spans.size() != prints.size()) return;
    for (size_t i = 0; i < spans.size(); ++i) kept.push_back({spans[i], prints[i]});
}

bool Session::SaveImage() {
    if (imagePath.empty()) return true;
    // Records not decoded yet are copied from the text they stand in, which
    // must still be there.
    for (size_t i = 0; i < deferred.size(); ++i)
        if (Pending(i) && loadedText.View().empty() && !MapKnown()) return false;
    try {
        const std::vector<uint64_t> prints = Fingerprints();
        std::vector<std::string_view> same(prints.size());
        for (size_t i = 0; i < same.size(); ++i) {
            const RecordsSpan span = i < kept.size() ? kept[i].span : RecordsSpan();
            if (span.end > span.begin && span.end <= loadedText.View().size() &&
                (Pending(i) || prints[i] == kept[i].fingerprint))
                same[i] = loadedText.View().substr(span.begin, span.end - span.begin);
        }
        const ImagePieces pieces = WriteImagePieces(image, same);
        if (!WritePreviousImage(imagePath, pieces, nullptr)) return false;
        MoveKept(same, KeptOffsets(pieces));
    } catch (const std::exception&) {
        return false;
    }
    // The file written holds what the records copied were read from from
    // here on; the one mapped is given back before it is replaced.
    loadedText.Release();
    if (!ReplaceWithPrevious(imagePath, nullptr)) {
        imageLoaded = false;  // read again at the next opening
        return false;
    }
    known = StampOf(imagePath);
    imageLoaded = true;
    return true;
}

void Session::MoveKept(const std::vector<std::string_view>& same, const std::vector<size_t>& offsets) {
    size_t next = 0;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i >= same.size() || same[i].empty() || next >= offsets.size()) {
            kept[i] = KeptRecords();  // written anew, from where no one knows
            continue;
        }
        const size_t from = kept[i].span.begin, to = offsets[next++];
        kept[i].span = {to, to + same[i].size()};
        if (i >= deferred.size()) continue;
        for (RecordsSpan& record : deferred[i].records) {
            if (record.end == record.begin) continue;  // decoded already
            record = {record.begin - from + to, record.end - from + to};
        }
    }
}

void* HeapBytes(HANDLE heap, size_t bytes) {
    if (heap == nullptr || bytes == 0) return nullptr;
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

// Whoever holds the live image may read or change any record.
DeviceImage* LiveDevice() {
    Session* s = g_liveSession;
    if (s == nullptr) return nullptr;
    // With the port closed, the records not decoded yet are read from the
    // file the session last read or wrote, mapped only meanwhile.  When
    // that file was replaced since, the image is read again at the next
    // opening anyway.
    const bool closed = s->state == Session::kClosed;
    if (!closed || s->MapKnown())
        for (Database& db : s->image.databases) s->DecodeAll(db);
    if (closed) s->loadedText.Release();
    return &s->image;
}

}  // namespace tethra_sim

CTethraApp::CTethraApp() : device_(nullptr) {
    try {
        device_ = new Device;
        tethra_sim::g_liveSession = device_;
    } catch (...) {
        device_ = nullptr;
    }
}

// A port still open closes with the object, saving the image.
CTethraApp::~CTethraApp() {
    if (device_ == nullptr) return;
    if (tethra_sim::g_liveSession == device_) tethra_sim::g_liveSession = nullptr;
    try {
        if (device_->state != Session::kClosed) device_->SaveImage();
    } catch (...) {
    }
    delete device_;
}

int CTethraApp::S_DVXOpenPort(const char* portName, int mode) {
    (void)portName;  // the simulated handheld sits on every port
    (void)mode;
    return tethra_sim::Run(device_, "S_DVXOpenPort", [](Session& s) {
        if (s.state != Session::kClosed) return 1;
        if (!s.LoadImage()) return s.Fail(tethra_sim::kErrImageUnreadable);
        if (!s.image.portAvailable) {
            s.loadedText.Release();  // mapped only while the port is open
            return s.Fail(tethra_sim::kErrPortUnavailable);
        }
        s.state = Session::kPortOpen;
        return 1;
    });
}

int CTethraApp::S_DVXWaitConnection(uint32_t timeoutMs, _tagDVXCONNECTINFO* info) {
    (void)timeoutMs;  // an absent device is reported at once rather than after the wait
    return tethra_sim::Run(device_, "S_DVXWaitConnection", [info](Session& s) {
        if (s.state == Session::kClosed) return s.Fail(tethra_sim::kErrPortNotOpen);
        if (!s.image.attached) return s.Fail(tethra_sim::kErrNoDevice);
        s.state = Session::kConnected;
        if (info != nullptr) {
            std::memset(info->bytes, 0, sizeof info->bytes);
            tethra_sim::PutLE32(info->bytes, sizeof info->bytes);
            std::memcpy(info->bytes + 4, s.image.deviceId, 8);
            std::strncpy(reinterpret_cast<char*>(info->bytes + 12), s.image.model.c_str(), 19);
        }
        return 1;
    });
}

int CTethraApp::S_DVXCloseConnection() {
    return tethra_sim::Run(device_, "S_DVXCloseConnection", [](Session& s) {
        if (s.state != Session::kConnected) return s.Fail(tethra_sim::kErrNotConnected);
        s.state = Session::kPortOpen;
        s.workingDbOpen = false;
        return 1;
    });
}

int CTethraApp::S_DVXClosePort() {
    return tethra_sim::Run(device_, "S_DVXClosePort", [](Session& s) {
        if (s.state == Session::kClosed) return s.Fail(tethra_sim::kErrPortNotOpen);
        s.state = Session::kClosed;
        s.workingDbOpen = false;
        if (!s.SaveImage()) return s.Fail(tethra_sim::kErrImageNotSaved);
        return 1;
    });
}

// The device forgets its partner and every database leaves sync.
int CTethraApp::S_DVXRevokeSyncContract() {
    return tethra_sim::Run(device_, "S_DVXRevokeSyncContract", [](Session& s) {
        if (!s.RequireConnection()) return 0;
        std::memset(s.image.pcId, 0, sizeof s.image.pcId);
        std::memset(s.image.appendInfo, 0, sizeof s.image.appendInfo);
        s.image.syncTime = "00000000000000";
        for (tethra_sim::Database& db : s.image.databases) {
            db.syncEnabled = false;
            for (auto& list : db.changes) list.clear();
        }
        return 1;
    });
}

int CTethraApp::S_DVXGetConfig(_tagDVXCONF* config) {
    return tethra_sim::Run(device_, "S_DVXGetConfig", [config](Session& s) {
        if (s.state == Session::kClosed) return s.Fail(tethra_sim::kErrPortNotOpen);
        if (!s.image.configSupported) return s.Fail(tethra_sim::kErrNotSupported);
        if (config == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        std::memcpy(config->bytes, s.config, sizeof s.config);
        return 1;
    });
}

int CTethraApp::S_DVXSetConfig(const _tagDVXCONF* config) {
    return tethra_sim::Run(device_, "S_DVXSetConfig", [config](Session& s) {
        if (s.state == Session::kClosed) return s.Fail(tethra_sim::kErrPortNotOpen);
        if (!s.image.configSupported) return s.Fail(tethra_sim::kErrNotSupported);
        if (config == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        std::memcpy(s.config, config->bytes, sizeof s.config);
        return 1;
    });
}

// Layout: size at 0, model name at 4, device id at 36, the merge level at
// 80, the language code (NUL-terminated) at 84.
int CTethraApp::S_DVXGetSystemInfo(_tagDVXSYSINFO* info) {
    return tethra_sim::Run(device_, "S_DVXGetSystemInfo", [info](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (info == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        std::memset(info->bytes, 0, sizeof info->bytes);
        tethra_sim::PutLE32(info->bytes, sizeof info->bytes);
        std::strncpy(reinterpret_cast<char*>(info->bytes + 4), s.image.model.c_str(), 31);
        std::memcpy(info->bytes + 36, s.image.deviceId, 8);
        tethra_sim::PutLE32(info->bytes + 80, s.image.systemInfoValue);
        std::strncpy(reinterpret_cast<char*>(info->bytes + 84), s.image.language.c_str(), 15);
        return 1;
    });
}

// The working database lives on the PC side; the simulator only tracks it.
int CTethraApp::S_DVXOpenDataBase(const char* path) {
    return tethra_sim::Run(device_, "S_DVXOpenDataBase", [path](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (path == nullptr || *path == '\0') return s.Fail(tethra_sim::kErrInvalidParameter);
        s.workingDbOpen = true;
        return 1;
    });
}

// Closing a working database that is not open is harmless.
int CTethraApp::S_DVXCloseDataBase(int flag) {
    (void)flag;  // discarding and keeping are the same for the simulator
    return tethra_sim::Run(device_, "S_DVXCloseDataBase", [](Session& s) {
        s.workingDbOpen = false;
        return 1;
    });
}

uint32_t CTethraApp::S_DVXGetLastError() {
    return device_ != nullptr ? device_->lastError : tethra_sim::kErrOutOfMemory;
}

// Pairing.

// buffer1 receives the device's own 8-byte id, macId its partner PC, flags
// one byte per listed database (1: takes part in sync).  Nothing is written
// unless every id is known and every given buffer is large enough.
int CTethraApp::S_DVXGetSyncContractInfo(const uint32_t* ids, uint32_t count, uint8_t* buffer1, uint32_t size1,
                                         uint8_t* macId, uint32_t size2, uint8_t* appendInfo, uint32_t size3,
                                         uint8_t* flags) {
    return tethra_sim::Run(device_, "S_DVXGetSyncContractInfo", [=](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (count != 0 && (ids == nullptr || flags == nullptr)) return s.Fail(tethra_sim::kErrInvalidParameter);
        for (uint32_t i = 0; i < count; ++i)
            if (s.RequireDatabase(ids[i]) == nullptr) return 0;
        if ((buffer1 != nullptr && size1 < 8) || (macId != nullptr && size2 < 8) ||
            (appendInfo != nullptr && size3 < 32))
            return s.Fail(tethra_sim::kErrBufferTooSmall);
        if (buffer1 != nullptr) std::memcpy(buffer1, s.image.deviceId, 8);
        if (macId != nullptr) std::memcpy(macId, s.image.pcId, 8);
        if (appendInfo != nullptr) std::memcpy(appendInfo, s.image.appendInfo, 32);
        for (uint32_t i = 0; i < count; ++i) flags[i] = s.image.Find(ids[i])->syncEnabled ? 1 : 0;
        return 1;
    });
}

int CTethraApp::S_DVXSetSyncTargetMacID(const uint8_t* macId, const uint8_t* appendInfo) {
    return tethra_sim::Run(device_, "S_DVXSetSyncTargetMacID", [=](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (macId == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        std::memcpy(s.image.pcId, macId, 8);
        if (appendInfo != nullptr)
            std::memcpy(s.image.appendInfo, appendInfo, 32);
        else
            std::memset(s.image.appendInfo, 0, 32);
        return 1;
    });
}

// Exactly 14 digits; a terminator only when the buffer has room for it.
int CTethraApp::S_DVXGetSyncTime(char* buffer, uint32_t size) {
    return tethra_sim::Run(device_, "S_DVXGetSyncTime", [=](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (buffer == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        if (size < 14) return s.Fail(tethra_sim::kErrBufferTooSmall);
        std::string time = s.image.syncTime;
        time.resize(14, '0');
        std::memcpy(buffer, time.data(), 14);
        if (size > 14) buffer[14] = '\0';
        return 1;
    });
}

int CTethraApp::S_DVXSetSyncTime(const char* text) {
    return tethra_sim::Run(device_, "S_DVXSetSyncTime", [=](Session& s) {
        if (!s.RequireConnection()) return 0;
        if (text == nullptr) return s.Fail(tethra_sim::kErrInvalidParameter);
        const std::string time(text);
        if (time.size() != 14 || time.find_first_not_of("0123456789") != std::string::npos)
            return s.Fail(tethra_sim::kErrBadSyncTime);
        s.image.syncTime = time;
        return 1;
    });
}
