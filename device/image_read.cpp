// Image files read.  The plain form this simulator writes is scanned by
// hand (image_scan.cpp); any other text is read here.  The small parts of
// an image (settings, pairing, a database's own keys, faults) are read as
// a document tree; each record is decoded as soon as its object is
// complete and its tree dropped, so that a large image costs its records
// and not a tree of every value besides.
#include "device/image_codec.h"
#include "device/simulator.h"
#include "platform/win32api.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace tethra_sim {

namespace {

using Json = nlohmann::ordered_json;

LinkValue DecodeValue(uint32_t type, const Json& j) {
    LinkValue v;
    if (j.is_null()) return AbsentValue();
    if (j.is_object() && j.contains("hex")) {
        v.bytes = Unhex(j.at("hex").get<std::string>());
    } else if (j.is_object() && j.contains("ole")) {
        const double d = j.at("ole").get<double>();
        v.bytes.resize(8);
        std::memcpy(v.bytes.data(), &d, 8);
    } else if (j.is_number_integer() && IntegerWidth(type) != 0) {
        const int64_t n = j.get<int64_t>();
        for (size_t i = 0; i < IntegerWidth(type); ++i) v.bytes.push_back(static_cast<uint8_t>(n >> (8 * i)));
    } else if (j.is_string() && j.get_ref<const std::string&>().empty()) {
        return v;
    } else if (j.is_string() && type == kLinkText) {
        v.bytes = Utf8ToBytes(j.get_ref<const std::string&>());
    } else if (j.is_string() && IsDateType(type)) {
        double d = 0;
        if (!ParseDate(type, j.get_ref<const std::string&>(), &d)) throw std::runtime_error("bad date: " + j.dump());
        v.bytes.resize(8);
        std::memcpy(v.bytes.data(), &d, 8);
    } else {
        throw std::runtime_error("value does not fit its link type " + std::to_string(type) + ": " + j.dump());
    }
    return v;
}

DatabaseHead ReadHead(const Json& j) {
    DatabaseHead head;
    head.id = j.at("id").get<uint32_t>();
    if (j.contains("fields")) {
        for (const Json& f : j.at("fields"))
            head.fields.push_back({f.at("name").get<std::string>(), f.at("type").get<uint32_t>()});
    } else {
        head.fields = BuiltInFields(head.id);
    }
    if (head.fields.empty()) throw std::runtime_error("database " + std::to_string(head.id) + " has no field list");
    for (size_t i = 0; i < head.fields.size(); ++i) head.index.emplace(head.fields[i].name, i);
    return head;
}

Record DecodeRecord(const DatabaseHead& head, const Json& jr) {
    Record r;
    r.id = jr.at("id").get<uint32_t>();
    r.values.resize(head.fields.size());
    auto values = jr.find("values");
    if (values == jr.end()) return r;
    if (!values->is_object()) throw std::runtime_error("record values are not an object");
    for (const auto& item : values->items()) {
        const auto found = head.index.find(item.key());
        if (found == head.index.end())
            throw std::runtime_error("database " + std::to_string(head.id) + " has no field " + item.key());
        r.values[found->second] = DecodeValue(head.fields[found->second].type, item.value());
    }
    return r;
}

// The database of an object whose records, or some of them, were decoded
// while it was read.
Database DecodeDatabase(const Json& j, const DatabaseHead* early, std::vector<Record> decoded) {
    const DatabaseHead head = ReadHead(j);
    if (early != nullptr && (early->id != head.id || early->fields.size() != head.fields.size()))
        throw std::runtime_error("database " + std::to_string(head.id) + ": \"id\" and \"fields\" come before \"records\"");
    Database db;
    db.id = head.id;
    db.fields = head.fields;
    db.syncEnabled = j.value("syncEnabled", false);
    db.firstSyncPutAllowed = j.value("firstSyncPut", true);
    db.changes[0] = j.value("added", std::vector<uint32_t>());
    db.changes[1] = j.value("changed", std::vector<uint32_t>());
    db.changes[2] = j.value("deleted", std::vector<uint32_t>());
    db.records = std::move(decoded);
    if (j.contains("records"))
        for (const Json& jr : j.at("records")) db.records.push_back(DecodeRecord(head, jr));
    // Records may be listed in any order; ids are neither 0 nor repeated.
    std::vector<uint32_t> ids;
    ids.reserve(db.records.size());
    for (const Record& r : db.records) ids.push_back(r.id);
    std::sort(ids.begin(), ids.end());
    if ((!ids.empty() && ids.front() == 0) || std::adjacent_find(ids.begin(), ids.end()) != ids.end())
        throw std::runtime_error("bad or repeated record id");
    const uint32_t highest = ids.empty() ? 0 : ids.back();
    db.nextId = std::max(j.value("nextId", 1u), highest + 1);
    return db;
}

FaultEffect DecodeEffect(const std::string& name) {
    for (size_t i = 0; i < sizeof kEffectNames / sizeof kEffectNames[0]; ++i)
        if (name == kEffectNames[i]) return static_cast<FaultEffect>(i);
    throw std::runtime_error("unknown fault effect " + name);
}

uint32_t DecodeCode(const Json& j) {
    if (j.is_string()) return static_cast<uint32_t>(std::stoul(j.get<std::string>(), nullptr, 0));
    return j.get<uint32_t>();
}

// Builds the document tree of an image but for its databases, which are
// decoded as they complete, their records one at a time and a record's
// values straight from the parser's events.
class ImageReader : public nlohmann::json_sax<Json> {
 public:
    Json root;
    std::vector<Database> databases;
    std::string error;

