// Reading a JSON document with records in it: a SAX parser hands over one
// event per value, and the reader below follows where it is (a stack of the
// objects and arrays it is in) to put each value in place.  Values inside a
// record go straight into its HostRecord; every other scalar is kept by its
// path.
//
// The events come from a scanner of the plain JSON the writers of
// record_json.cpp produce, which does in one pass what nlohmann's general
// lexer does in several (a bridge client reads thousands of record lines a
// second).  Whatever it is unsure of, it leaves to nlohmann's parser, which
// then reads the document again from its start: any other form of number,
// escape or character, and every syntax error, which nlohmann words.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "records/record_json.h"

namespace morvane_host {

namespace {

using nlohmann::json;

// The deepest a document with records needs: the top, "records", a record,
// "repeat", "weekDays".  A little room above it for members nobody reads.
constexpr size_t kMaxDepth = 16;
// Room reserved for what a record line holds, so that reading one takes
// few allocations: its frames (the top, "record", "repeat", "weekDays")
// and the fields of the largest database (Address book, 44).
constexpr size_t kFramesReserved = 6;
constexpr size_t kFieldsReserved = 48;

// The member of a record being read, known from its name once, when the
// name is read, rather than at each of its values.
enum class RecordMember : uint8_t { kOther, kId, kStatus, kFolder, kAction, kFields, kRepeat };

struct MemberName {
    const char* name;
    RecordMember member;
};

static const MemberName kRecordMembers[] = {
    // 0
    {"id", RecordMember::kId},
    {"status", RecordMember::kStatus},
    {"folder", RecordMember::kFolder},
    {"action", RecordMember::kAction},
    {"fields", RecordMember::kFields},
    // 5
    {"repeat", RecordMember::kRepeat},
};

RecordMember ClassifyMember(const std::string& name) {
    for (const MemberName& row : kRecordMembers)
        if (name == row.name) return row.member;
    return RecordMember::kOther;
}

struct Frame {
    bool object = true;
    std::string key;     // objects: the member being read
    size_t next = 0;     // arrays: the position of the next element
    size_t current = 0;  // arrays: the position of the element being read
};

class DocumentReader : public nlohmann::json_sax<json> {
public:
    DocumentReader(const char* recordsKey, JsonDocument* out, ValueForm values)
        : recordsKey_(recordsKey), out_(out), valuesAsBytes_(values == ValueForm::kBytes) {
        frames_.reserve(kFramesReserved);
    }
    const std::string& error() const { return error_; }

