// Image files in the plain form this simulator writes, read by hand: the
// records straight into their values, everything else cut out as text for
// the general reader.  A handheld's image is read at the start of every
// session, and the records are nearly all of it; a document tree of them
// cost more than the rest of a session with 10,000 contacts.  A session
// defers even that: it keeps where each record stands and decodes the
// values of those it reads (every value is still checked at the scan).
#include "device/image_codec.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace tethra_sim {

namespace {

// Deeper nesting than an image has is left to the general reader.
constexpr int kMaxDepth = 64;

class PlainScanner {
 public:
    // defer: records are read for their ids, their values checked into
    // one scratch value and not kept.
    PlainScanner(const char* begin, const char* end, bool defer) : begin_(begin), p_(begin), end_(end), defer_(defer) {}

    bool Image(ScannedImage* out) {
        if (!ObjectAround("databases", &out->text, [&] { return DatabaseList(out); })) return false;
        Space();
        return p_ == end_;
    }

    // A record's object: its id and, unless deferred, its values.
    bool RecordObject(const DatabaseHead& head, Record* r) {
        if (!Eat('{')) return false;
        if (!defer_) r->values.assign(head.fields.size(), LinkValue());
        bool id = false, values = false;
        do {
            std::string key;
            if (!Key(&key)) return false;
            if (key == "id") {
                int64_t n = 0;
                Space();
                if (id || !WholeNumber(&n) || n < 0 || n > 0xFFFFFFFFll) return false;
                r->id = static_cast<uint32_t>(n);
                id = true;
            } else if (key == "values") {
                if (values || !Values(head, r)) return false;
                values = true;
            } else if (!Skip(0)) {
                return false;
            }
        } while (Eat(','));
        return Eat('}') && id;
    }

 private:
    void Space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    bool Eat(char c) {
        Space();
        if (p_ == end_ || *p_ != c) return false;
        ++p_;
        return true;
    }

    // A key: printable ASCII without escapes, then the colon.
    bool Key(std::string* key) {
        std::string_view view;
        if (!Key(&view)) return false;
        key->assign(view);
        return true;
    }
    // The same, as a view of the text.
    bool Key(std::string_view* key) {
        if (!Eat('"')) return false;
        const char* start = p_;
        while (p_ < end_ && *p_ != '"') {
            if (*p_ < 0x20 || *p_ == '\\' || static_cast<unsigned char>(*p_) >= 0x80) return false;
            ++p_;
        }
        if (p_ == end_) return false;
        *key = std::string_view(start, static_cast<size_t>(p_++ - start));
        return Eat(':');
    }

    // An object whose members go to *text as they stand, but for the one
    // named special, which handle reads; a second of it is refused.
    template <typename Handle>
    bool ObjectAround(const char* special, std::string* text, Handle handle) {
        if (!Eat('{')) return false;
        *text = "{";
        bool seen = false;
        if (!Eat('}')) {
            do {
                std::string key;
                if (!Key(&key)) return false;
                if (key == special) {
                    if (seen || !handle()) return false;
                    seen = true;
                } else if (!Member(key, text)) {
                    return false;
                }
            } while (Eat(','));
            if (!Eat('}')) return false;
        }
        *text += '}';
        return true;
    }

    // A member left to the general reader, appended to an object's text.
    bool Member(const std::string& key, std::string* text) {
        Space();
        const char* start = p_;
        if (!Skip(0)) return false;
        if (text->size() > 1) *text += ',';
        *text += '"';
        *text += key;
        *text += "\":";
        text->append(start, p_);
        return true;
    }