    bool null() override { return Put(nullptr); }
    bool boolean(bool value) override { return Put(value); }
    bool number_integer(number_integer_t value) override { return Put(value); }
    bool number_unsigned(number_unsigned_t value) override { return Put(value); }
    // Every number of an image is a whole number but an OLE date
    // ({"ole": d}); a fraction or an exponent elsewhere would reach an
    // integer conversion that cannot hold it.
    bool number_float(number_float_t value, const string_t&) override {
        if (frames_.empty() || !frames_.back().value.is_object() || frames_.back().key != "ole")
            throw std::runtime_error("numbers in a device image are whole numbers");
        return Put(value);
    }
    bool string(string_t& value) override {
        // Device text, the bulk of an image, goes to its bytes directly.
        if (!frames_.empty() && frames_.back().values) {
            const size_t field = FieldOf(frames_.back().key);
            if (head_->fields[field].type == kLinkText) {
                values_[field] = LinkValue();
                values_[field].bytes = Utf8ToBytes(value);
                return true;
            }
        }
        return Put(std::move(value));
    }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override {
        const bool values = StartsRecordValues();
        frames_.push_back({Json::object(), std::string(), values});
        if (values) {
            values_.assign(head_->fields.size(), LinkValue());
            haveValues_ = true;
        }
        return true;
    }
    bool key(string_t& name) override {
        frames_.back().key = std::move(name);
        return true;
    }
    bool end_object() override {
        Json value = std::move(frames_.back().value);
        frames_.pop_back();
        if (InDatabaseList(3) && frames_[2].key == "records" && frames_[3].value.is_array() && DecodeEarly(value))
            return true;
        if (InDatabaseList(1)) {
            databases.push_back(DecodeDatabase(value, head_.get(), std::move(decoded_)));
            head_.reset();
            decoded_.clear();
            late_ = false;
            return true;
        }
        return Put(std::move(value));
    }
    bool start_array(std::size_t) override {
        frames_.push_back({Json::array(), std::string(), false});
        return true;
    }
    bool end_array() override {
        Json value = std::move(frames_.back().value);
        frames_.pop_back();
        return Put(std::move(value));
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
        error = e.what();
        return false;
    }

 private:
    struct Frame {
        Json value;
        std::string key;  // an object's key whose value comes next
        bool values;      // a record's "values", decoded as they come
    };

