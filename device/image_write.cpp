// Image files written: the device state as readable JSON, laid out as
// nlohmann's dump(2) lays it out but for a record a line, streamed straight
// from the records so that a large image never exists a second time as a
// document tree.
#include "device/image_codec.h"
#include "device/simulator.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tethra_sim {

namespace {

// Appends JSON with two spaces of indent a level and every element of an
// object or array on a line of its own, but in a container begun on one
// line, which is written on that line with all it holds.
class PrettyWriter {
 public:
    // holes gets the texts given to Verbatim with their offsets in out,
    // instead of out getting them.
    PrettyWriter(std::string* out, std::vector<std::pair<size_t, std::string_view>>* holes)
        : out_(out), holes_(holes) {}

    void Begin(char open, bool oneLine = false) {
        Prefix();
        *out_ += open;
        counts_.push_back(0);
        if (oneLine || lineDepth_ != 0) ++lineDepth_;
    }
    void End(char close) {
        const bool empty = counts_.back() == 0;
        counts_.pop_back();
        if (lineDepth_ != 0)
            --lineDepth_;
        else if (!empty)
            NewLine();
        *out_ += close;
    }
    void Key(const std::string& name) {
        Prefix();
        AppendString(name);
        *out_ += ": ";
        keyed_ = true;
    }
    void Null() { Raw("null"); }
    void Bool(bool value) { Raw(value ? "true" : "false"); }
    void Integer(int64_t value) { Raw(std::to_string(value)); }
    void Double(double value) { Raw(nlohmann::ordered_json(value).dump()); }
    void String(const std::string& text) {
        Prefix();
        AppendString(text);
    }
    // A whole element, already written.
    void Verbatim(std::string_view text) {
        Prefix();
        holes_->emplace_back(out_->size(), text);
    }
    // Single-byte device text, each byte as the character of its number.
    void DeviceText(const std::vector<uint8_t>& bytes) {
        Prefix();
        *out_ += '"';
        for (size_t i = 0; i < bytes.size(); ++i) {
            const uint8_t b = bytes[i];
            if (b >= 0x20 && b != '"' && b != '\\') {
                if (b < 0x80) {
                    size_t end = i + 1;  // the run of plain characters, appended at once
                    while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x80 && bytes[end] != '"' &&
                           bytes[end] != '\\')
                        ++end;
                    out_->append(reinterpret_cast<const char*>(&bytes[i]), end - i);
                    i = end - 1;
                } else {
                    *out_ += static_cast<char>(0xC0 | (b >> 6));
                    *out_ += static_cast<char>(0x80 | (b & 0x3F));
                }
            } else {
                Escape(static_cast<char>(b));
            }
        }
        *out_ += '"';
    }

 private:
    void Raw(const std::string& text) {
        Prefix();
        *out_ += text;
    }
    void NewLine() {
        *out_ += '\n';
        out_->append(2 * counts_.size(), ' ');
    }
    // What goes before an element: nothing after a key, else a comma after
    // the previous element and a line of its own.
    void Prefix() {
        if (keyed_) {
            keyed_ = false;
            return;
        }
        if (counts_.empty()) return;
        if (counts_.back()++ != 0) *out_ += lineDepth_ != 0 ? ", " : ",";
        if (lineDepth_ == 0) NewLine();
    }
    void Escape(char c) {
        static const char kShort[] = "\"\"\\\\\bb\ff\nn\rr\tt";
        for (size_t i = 0; i + 1 < sizeof kShort; i += 2)
            if (kShort[i] == c) {
                *out_ += '\\';
                *out_ += kShort[i + 1];
                return;
            }
        char text[8];
        std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(static_cast<uint8_t>(c)));
        *out_ += text;
    }
    // Names and settings are taken as UTF-8 and refused when they are not;
    // the common plain ones are copied as they are, the others escaped to
    // ASCII, the only text the image's hand reader passes over.
    void AppendString(const std::string& text) {
        for (unsigned char c : text)
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x7F) {
                *out_ += nlohmann::ordered_json(text).dump(-1, ' ', true);
                return;
            }
        *out_ += '"';
        *out_ += text;
        *out_ += '"';
    }

    std::string* out_;
    std::vector<std::pair<size_t, std::string_view>>* holes_;
    std::vector<size_t> counts_;  // elements written so far in each open container
    size_t lineDepth_ = 0;        // open containers written on one line
    bool keyed_ = false;
};

