// Image files: the device state as readable JSON.
#include "device/ole_date.h"
#include "device/simulator.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace tethra_sim {

namespace {

using Json = nlohmann::ordered_json;

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::vector<uint8_t> Unhex(const std::string& text) {
    if (text.size() % 2 != 0) throw std::runtime_error("odd hex text: " + text);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1)
            throw std::runtime_error("bad hex text: " + text);
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

void UnhexInto(const std::string& text, uint8_t* out, size_t n) {
    std::vector<uint8_t> bytes = Unhex(text);
    if (bytes.size() != n) throw std::runtime_error("expected " + std::to_string(n) + " bytes: " + text);
    std::memcpy(out, bytes.data(), n);
}

// Device text is single-byte; each byte is shown as the character of the same number.
std::string BytesToUtf8(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        if (b < 0x80) {
            text += static_cast<char>(b);
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

std::vector<uint8_t> Utf8ToBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            bytes.push_back(c);
        } else if ((c & 0xE0) == 0xC0 && c <= 0xC3 && i + 1 < text.size()) {
            bytes.push_back(static_cast<uint8_t>((c << 6) | (static_cast<uint8_t>(text[++i]) & 0x3F)));
        } else {
            throw std::runtime_error("text beyond single-byte characters: " + text);
        }
    }
    return bytes;
}

std::string FormatDate(uint32_t type, const CivilTime& t) {
    char text[32];
    if (type == kLinkDate)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    else if (type == kLinkTime)
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
    return text;
}

bool ParseDate(uint32_t type, const std::string& text, double* out) {
    CivilTime t{1899, 12, 30, 0, 0, 0};
    int n = 0, used = 0;
    if (type == kLinkDate)
        n = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &t.year, &t.month, &t.day, &used) == 3;
    else if (type == kLinkTime)
        n = std::sscanf(text.c_str(), "%2d:%2d:%2d%n", &t.hour, &t.minute, &t.second, &used) == 3;
    else
        n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                        &t.second, &used) == 6;
    if (!n || static_cast<size_t>(used) != text.size() || !IsValidCivil(t)) return false;
    *out = CivilToOle(t);
    return true;
}

bool IsDateType(uint32_t type) { return type == kLinkDate || type == kLinkTime || type == kLinkDateTime; }

size_t IntegerWidth(uint32_t type) {
    return type == kLinkByte ? 1 : type == kLinkShort ? 2 : type == kLinkNumber ? 4 : 0;
}

// A readable form is used only when reading it back gives the same bytes.
Json EncodeValue(uint32_t type, const LinkValue& v) {
    if (v.absent) return nullptr;
    if (v.bytes.empty()) return "";
    const size_t width = IntegerWidth(type);
    if (width != 0 && v.bytes.size() == width) {
        uint32_t raw = 0;
        for (size_t i = 0; i < width; ++i) raw |= static_cast<uint32_t>(v.bytes[i]) << (8 * i);
        if (width == 2) return static_cast<int16_t>(raw);
        if (width == 4) return static_cast<int32_t>(raw);
        return raw;
    }
    if (type == kLinkText) return BytesToUtf8(v.bytes);
    if (IsDateType(type) && v.bytes.size() == 8) {
        const double d = OleDateOf(v);
        CivilTime t;
        double again = 0;
        if (OleToCivil(d, &t) && ParseDate(type, FormatDate(type, t), &again) &&
            std::memcmp(&again, &d, sizeof d) == 0)
            return FormatDate(type, t);
        return Json{{"ole", d}};
    }
    return Json{{"hex", Hex(v.bytes.data(), v.bytes.size())}};
}

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
    } else if (j.is_string() && j.get<std::string>().empty()) {
        return v;
    } else if (j.is_string() && type == kLinkText) {
        v.bytes = Utf8ToBytes(j.get<std::string>());
    } else if (j.is_string() && IsDateType(type)) {
        double d = 0;
        if (!ParseDate(type, j.get<std::string>(), &d)) throw std::runtime_error("bad date: " + j.dump());
        v.bytes.resize(8);
        std::memcpy(v.bytes.data(), &d, 8);
    } else {
        throw std::runtime_error("value does not fit its link type " + std::to_string(type) + ": " + j.dump());
    }
    return v;
}

bool SameFields(const std::vector<LinkField>& a, const std::vector<LinkField>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type) return false;
    return true;
}

Json EncodeDatabase(const Database& db) {
    Json j;
    j["id"] = db.id;
    j["syncEnabled"] = db.syncEnabled;
    j["firstSyncPut"] = db.firstSyncPutAllowed;
    j["nextId"] = db.nextId;
    if (!SameFields(db.fields, BuiltInFields(db.id))) {
        Json fields = Json::array();
        for (const LinkField& f : db.fields) fields.push_back(Json{{"name", f.name}, {"type", f.type}});
        j["fields"] = fields;
    }
    j["added"] = db.changes[0];
    j["changed"] = db.changes[1];
    j["deleted"] = db.changes[2];
    Json records = Json::array();
    for (const Record& r : db.records) {
        Json values = Json::object();
        for (size_t i = 0; i < db.fields.size() && i < r.values.size(); ++i)
            if (r.values[i].absent || !r.values[i].bytes.empty())
                values[db.fields[i].name] = EncodeValue(db.fields[i].type, r.values[i]);
        records.push_back(Json{{"id", r.id}, {"values", values}});
    }
    j["records"] = records;
    return j;
}