    bool Put(Json value) {
        if (frames_.empty()) {
            root = std::move(value);
        } else if (frames_.back().values) {
            const size_t field = FieldOf(frames_.back().key);
            values_[field] = DecodeValue(head_->fields[field].type, value);
        } else if (frames_.back().value.is_object()) {
            frames_.back().value[frames_.back().key] = std::move(value);
        } else {
            frames_.back().value.push_back(std::move(value));
        }
        return true;
    }
    size_t FieldOf(const std::string& name) const {
        const auto found = head_->index.find(name);
        if (found == head_->index.end())
            throw std::runtime_error("database " + std::to_string(head_->id) + " has no field " + name);
        return found->second;
    }
    // Whether the open containers are the root object's "databases" array
    // and depth more below it.
    bool InDatabaseList(size_t depth) const {
        return frames_.size() == depth + 1 && frames_[0].value.is_object() && frames_[0].key == "databases" &&
               frames_[1].value.is_array() && (depth < 2 || frames_[2].value.is_object());
    }
    // Whether the object about to open is the "values" of a record whose
    // database's id came before it.
    bool StartsRecordValues() {
        return InDatabaseList(4) && frames_[2].key == "records" && frames_[3].value.is_array() &&
               frames_[4].value.is_object() && frames_[4].key == "values" && KnowHead();
    }
    bool KnowHead() {
        if (head_ != nullptr) return true;
        if (late_ || !frames_[2].value.contains("id")) return false;
        head_.reset(new DatabaseHead(ReadHead(frames_[2].value)));
        return true;
    }
    // A record decoded against its database's id and field list, when they
    // came before its records; otherwise the record stays in the tree.
    bool DecodeEarly(const Json& record) {
        if (!KnowHead()) {
            late_ = true;
            return false;
        }
        decoded_.push_back(DecodeRecord(*head_, record));
        if (haveValues_) decoded_.back().values = std::move(values_);
        haveValues_ = false;
        return true;
    }

    std::vector<Frame> frames_;
    std::unique_ptr<DatabaseHead> head_;
    std::vector<Record> decoded_;
    std::vector<LinkValue> values_;  // of the record being read
    bool haveValues_ = false;
    bool late_ = false;  // a record of this database came before its id
};

// The general way: any JSON text, its records decoded as they complete.
// Throws for a text that is no image, naming why.
void ReadTree(std::string_view text, Json* root, std::vector<Database>* databases) {
    ImageReader reader;
    if (!Json::sax_parse(text, &reader)) throw std::runtime_error(reader.error);
    *root = std::move(reader.root);
    *databases = std::move(reader.databases);
}

// The plain form this simulator writes; false when the text is not in it.
// With deferred, the records' values stay in the text (see ReadImageText).
bool ReadPlain(std::string_view text, Json* root, std::vector<Database>* databases,
               std::vector<RecordsSpan>* spans, std::vector<DeferredRecords>* deferred) {
    ScannedImage scanned;
    if (!ScanPlainImage(text, &scanned, deferred != nullptr)) return false;
    try {
        *root = Json::parse(scanned.text);
        for (ScannedDatabase& db : scanned.databases) {
            databases->push_back(DecodeDatabase(Json::parse(db.text), &db.head, std::move(db.records)));
            spans->push_back(db.span);
            if (deferred != nullptr) deferred->push_back({std::move(db.head), std::move(db.recordSpans)});
        }
        return true;
    } catch (const std::exception&) {
        databases->clear();
        spans->clear();
        if (deferred != nullptr) deferred->clear();
        return false;
    }
}

// The image of a root object and its databases already read.
DeviceImage DecodeImage(const Json& j, std::vector<Database> databases) {
    if (!j.is_object()) throw std::runtime_error("a device image is a JSON object");
    DeviceImage image;
    const Json settings = j.value("settings", Json::object());
    image.portAvailable = settings.value("portAvailable", true);
    image.attached = settings.value("attached", true);
    image.configSupported = settings.value("configSupported", true);
    image.systemInfoValue = settings.value("systemInfo", 40u);
    image.language = settings.value("language", std::string("en"));
    image.model = settings.value("model", std::string("QUENDA 2"));
    if (settings.contains("deviceId")) UnhexInto(settings.at("deviceId").get<std::string>(), image.deviceId, 8);
    const Json pairing = j.value("pairing", Json::object());
    if (pairing.contains("pcId")) UnhexInto(pairing.at("pcId").get<std::string>(), image.pcId, 8);
    if (pairing.contains("appendInfo")) UnhexInto(pairing.at("appendInfo").get<std::string>(), image.appendInfo, 32);
    image.syncTime = pairing.value("syncTime", std::string("00000000000000"));
    // Anything in the list that is not a database object fails here.
    for (const Json& jd : j.value("databases", Json::array())) databases.push_back(DecodeDatabase(jd, nullptr, {}));
    for (Database& db : databases) {
        if (image.Find(db.id) != nullptr) throw std::runtime_error("database listed twice");
        image.databases.push_back(std::move(db));
    }
    for (const Json& jf : j.value("faults", Json::array())) {
        image.FailCall(jf.at("operation").get<std::string>(), jf.value("call", 1u), DecodeCode(jf.at("error")),
                       jf.value("persistent", false), DecodeEffect(jf.value("effect", std::string("fail"))));
    }
    return image;
}

}  // namespace