    bool null() override { return Scalar(JsonScalar()); }
    bool boolean(bool value) override {
        JsonScalar scalar;
        scalar.kind = JsonScalar::Kind::kBool;
        scalar.flag = value;
        return Scalar(std::move(scalar));
    }
    bool number_integer(number_integer_t value) override {
        JsonScalar scalar;
        scalar.kind = JsonScalar::Kind::kInteger;
        scalar.integer = value;
        return Scalar(std::move(scalar));
    }
    bool number_unsigned(number_unsigned_t value) override {
        JsonScalar scalar;
        const bool fits = value <= static_cast<number_unsigned_t>(std::numeric_limits<int64_t>::max());
        scalar.kind = fits ? JsonScalar::Kind::kInteger : JsonScalar::Kind::kOtherNumber;
        scalar.integer = fits ? static_cast<int64_t>(value) : 0;
        return Scalar(std::move(scalar));
    }
    bool number_float(number_float_t, const string_t&) override {
        JsonScalar scalar;
        scalar.kind = JsonScalar::Kind::kOtherNumber;
        return Scalar(std::move(scalar));
    }
    bool string(string_t& value) override {
        JsonScalar scalar;
        scalar.kind = JsonScalar::Kind::kText;
        scalar.text.swap(value);
        return Scalar(std::move(scalar));
    }
    bool binary(binary_t&) override { return Fail("a binary value"); }
    bool start_object(std::size_t) override { return Start(true); }
    bool key(string_t& name) override {
        frames_.back().key.swap(name);
        if (InRecord() && frames_.size() - 1 == recordBase_) member_ = ClassifyMember(frames_.back().key);
        return true;
    }
    bool end_object() override { return End(); }
    bool start_array(std::size_t) override { return Start(false); }
    bool end_array() override { return End(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
        // "[json.exception.parse_error.101] parse error at line 1, column 3: ..." without its label.
        std::string text = e.what();
        const size_t label = text.find("] ");
        if (label != std::string::npos) text.erase(0, label + 2);
        return Fail("malformed JSON: " + text);
    }

private:
    bool Fail(const std::string& text) {
        if (error_.empty()) error_ = text;
        return false;
    }
    bool RecordFail(const std::string& text) {
        return Fail("record " + std::to_string(out_->records.size()) + ": " + text);
    }
    bool InRecord() const { return recordBase_ != kNone; }
    // The member under which the record's frame at level is read.
    const std::string& Member(size_t level) const { return frames_[recordBase_ + level].key; }
    bool IsObject(size_t level) const { return frames_[recordBase_ + level].object; }

    // Arrays count their elements as each one begins.
    void Advance() {
        if (!frames_.empty() && !frames_.back().object) frames_.back().current = frames_.back().next++;
    }

    bool StartsRecord() const {
        if (frames_.size() == 1) return frames_[0].key == recordsKey_;
        return frames_.size() == 2 && !frames_[1].object && frames_[0].key == recordsKey_;
    }

    std::string Path() const {
        std::string path;
        for (const Frame& frame : frames_) {
            if (!path.empty()) path += '.';
            path += frame.object ? frame.key : std::to_string(frame.current);
        }
        return path;
    }

    bool Scalar(JsonScalar&& value) {
        if (frames_.empty()) return Fail("the document is not a JSON object");
        Advance();
        if (InRecord()) return RecordScalar(std::move(value));
        out_->values[Path()] = std::move(value);
        return true;
    }

    bool Start(bool object) {
        if (frames_.empty() && !object) return Fail("the document is not a JSON object");
        if (frames_.size() >= kMaxDepth) return Fail("nesting deeper than " + std::to_string(kMaxDepth));
        Advance();
        if (!InRecord() && object && StartsRecord()) {
            out_->records.emplace_back();
            recordBase_ = frames_.size();
        } else if (InRecord() && !RecordStart(object)) {
            return false;
        }
        frames_.emplace_back();
        frames_.back().object = object;
        return true;
    }

    bool End() {
        if (InRecord() && !RecordEnd()) return false;
        frames_.pop_back();
        return true;
    }

    bool RecordScalar(JsonScalar&& value);
    bool RecordStart(bool object);
    bool RecordEnd();
    bool RepeatMember(const std::string& name, const JsonScalar& value);

    static constexpr size_t kNone = static_cast<size_t>(-1);
    const std::string recordsKey_;
    JsonDocument* out_;
    const bool valuesAsBytes_;
    std::vector<Frame> frames_;
    size_t recordBase_ = kNone;  // the frame of the record being read
    RecordMember member_ = RecordMember::kOther;
    bool pendingHasId_ = false;  // the field of the fields list being read
    std::string pendingId_, pendingValue_;
    std::string error_;
};

// Text as the adapter's bytes; most of it is ASCII, which stays as it is.
void ToBytes(std::string* text) {
    for (char c : *text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            *text = Utf8ToBytes(*text);
            return;
        }
}

bool WholeNumber(const JsonScalar& value, int64_t low, int64_t high, int64_t* out) {
    if (value.kind != JsonScalar::Kind::kInteger || value.integer < low || value.integer > high) return false;
    *out = value.integer;
    return true;
}

// A record member's value; scalars of members nobody reads are passed over.
bool DocumentReader::RecordScalar(JsonScalar&& value) {
    HostRecord& record = out_->records.back();
    const size_t level = frames_.size() - 1 - recordBase_;
    const bool text = value.kind == JsonScalar::Kind::kText;
    int64_t number = 0;
    if (level == 0) {
        if (member_ == RecordMember::kId) {
            if (!WholeNumber(value, INT32_MIN, INT32_MAX, &number)) return RecordFail("\"id\" is not a 32-bit number");
            record.id = static_cast<int32_t>(number);
        } else if (member_ == RecordMember::kStatus || member_ == RecordMember::kFolder) {
            const bool folder = member_ == RecordMember::kFolder;
            if (!WholeNumber(value, 0, UINT32_MAX, &number))
                return RecordFail("\"" + Member(0) + "\" is not a number 0 or above");
            (folder ? record.folder : record.status) = static_cast<uint32_t>(number);
            record.hasFolder = record.hasFolder || folder;
        } else if (member_ == RecordMember::kAction) {
            if (!text) return RecordFail("\"action\" is not text");
            record.action = std::move(value.text);
            ToBytes(&record.action);
        }
        return true;
    }
    if (member_ == RecordMember::kFields && level == 1 && IsObject(1)) {
        if (!text) return RecordFail("field \"" + Member(1) + "\" is not text");
        // The member's name is not needed again: the next member brings its own.
        record.fields.emplace_back(std::move(frames_.back().key), std::move(value.text));
        ToBytes(&record.fields.back().first);
        if (valuesAsBytes_) ToBytes(&record.fields.back().second);
    } else if (member_ == RecordMember::kFields && level == 2) {
        if (Member(2) != "field" && Member(2) != "value") return true;
        if (!text) return RecordFail("a field's \"" + Member(2) + "\" is not text");
        if (Member(2) == "field") {
            pendingId_ = std::move(value.text);
            ToBytes(&pendingId_);
            pendingHasId_ = true;
        } else {
            pendingValue_ = std::move(value.text);
            if (valuesAsBytes_) ToBytes(&pendingValue_);
        }
    } else if (member_ == RecordMember::kRepeat && (level == 1 || (level == 2 && Member(1) == "weekDays"))) {
        return RepeatMember(level == 1 ? Member(1) : std::string(), value);
    }
    return true;
}

// A member of "repeat"; an empty name stands for an element of "weekDays".
bool DocumentReader::RepeatMember(const std::string& name, const JsonScalar& value) {
    RepeatInfo& repeat = out_->records.back().repeat;
    if (name == "startDate" || name == "endDate") {
        if (value.kind != JsonScalar::Kind::kText) return RecordFail("\"repeat\"'s \"" + name + "\" is not text");
        const std::string bytes = Utf8ToBytes(value.text);
        char* target = name == "startDate" ? repeat.startDate : repeat.endDate;
        const size_t size = name == "startDate" ? sizeof repeat.startDate : sizeof repeat.endDate;
        memset(target, 0, size);
        memcpy(target, bytes.data(), bytes.size() < size - 1 ? bytes.size() : size - 1);
        return true;
    }
    uint8_t* target = nullptr;
    if (name.empty()) {
        const size_t day = frames_.back().current;
        target = day < sizeof repeat.weekDays ? &repeat.weekDays[day] : nullptr;
    } else if (name == "isRepeating") {
        target = &repeat.isRepeating;
    } else if (name == "repeatPeriod") {
        target = &repeat.repeatPeriod;
    } else if (name == "repeatCount") {
        target = &repeat.repeatCount;
    } else if (name == "deleteFlag") {
        target = &repeat.deleteFlag;
    }
    if (target == nullptr) return true;
    int64_t number = 0;
    if (!WholeNumber(value, 0, 255, &number))
        return RecordFail("\"repeat\"'s \"" + (name.empty() ? std::string("weekDays") : name) + "\" is not a number 0 to 255");
    *target = static_cast<uint8_t>(number);
    return true;
}

// A container begins inside the record, at level (1: a member of the record).
bool DocumentReader::RecordStart(bool object) {
    const size_t level = frames_.size() - recordBase_;
    if (level == 1 && member_ == RecordMember::kFields) {
        out_->records.back().fields.reserve(kFieldsReserved);
    } else if (level == 1 && member_ == RecordMember::kRepeat) {
        if (!object) return RecordFail("\"repeat\" is not an object");
        out_->records.back().hasRepeat = true;
        out_->records.back().repeat = RepeatInfo{};
    } else if (level == 2 && member_ == RecordMember::kFields) {
        if (IsObject(1)) return RecordFail("field \"" + Member(1) + "\" is not text");
        if (!object) return RecordFail("an element of \"fields\" is not an object");
        pendingHasId_ = false;
        pendingId_.clear();
        pendingValue_.clear();
    } else if (level == 2 && member_ == RecordMember::kRepeat && Member(1) == "weekDays" && object) {
        return RecordFail("\"repeat\"'s \"weekDays\" is not a list");
    }
    return true;
}

bool DocumentReader::RecordEnd() {
    const size_t level = frames_.size() - 1 - recordBase_;
    if (level == 0) {
        recordBase_ = kNone;
    } else if (level == 2 && member_ == RecordMember::kFields && !IsObject(1)) {
        if (!pendingHasId_) return RecordFail("a field without \"field\"");
        out_->records.back().fields.emplace_back(std::move(pendingId_), std::move(pendingValue_));
        pendingHasId_ = false;
    }
    return true;
}

// The outcome of a plain scan: read whole, stopped by the reader (a record
// member of the wrong type, nesting too deep), or left to nlohmann's parser.
enum class Scan : uint8_t { kRead, kStopped, kUnsure };

// The plain subset: ASCII text and the two-byte UTF-8 of U+0080..U+00FF
// (the only characters a record's bytes become), the short escapes and
// \u00XX below U+0080, whole numbers of up to 18 digits, true, false, null.
class PlainScanner {
public:
    PlainScanner(const char* text, size_t size, nlohmann::json_sax<json>* sax) : at_(text), end_(text + size), sax_(sax) {}