Database DecodeDatabase(const Json& j) {
    Database db;
    db.id = j.at("id").get<uint32_t>();
    db.syncEnabled = j.value("syncEnabled", false);
    db.firstSyncPutAllowed = j.value("firstSyncPut", true);
    if (j.contains("fields")) {
        for (const Json& f : j.at("fields")) db.fields.push_back({f.at("name").get<std::string>(), f.at("type").get<uint32_t>()});
    } else {
        db.fields = BuiltInFields(db.id);
    }
    if (db.fields.empty()) throw std::runtime_error("database " + std::to_string(db.id) + " has no field list");
    db.changes[0] = j.value("added", std::vector<uint32_t>());
    db.changes[1] = j.value("changed", std::vector<uint32_t>());
    db.changes[2] = j.value("deleted", std::vector<uint32_t>());
    uint32_t highest = 0;
    const Json records = j.value("records", Json::array());
    for (const Json& jr : records) {
        Record r;
        r.id = jr.at("id").get<uint32_t>();
        if (r.id == 0 || db.Find(r.id) != nullptr) throw std::runtime_error("bad or repeated record id");
        r.values.resize(db.fields.size());
        const Json values = jr.value("values", Json::object());
        for (const auto& item : values.items()) {
            const int index = db.FieldIndex(item.key());
            if (index < 0) throw std::runtime_error("database " + std::to_string(db.id) + " has no field " + item.key());
            r.values[index] = DecodeValue(db.fields[index].type, item.value());
        }
        highest = std::max(highest, r.id);
        db.records.push_back(r);
    }
    db.nextId = std::max(j.value("nextId", 1u), highest + 1);
    return db;
}

// Names of the fault effects in an image file, in FaultEffect order.
const char* const kEffectNames[] = {"fail", "zeroCount", "nullLists", "nullValues", "shortRecords"};

FaultEffect DecodeEffect(const std::string& name) {
    for (size_t i = 0; i < sizeof kEffectNames / sizeof kEffectNames[0]; ++i)
        if (name == kEffectNames[i]) return static_cast<FaultEffect>(i);
    throw std::runtime_error("unknown fault effect " + name);
}

uint32_t DecodeCode(const Json& j) {
    if (j.is_string()) return static_cast<uint32_t>(std::stoul(j.get<std::string>(), nullptr, 0));
    return j.get<uint32_t>();
}

}  // namespace

std::string DeviceImage::ToJson() const {
    Json j;
    j["format"] = 1;
    j["settings"] = Json{{"portAvailable", portAvailable}, {"attached", attached},
                         {"configSupported", configSupported}, {"systemInfo", systemInfoValue},
                         {"language", language}, {"model", model}, {"deviceId", Hex(deviceId, 8)}};
    j["pairing"] = Json{{"pcId", Hex(pcId, 8)}, {"syncTime", syncTime}, {"appendInfo", Hex(appendInfo, 32)}};
    j["databases"] = Json::array();
    for (const Database& db : databases) j["databases"].push_back(EncodeDatabase(db));
    j["faults"] = Json::array();
    for (const Fault& f : faults) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", f.error);
        // A fault keeps counting from where it stood when the image is loaded again.
        const uint32_t remaining = f.call > f.seen ? f.call - f.seen : 1;
        Json fault{{"operation", f.operation}, {"call", remaining}, {"error", code}, {"persistent", f.persistent}};
        if (f.effect != FaultEffect::kFail) fault["effect"] = kEffectNames[static_cast<size_t>(f.effect)];
        j["faults"].push_back(fault);
    }
    return j.dump(2) + "\n";
}

// Every number of an image is a whole number but an OLE date ({"ole": d});
// a fraction or an exponent elsewhere would reach an integer conversion
// that cannot hold it.
static void RejectFractions(const Json& j) {
    if (j.is_number_float()) throw std::runtime_error("numbers in a device image are whole numbers");
    if (j.is_object()) {
        for (const auto& item : j.items())
            if (item.key() != "ole") RejectFractions(item.value());
    } else if (j.is_array()) {
        for (const Json& item : j) RejectFractions(item);
    }
}

bool DeviceImage::FromJson(const std::string& text, std::string* error) {
    try {
        const Json j = Json::parse(text);
        RejectFractions(j);
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
        for (const Json& jd : j.value("databases", Json::array())) {
            Database db = DecodeDatabase(jd);
            if (image.Find(db.id) != nullptr) throw std::runtime_error("database listed twice");
            image.databases.push_back(db);
        }
        for (const Json& jf : j.value("faults", Json::array())) {
            image.FailCall(jf.at("operation").get<std::string>(), jf.value("call", 1u),
                           DecodeCode(jf.at("error")), jf.value("persistent", false),
                           DecodeEffect(jf.value("effect", std::string("fail"))));
        }
        // The hook belongs to whoever watches this device, not to the file.
        image.beforeCall = std::move(beforeCall);
        *this = std::move(image);
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

bool DeviceImage::Load(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr) *error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return FromJson(text.str(), error);
}

bool DeviceImage::Save(const std::string& path, std::string* error) const {
    std::string text;
    try {
        text = ToJson();
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            if (error != nullptr) *error = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        if (error != nullptr) *error = "cannot replace " + path;
        return false;
    }
    return true;
}

}  // namespace tethra_sim