DatabaseHead ReadHeadText(const std::string& json) { return ReadHead(Json::parse(json)); }

bool ReadImageText(std::string_view text, ImageReading how, DeviceImage* out, std::string* error,
                   std::vector<RecordsSpan>* spans, std::vector<DeferredRecords>* deferred) {
    try {
        Json root;
        std::vector<Database> databases;
        std::vector<RecordsSpan> found;
        std::vector<DeferredRecords> left;
        const bool plain = how != ImageReading::kGeneralOnly &&
                           ReadPlain(text, &root, &databases, &found, deferred != nullptr ? &left : nullptr);
        if (!plain && how == ImageReading::kPlainOnly) throw std::runtime_error("not in the plain form");
        if (!plain) ReadTree(text, &root, &databases);
        DeviceImage image = DecodeImage(root, std::move(databases));
        // The hook belongs to whoever watches this device, not to the file.
        image.beforeCall = std::move(out->beforeCall);
        *out = std::move(image);
        if (spans != nullptr) *spans = std::move(found);
        if (deferred != nullptr) *deferred = std::move(left);
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

bool DeviceImage::FromJson(const std::string& text, std::string* error) {
    return ReadImageText(text, ImageReading::kAny, this, error);
}

FileText& FileText::operator=(FileText&& other) noexcept {
    if (this != &other) {
        Release();
        bytes_ = other.bytes_;
        size_ = other.size_;
        other.bytes_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

void FileText::Release() {
    if (bytes_ != nullptr) UnmapViewOfFile(bytes_);
    bytes_ = nullptr;
    size_ = 0;
}

bool ReadFileText(const std::string& path, FileText* out) {
    out->Release();
    // Others may replace or remove the file meanwhile, as a save does.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) && size <= SIZE_MAX;
    if (ok && size != 0) {  // an empty file has nothing to map
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const void* view = mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (mapping != nullptr) CloseHandle(mapping);
        ok = view != nullptr;
        out->bytes_ = static_cast<const char*>(view);
        out->size_ = ok ? static_cast<size_t>(size) : 0;
    }
    CloseHandle(file);
    return ok;
}

bool DeviceImage::Load(const std::string& path, std::string* error) {
    FileText text;
    if (!ReadFileText(path, &text)) {
        if (error != nullptr) *error = "cannot open " + path;
        return false;
    }
    return ReadImageText(text.View(), ImageReading::kAny, this, error);
}

}  // namespace tethra_sim