    Scan Run() {
        Scan scan = Value();
        SkipBlanks();
        return scan == Scan::kRead && at_ != end_ ? Scan::kUnsure : scan;
    }

private:
    static Scan Told(bool accepted) { return accepted ? Scan::kRead : Scan::kStopped; }

    void SkipBlanks() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) ++at_;
    }
    bool Take(char c) {
        SkipBlanks();
        if (at_ == end_ || *at_ != c) return false;
        ++at_;
        return true;
    }

    Scan Value() {
        SkipBlanks();
        if (at_ == end_) return Scan::kUnsure;
        switch (*at_) {
        case '{': return Container(true);
        case '[': return Container(false);
        case '"': {
            std::string text;
            return String(&text) ? Told(sax_->string(text)) : Scan::kUnsure;
        }
        case 't': return Word("true", 4) ? Told(sax_->boolean(true)) : Scan::kUnsure;
        case 'f': return Word("false", 5) ? Told(sax_->boolean(false)) : Scan::kUnsure;
        case 'n': return Word("null", 4) ? Told(sax_->null()) : Scan::kUnsure;
        default: return Number();
        }
    }

    bool Word(const char* word, size_t length) {
        if (static_cast<size_t>(end_ - at_) < length || memcmp(at_, word, length) != 0) return false;
        at_ += length;
        return true;
    }