    // Steps over a value the general reader would read the same way:
    // strings of ASCII, whole numbers, literals, and containers of them.
    bool Skip(int depth) {
        Space();
        if (p_ == end_ || depth > kMaxDepth) return false;
        const char c = *p_;
        if (c == '"') return SkipString();
        if (c == '-' || (c >= '0' && c <= '9')) return WholeNumber(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++p_;
            if (Eat(close)) return true;
            do {
                std::string key;
                if ((c == '{' && !Key(&key)) || !Skip(depth + 1)) return false;
            } while (Eat(','));
            return Eat(close);
        }
        for (const char* word : {"true", "false", "null"}) {
            const size_t n = std::strlen(word);
            if (static_cast<size_t>(end_ - p_) >= n && std::memcmp(p_, word, n) == 0) {
                p_ += n;
                return true;
            }
        }
        return false;
    }
    bool SkipString() {
        ++p_;
        while (p_ < end_ && *p_ != '"') {
            const unsigned char c = static_cast<unsigned char>(*p_++);
            if (c < 0x20 || c >= 0x80) return false;
            if (c != '\\') continue;
            if (p_ == end_) return false;
            const char e = *p_++;
            if (e == 'u') {
                for (int i = 0; i < 4; ++i, ++p_)
                    if (p_ == end_ || !std::isxdigit(static_cast<unsigned char>(*p_))) return false;
            } else if (std::strchr("\"\\/bfnrt", e) == nullptr || e == '\0') {
                return false;
            }
        }
        return p_++ < end_;
    }
    // -?(0|[1-9][0-9]*) of at most 18 digits, so that it fits any integer.
    bool WholeNumber(int64_t* value) {
        const bool negative = p_ < end_ && *p_ == '-';
        if (negative) ++p_;
        const char* start = p_;
        int64_t n = 0;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9' && p_ - start < 18) n = 10 * n + (*p_++ - '0');
        const ptrdiff_t digits = p_ - start;
        if (digits == 0 || (*start == '0' && digits > 1)) return false;
        if (p_ < end_ && std::strchr(".eE0123456789", *p_) != nullptr && *p_ != '\0') return false;
        if (value != nullptr) *value = negative ? -n : n;
        return true;
    }

    bool DatabaseList(ScannedImage* out) {
        if (!Eat('[')) return false;
        if (Eat(']')) return true;
        do {
            out->databases.emplace_back();
            if (!Database(&out->databases.back())) return false;
        } while (Eat(','));
        return Eat(']');
    }

    bool Database(ScannedDatabase* db) {
        return ObjectAround("records", &db->text, [&] {
            // The field list must be known, so "id" (and "fields") come first.
            if (db->text.find("\"id\":") == std::string::npos) return false;
            db->head = ReadHeadText(db->text + '}');
            return Records(db);
        });
    }

    bool Records(ScannedDatabase* db) {
        Space();
        db->span.begin = static_cast<size_t>(p_ - begin_);
        if (!Eat('[')) return false;
        if (!Eat(']')) {
            do {
                db->records.emplace_back();
                Space();
                const size_t begin = static_cast<size_t>(p_ - begin_);
                if (!RecordObject(db->head, &db->records.back())) return false;
                if (defer_) db->recordSpans.push_back({begin, static_cast<size_t>(p_ - begin_)});
            } while (Eat(','));
            if (!Eat(']')) return false;
        }
        db->span.end = static_cast<size_t>(p_ - begin_);
        return true;
    }

    bool Values(const DatabaseHead& head, Record* r) {
        if (!Eat('{')) return false;
        if (Eat('}')) return true;
        size_t hint = 0;  // fields are written in their list's order
        std::string_view key;
        do {
            if (!Key(&key)) return false;
            size_t field = hint;
            if (field >= head.fields.size() || head.fields[field].name != key) {
                const auto found = head.index.find(std::string(key));
                if (found == head.index.end()) return false;
                field = found->second;
            }
            hint = field + 1;
            if (!Value(head.fields[field].type, defer_ ? &scratch_ : &r->values[field])) return false;
        } while (Eat(','));
        return Eat('}');
    }

    bool Value(uint32_t type, LinkValue* v) {
        Space();
        v->absent = false;
        v->bytes.clear();  // the scratch value keeps its room
        if (p_ == end_) return false;
        if (*p_ == '"') return StringValue(type, v);
        if (*p_ == 'n') {
            v->absent = true;
            return Skip(0);
        }
        if (*p_ == '{') return HexOrOle(v);
        int64_t n = 0;
        const size_t width = IntegerWidth(type);
        if (width == 0 || !WholeNumber(&n)) return false;
        for (size_t i = 0; i < width; ++i) v->bytes.push_back(static_cast<uint8_t>(n >> (8 * i)));
        return true;
    }

