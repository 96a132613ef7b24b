// Writing records as JSON, the byte and character conversions, and the
// checks a record to import must pass.  Reading is record_json_read.cpp.
#include "records/record_json.h"

#include <string.h>

namespace morvane_host {

namespace {

const char kHexDigits[] = "0123456789abcdef";

void AppendNumber(std::string* out, int64_t value) { *out += std::to_string(value); }

// The fixed-size texts of a repeat rule end at their first NUL or at their size.
std::string FixedText(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

void AppendRepeat(std::string* out, const RepeatInfo& repeat, const char* space) {
    *out += "{\"isRepeating\":";
    *out += space;
    AppendNumber(out, repeat.isRepeating);
    *out += std::string(",") + space + "\"repeatPeriod\":" + space;
    AppendNumber(out, repeat.repeatPeriod);
    *out += std::string(",") + space + "\"repeatCount\":" + space;
    AppendNumber(out, repeat.repeatCount);
    *out += std::string(",") + space + "\"deleteFlag\":" + space;
    AppendNumber(out, repeat.deleteFlag);
    *out += std::string(",") + space + "\"startDate\":" + space;
    AppendJsonString(out, FixedText(repeat.startDate, sizeof repeat.startDate));
    *out += std::string(",") + space + "\"endDate\":" + space;
    AppendJsonString(out, FixedText(repeat.endDate, sizeof repeat.endDate));
    *out += std::string(",") + space + "\"weekDays\":" + space + "[";
    for (size_t i = 0; i < sizeof repeat.weekDays; ++i) {
        if (i > 0) *out += ",";
        AppendNumber(out, repeat.weekDays[i]);
    }
    *out += "]}";
}

// {"3":"20261208","7":"Project review"}
void AppendFieldObject(std::string* out, const HostRecord& record, bool utf8) {
    *out += '{';
    for (size_t i = 0; i < record.fields.size(); ++i) {
        if (i > 0) *out += ',';
        AppendJsonString(out, record.fields[i].first);
        *out += ':';
        AppendJsonText(out, record.fields[i].second, utf8);
    }
    *out += '}';
}

// One field a line, each naming its device field.
void AppendFieldList(std::string* out, const HostDatabase& database, const HostRecord& record, bool utf8) {
    *out += '[';
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const HostField* known = FindField(database, record.fields[i].first);
        *out += i > 0 ? ",\n        {\"field\": " : "\n        {\"field\": ";
        AppendJsonString(out, record.fields[i].first);
        *out += ", \"device\": ";
        AppendJsonString(out, known != nullptr ? known->deviceName : "");
        *out += ", \"value\": ";
        AppendJsonText(out, record.fields[i].second, utf8);
        *out += '}';
    }
    *out += record.fields.empty() ? "]" : "\n      ]";
}

}  // namespace

std::string BytesToUtf8(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string Utf8ToBytes(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            continue;
        }
        const size_t extra = (c >= 0xF0) ? 3 : (c >= 0xE0) ? 2 : 1;
        if (c >= 0xC0 && c < 0xC4 && i + 1 < text.size())
            bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
        else
            bytes += '?';
        i += extra;
    }
    return bytes;
}

// Runs of characters that need nothing are appended in one step: most
// field texts are plain ASCII.
void AppendJsonString(std::string* out, const std::string& bytes) { AppendJsonText(out, bytes, false); }

void AppendJsonText(std::string* out, const std::string& bytes, bool utf8) {
    *out += '"';
    const char* data = bytes.data();
    size_t plain = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if ((c >= 0x20 && c < 0x80 && c != '"' && c != '\\') || (utf8 && c >= 0x80)) continue;
        out->append(data + plain, i - plain);
        plain = i + 1;
        if (c >= 0x80) {
            *out += static_cast<char>(0xC0 | (c >> 6));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c == '"' || c == '\\') {
            *out += '\\';
            *out += static_cast<char>(c);
        } else if (c == '\n') {
            *out += "\\n";
        } else if (c == '\r') {
            *out += "\\r";
        } else if (c == '\t') {
            *out += "\\t";
        } else {
            *out += "\\u00";
            *out += kHexDigits[c >> 4];
            *out += kHexDigits[c & 0x0F];
        }
    }
    out->append(data + plain, bytes.size() - plain);
    *out += '"';
}

void AppendRecordJson(std::string* out, const HostDatabase& database, const HostRecord& record, RecordLayout layout,
                      ValueForm values) {
    const bool utf8 = values == ValueForm::kUtf8;
    const bool file = layout == RecordLayout::kFile;
    const char* space = file ? " " : "";
    *out += file ? "    {\n      \"id\": " : "{\"id\":";
    AppendNumber(out, record.id);
    *out += file ? ", \"status\": " : ",\"status\":";
    AppendNumber(out, record.status);
    *out += file ? ",\n      \"fields\": " : ",\"fields\":";
    if (file)
        AppendFieldList(out, database, record, utf8);
    else
        AppendFieldObject(out, record, utf8);
    if (record.hasRepeat) {
        *out += file ? ",\n      \"repeat\": " : ",\"repeat\":";
        AppendRepeat(out, record.repeat, space);
    }
    if (record.hasFolder) {
        *out += file ? ",\n      \"folder\": " : ",\"folder\":";
        AppendNumber(out, record.folder);
    }
    if (!record.action.empty()) {
        *out += file ? ",\n      \"action\": " : ",\"action\":";
        AppendJsonString(out, record.action);
    }
    *out += file ? "\n    }" : "}";
}

bool CheckImportRecord(const HostDatabase& database, const HostRecord& record, size_t place, std::string* error) {
    const std::string which = "record " + std::to_string(place) + " (id " + std::to_string(record.id) + ")";
    for (const auto& field : record.fields) {
        if (FindField(database, field.first) == nullptr) {
            *error = which + ": the " + database.name + " database has no field \"" + field.first + "\"";
            return false;
        }
        if (field.second.size() > kMaxFieldCharacters) {
            *error = which + ": field \"" + field.first + "\" holds " + std::to_string(field.second.size()) +
                     " characters, more than the " + std::to_string(kMaxFieldCharacters) + " a field holds";
            return false;
        }
    }
    return true;
}

}  // namespace morvane_host