    Scan Container(bool object) {
        ++at_;
        if (!(object ? sax_->start_object(static_cast<std::size_t>(-1)) : sax_->start_array(static_cast<std::size_t>(-1))))
            return Scan::kStopped;
        if (!Take(object ? '}' : ']')) {
            do {
                if (object) {
                    std::string name;
                    SkipBlanks();
                    if (at_ == end_ || *at_ != '"' || !String(&name) || !Take(':')) return Scan::kUnsure;
                    if (!sax_->key(name)) return Scan::kStopped;
                }
                const Scan scan = Value();
                if (scan != Scan::kRead) return scan;
            } while (Take(','));
            if (!Take(object ? '}' : ']')) return Scan::kUnsure;
        }
        return Told(object ? sax_->end_object() : sax_->end_array());
    }

    // A string from its opening quote; false when unsure of it.
    bool String(std::string* text) {
        ++at_;
        const char* run = at_;
        while (at_ != end_) {
            const unsigned char c = static_cast<unsigned char>(*at_);
            if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
                ++at_;
                continue;
            }
            text->append(run, static_cast<size_t>(at_ - run));
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                if (!Escape(text)) return false;
            } else if ((c == 0xC2 || c == 0xC3) && end_ - at_ >= 2 && (static_cast<unsigned char>(at_[1]) & 0xC0) == 0x80) {
                text->append(at_, 2);
                at_ += 2;
            } else {
                return false;
            }
            run = at_;
        }
        return false;
    }

    bool Escape(std::string* text) {
        if (end_ - at_ < 2) return false;
        static const char kEscapes[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
        for (size_t i = 0; kEscapes[i] != '\0'; i += 2)
            if (at_[1] == kEscapes[i]) {
                *text += kEscapes[i + 1];
                at_ += 2;
                return true;
            }
        if (at_[1] != 'u' || end_ - at_ < 6 || at_[2] != '0' || at_[3] != '0' || !isxdigit(static_cast<unsigned char>(at_[4])) ||
            !isxdigit(static_cast<unsigned char>(at_[5])) || at_[4] > '7')
            return false;
        *text += static_cast<char>(strtol(std::string(at_ + 4, 2).c_str(), nullptr, 16));
        at_ += 6;
        return true;
    }

    Scan Number() {
        const bool negative = *at_ == '-';
        const char* digits = negative ? at_ + 1 : at_;
        const char* stop = digits;
        while (stop != end_ && *stop >= '0' && *stop <= '9') ++stop;
        const size_t count = static_cast<size_t>(stop - digits);
        if (count == 0 || count > 18 || (count > 1 && *digits == '0')) return Scan::kUnsure;
        if (stop != end_ && (*stop == '.' || *stop == 'e' || *stop == 'E')) return Scan::kUnsure;
        int64_t value = 0;
        for (const char* d = digits; d != stop; ++d) value = value * 10 + (*d - '0');
        at_ = stop;
        if (negative) return Told(sax_->number_integer(-value));
        return Told(sax_->number_unsigned(static_cast<uint64_t>(value)));
    }

    const char* at_;
    const char* const end_;
    nlohmann::json_sax<json>* sax_;
};

}  // namespace