    // Device text: each character U+0000 to U+00FF is one byte.
    bool StringValue(uint32_t type, LinkValue* v) {
        ++p_;
        // A deferred scan only checks a text; its bytes are read when the
        // record is.
        if (defer_ && type == kLinkText) return StringBytes([](uint8_t) {});
        std::vector<uint8_t>& bytes = v->bytes;
        // Room for the text up to the next quote, which its bytes take at
        // most unless it holds an escaped quote: one allocation, not one
        // at every doubling.  The scratch value of a deferred scan soon has
        // room for any.
        const void* quote = defer_ ? nullptr : std::memchr(p_, '"', static_cast<size_t>(end_ - p_));
        if (quote != nullptr) bytes.reserve(static_cast<size_t>(static_cast<const char*>(quote) - p_));
        if (!StringBytes([&bytes](uint8_t byte) { bytes.push_back(byte); })) return false;
        if (bytes.empty() || type == kLinkText) return true;
        double d = 0;
        if (!IsDateType(type) || !ParseDate(type, std::string(bytes.begin(), bytes.end()), &d)) return false;
        v->bytes.assign(8, 0);
        std::memcpy(v->bytes.data(), &d, 8);
        return true;
    }
    // A string's bytes up to and past its closing quote, each given to put.
    template <typename Put>
    bool StringBytes(Put put) {
        while (p_ < end_ && *p_ != '"') {
            const unsigned char c = static_cast<unsigned char>(*p_++);
            if (c >= 0x20 && c < 0x80 && c != '\\') {
                put(c);
            } else if ((c == 0xC2 || c == 0xC3) && p_ < end_ && (static_cast<unsigned char>(*p_) & 0xC0) == 0x80) {
                put(static_cast<uint8_t>((c << 6) | (static_cast<unsigned char>(*p_++) & 0x3F)));
            } else if (c == '\\' && p_ < end_) {
                int byte = Escaped(*p_++);
                if (byte < 0) return false;
                put(static_cast<uint8_t>(byte));
            } else {
                return false;
            }
        }
        return p_++ != end_;
    }
    // The byte an escape stands for; -1 beyond single-byte characters.
    int Escaped(char e) {
        static const char kShort[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
        for (size_t i = 0; i + 1 < sizeof kShort; i += 2)
            if (kShort[i] == e) return static_cast<unsigned char>(kShort[i + 1]);
        if (e != 'u' || end_ - p_ < 4 || p_[0] != '0' || p_[1] != '0') return -1;
        int byte = 0;
        for (int i = 2; i < 4; ++i) {
            const int digit = HexDigit(p_[i]);
            if (digit < 0) return -1;
            byte = byte * 16 + digit;
        }
        p_ += 4;
        return byte;
    }

    // {"hex": "0a1b..."} or, for a date, {"ole": d}, and nothing else.
    bool HexOrOle(LinkValue* v) {
        ++p_;
        std::string key;
        if (!Key(&key)) return false;
        Space();
        const char* start = p_;
        if (key == "hex") {
            if (!SkipString()) return false;
            v->bytes = Unhex(std::string(start + 1, p_ - 1));
        } else if (key == "ole") {
            while (p_ < end_ && std::strchr("-+.eE0123456789", *p_) != nullptr && *p_ != '\0') ++p_;
            const double d = nlohmann::ordered_json::parse(start, p_).get<double>();
            v->bytes.resize(8);
            std::memcpy(v->bytes.data(), &d, 8);
        } else {
            return false;
        }
        return Eat('}');
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    const bool defer_;
    LinkValue scratch_;
};

}  // namespace

bool ScanPlainImage(std::string_view text, ScannedImage* out, bool deferValues) {
    try {
        PlainScanner scanner(text.data(), text.data() + text.size(), deferValues);
        return scanner.Image(out);
    } catch (const std::exception&) {
        return false;
    }
}

bool ScanRecordValues(std::string_view text, RecordsSpan span, const DatabaseHead& head, Record* out) {
    if (span.begin > span.end || span.end > text.size()) return false;
    try {
        PlainScanner scanner(text.data() + span.begin, text.data() + span.end, false);
        return scanner.RecordObject(head, out);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace tethra_sim