// A readable form is used only when reading it back gives the same bytes.
void WriteValue(PrettyWriter& w, uint32_t type, const LinkValue& v) {
    if (v.absent) return w.Null();
    if (v.bytes.empty()) return w.String("");
    const size_t width = IntegerWidth(type);
    if (width != 0 && v.bytes.size() == width) {
        uint32_t raw = 0;
        for (size_t i = 0; i < width; ++i) raw |= static_cast<uint32_t>(v.bytes[i]) << (8 * i);
        if (width == 2) return w.Integer(static_cast<int16_t>(raw));
        if (width == 4) return w.Integer(static_cast<int32_t>(raw));
        return w.Integer(raw);
    }
    if (type == kLinkText) return w.DeviceText(v.bytes);
    std::string date;
    if (IsDateType(type) && v.bytes.size() == 8 && ReadableDate(type, OleDateOf(v), &date)) return w.String(date);
    w.Begin('{');
    if (IsDateType(type) && v.bytes.size() == 8) {
        w.Key("ole");
        w.Double(OleDateOf(v));
    } else {
        w.Key("hex");
        w.String(Hex(v.bytes.data(), v.bytes.size()));
    }
    w.End('}');
}

void WriteIds(PrettyWriter& w, const char* key, const std::vector<uint32_t>& ids) {
    w.Key(key);
    w.Begin('[');
    for (uint32_t id : ids) w.Integer(id);
    w.End(']');
}

bool SameFields(const std::vector<LinkField>& a, const std::vector<LinkField>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type) return false;
    return true;
}
void WriteDatabase(PrettyWriter& w, const Database& db, std::string_view kept) {
    w.Begin('{');
    w.Key("id");
    w.Integer(db.id);
    w.Key("syncEnabled");
    w.Bool(db.syncEnabled);
    w.Key("firstSyncPut");
    w.Bool(db.firstSyncPutAllowed);
    w.Key("nextId");
    w.Integer(db.nextId);
    if (!SameFields(db.fields, BuiltInFields(db.id))) {
        w.Key("fields");
        w.Begin('[');
        for (const LinkField& f : db.fields) {
            w.Begin('{');
            w.Key("name");
            w.String(f.name);
            w.Key("type");
            w.Integer(f.type);
            w.End('}');
        }
        w.End(']');
    }
    WriteIds(w, "added", db.changes[0]);
    WriteIds(w, "changed", db.changes[1]);
    WriteIds(w, "deleted", db.changes[2]);
    w.Key("records");
    if (!kept.empty()) {
        w.Verbatim(kept);
        w.End('}');
        return;
    }
    w.Begin('[');
    // A record a line: a quarter less text than a value a line, and as
    // easy to read and compare.
    for (const Record& r : db.records) {
        w.Begin('{', true);
        w.Key("id");
        w.Integer(r.id);
        w.Key("values");
        w.Begin('{');
        for (size_t i = 0; i < db.fields.size() && i < r.values.size(); ++i)
            if (r.values[i].absent || !r.values[i].bytes.empty()) {
                w.Key(db.fields[i].name);
                WriteValue(w, db.fields[i].type, r.values[i]);
            }
        w.End('}');
        w.End('}');
    }
    w.End(']');
    w.End('}');
}

void WriteFault(PrettyWriter& w, const Fault& f) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", f.error);
    w.Begin('{');
    w.Key("operation");
    w.String(f.operation);
    // A fault keeps counting from where it stood when the image is loaded again.
    w.Key("call");
    w.Integer(f.call > f.seen ? f.call - f.seen : 1);
    w.Key("error");
    w.String(code);
    w.Key("persistent");
    w.Bool(f.persistent);
    if (f.effect != FaultEffect::kFail) {
        w.Key("effect");
        w.String(kEffectNames[static_cast<size_t>(f.effect)]);
    }
    w.End('}');
}

}  // namespace

uint64_t RecordsFingerprint(const Database& db) {
    // FNV-1a over each piece's hash: the pieces are many and short.
    uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&h](uint64_t piece) { h = (h ^ piece) * 0x100000001b3ull; };
    const std::hash<std::string_view> hash;
    for (const LinkField& f : db.fields) {
        mix(hash(f.name));
        mix(f.type);
    }
    mix(db.records.size());
    for (const Record& r : db.records) {
        mix(r.id);
        mix(r.values.size());
        for (const LinkValue& v : r.values) {
            mix(v.absent ? ~0ull : v.bytes.size());
            mix(hash(std::string_view(reinterpret_cast<const char*>(v.bytes.data()), v.bytes.size())));
        }
    }
    return h;
}

std::string DeviceImage::ToJson() const { return WriteImagePieces(*this, {}).text; }