const JsonScalar* JsonDocument::Find(const std::string& path) const {
    const auto found = values.find(path);
    return found == values.end() ? nullptr : &found->second;
}

bool JsonDocument::Text(const std::string& path, std::string* value) const {
    const JsonScalar* found = Find(path);
    if (found == nullptr || found->kind != JsonScalar::Kind::kText) return false;
    *value = found->text;
    return true;
}

bool JsonDocument::Integer(const std::string& path, int64_t* value) const {
    const JsonScalar* found = Find(path);
    if (found == nullptr || found->kind != JsonScalar::Kind::kInteger) return false;
    *value = found->integer;
    return true;
}

bool JsonDocument::Flag(const std::string& path, bool* value) const {
    const JsonScalar* found = Find(path);
    if (found == nullptr || found->kind != JsonScalar::Kind::kBool) return false;
    *value = found->flag;
    return true;
}

bool ReadJsonDocument(const char* text, size_t size, const char* recordsKey, JsonDocument* out, std::string* error,
                      ValueForm values) {
    *out = JsonDocument();
    bool parsed = false;
    try {
        DocumentReader plain(recordsKey, out, values);
        const Scan scan = PlainScanner(text, size, &plain).Run();
        if (scan != Scan::kUnsure) {
            if (scan == Scan::kStopped) *error = plain.error();
            return scan == Scan::kRead;
        }
        *out = JsonDocument();
        DocumentReader reader(recordsKey, out, values);
        parsed = json::sax_parse(text, text + size, &reader);
        if (!parsed) *error = reader.error().empty() ? "malformed JSON" : reader.error();
    } catch (const std::exception& e) {
        *error = std::string("malformed JSON: ") + e.what();
        return false;
    }
    return parsed;
}

}  // namespace morvane_host