ImagePieces WriteImagePieces(const DeviceImage& image, const std::vector<std::string_view>& kept) {
    const std::vector<Database>& databases = image.databases;
    ImagePieces pieces;
    std::string& text = pieces.text;
    // Enough for a record of every field filled of the records written;
    // pages reserved and never written cost nothing.
    size_t bytes = 4096;
    for (size_t i = 0; i < databases.size(); ++i)
        if (i >= kept.size() || kept[i].empty())
            bytes += databases[i].records.size() * (64 + 64 * databases[i].fields.size());
    text.reserve(bytes);
    PrettyWriter w(&text, &pieces.kept);
    w.Begin('{');
    w.Key("format");
    w.Integer(1);
    w.Key("settings");
    w.Begin('{');
    w.Key("portAvailable");
    w.Bool(image.portAvailable);
    w.Key("attached");
    w.Bool(image.attached);
    w.Key("configSupported");
    w.Bool(image.configSupported);
    w.Key("systemInfo");
    w.Integer(image.systemInfoValue);
    w.Key("language");
    w.String(image.language);
    w.Key("model");
    w.String(image.model);
    w.Key("deviceId");
    w.String(Hex(image.deviceId, 8));
    w.End('}');
    w.Key("pairing");
    w.Begin('{');
    w.Key("pcId");
    w.String(Hex(image.pcId, 8));
    w.Key("syncTime");
    w.String(image.syncTime);
    w.Key("appendInfo");
    w.String(Hex(image.appendInfo, 32));
    w.End('}');
    w.Key("databases");
    w.Begin('[');
    for (size_t i = 0; i < databases.size(); ++i)
        WriteDatabase(w, databases[i], i < kept.size() ? kept[i] : std::string_view());
    w.End(']');
    w.Key("faults");
    w.Begin('[');
    for (const Fault& f : image.faults) WriteFault(w, f);
    w.End(']');
    w.End('}');
    text += '\n';
    return pieces;
}

namespace {

// Writes what the pieces make over the file at path, or a new one:
// overwriting a file in place costs the file system far less than writing
// a new one of the same size (on the machines here, 3 ms instead of 60 to
// 120 for 18 MB).
bool WriteOver(const std::string& path, const ImagePieces& pieces) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    const std::ios::openmode mode = exists ? std::ios::in | std::ios::out : std::ios::trunc;
    std::ofstream out(path, std::ios::binary | mode);
    size_t from = 0, size = 0;
    auto write = [&out, &size](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        size += piece.size();
    };
    for (const auto& [offset, kept] : pieces.kept) {
        write(std::string_view(pieces.text).substr(from, offset - from));
        write(kept);
        from = offset;
    }
    write(std::string_view(pieces.text).substr(from));
    out.close();
    if (!out) return false;
    if (exists) std::filesystem::resize_file(path, size, ec);
    return !ec;
}

}  // namespace

bool DeviceImage::Save(const std::string& path, std::string* error, std::string* written) const {
    ImagePieces pieces;
    try {
        pieces = WriteImagePieces(*this, {});
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
    if (!SaveImagePieces(path, pieces, error)) return false;
    if (written != nullptr) *written = std::move(pieces.text);
    return true;
}

bool SaveImagePieces(const std::string& path, const ImagePieces& pieces, std::string* error) {
    return WritePreviousImage(path, pieces, error) && ReplaceWithPrevious(path, error);
}

bool WritePreviousImage(const std::string& path, const ImagePieces& pieces, std::string* error) {
    const std::string previous = path + ".previous";
    if (WriteOver(previous, pieces)) return true;
    std::error_code ec;
    std::filesystem::remove(previous, ec);
    if (error != nullptr) *error = "cannot write " + previous;
    return false;
}

bool ReplaceWithPrevious(const std::string& path, std::string* error) {
    // The image replaced is kept as path.previous, through a second link
    // while the rename happens.
    const std::string previous = path + ".previous", swap = path + ".swap";
    std::error_code ec;
    std::filesystem::remove(swap, ec);
    const bool kept = std::filesystem::exists(path, ec) && (std::filesystem::create_hard_link(path, swap, ec), !ec);
    std::filesystem::rename(previous, path, ec);
    if (ec) {
        std::filesystem::remove(previous, ec);
        std::filesystem::remove(swap, ec);
        if (error != nullptr) *error = "cannot replace " + path;
        return false;
    }
    if (kept) std::filesystem::rename(swap, previous, ec);
    return true;
}

std::vector<size_t> KeptOffsets(const ImagePieces& pieces) {
    std::vector<size_t> offsets;
    size_t before = 0;  // bytes of the kept texts ahead
    for (const auto& [offset, kept] : pieces.kept) {
        offsets.push_back(offset + before);
        before += kept.size();
    }
    return offsets;
}

}  // namespace tethra_sim
