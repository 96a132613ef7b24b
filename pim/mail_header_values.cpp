// The values of single headers: address lists, unstructured text, the
// date, the priority, and the values of our own X-Morvane headers.
#include <stdio.h>
#include <string.h>

#include <mutex>
#include <string>
#include <vector>

#include "pim/charset.h"
#include "pim/mail_codec.h"

namespace morvane_pim {
namespace mail {

namespace {

// X-Priority: 1 highest, 3 normal, 5 lowest.  The device's default (no
// value) reads as host priority 1, so 1 is normal, 0 high and 2 low.
struct PriorityName {
    const char* host;
    const char* header;
};
static const PriorityName kPriorities[] = {
    // 0
    {"0", "1 (Highest)"},
    {"1", "3 (Normal)"},
    {"2", "5 (Lowest)"},
    {"3", "5 (Lowest)"},
    {"4", "5 (Lowest)"},
};

// The host priority each X-Priority digit 1..5 stands for.
static const char* const kHostPriority[] = {"0", "0", "1", "2", "2"};

std::string Owned(char* text) {
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

// A header holds one line: line breaks become blanks.
std::string OneLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i] == '\r' || text[i] == '\n' ? ' ' : text[i]);
    }
    return out;
}

// Base64 encoded words of UTF-8 text, at most 45 bytes each and never
// through a character, separated by blanks.
std::string EncodedWords(const std::string& text) {
    std::string out;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = begin + 45 < text.size() ? begin + 45 : text.size();
        while (end > begin + 1 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        char* base64 = g_base64_encode(reinterpret_cast<const guchar*>(text.data() + begin), end - begin);
        if (!out.empty()) out += ' ';
        out += "=?UTF-8?B?" + Owned(base64) + "?=";
        begin = end;
    }
    return out;
}

std::string TextLines(const char* header, const std::string& text) {
    const std::string line = OneLine(text);
    if (line.empty()) return "";
    std::string encoded = Owned(g_mime_utils_header_encode_text(nullptr, line.c_str(), "UTF-8"));
    // A word too long for a header line goes as encoded words, which fold.
    size_t run = 0;
    for (char c : encoded) {
        run = c == ' ' ? 0 : run + 1;
        if (run > 900) {
            encoded = EncodedWords(line);
            break;
        }
    }
    return FoldHeaderLine(std::string(header) + ": " + encoded);
}

std::string AddressLines(const char* header, const std::string& text) {
    const std::string line = OneLine(text);
    if (line.empty()) return "";
    InternetAddressList* list = internet_address_list_parse(nullptr, line.c_str());
    std::string lines;
    if (list != nullptr && internet_address_list_length(list) > 0) {
        GString* out = g_string_new((std::string(header) + ": ").c_str());
        internet_address_list_encode(list, nullptr, out);
        lines.assign(out->str, out->len);
        g_string_free(out, TRUE);
    }
    if (list != nullptr) g_object_unref(list);
    // What is no address list (a phone number with blanks) or needs 8-bit
    // bytes goes as plain text, encoded where it is not ASCII.
    if (lines.empty() || !IsAscii(lines)) return TextLines(header, line);
    return lines;
}

std::string ReadAddress(const std::string& value) {
    InternetAddressList* list = internet_address_list_parse(nullptr, value.c_str());
    std::string text;
    if (list != nullptr) {
        if (internet_address_list_length(list) > 0) text = Owned(internet_address_list_to_string(list, nullptr, FALSE));
        g_object_unref(list);
    }
    if (text.empty() || text.find("=?") != std::string::npos)
        text = Owned(g_mime_utils_header_decode_text(nullptr, value.c_str()));
    return text;
}

bool Digits(const std::string& text, size_t count) {
    if (text.size() != count) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string DateLines(const std::string& date, const std::string& time, GTimeZone* zone) {
    if (!Digits(date, 8) || !(time.empty() || Digits(time, 4))) return "";
    const int year = atoi(date.substr(0, 4).c_str()), month = atoi(date.substr(4, 2).c_str()),
              day = atoi(date.substr(6, 2).c_str());
    const int hour = time.empty() ? 0 : atoi(time.substr(0, 2).c_str());
    const int minute = time.empty() ? 0 : atoi(time.substr(2, 2).c_str());
    if (!g_date_valid_dmy(static_cast<GDateDay>(day), static_cast<GDateMonth>(month), static_cast<GDateYear>(year)) ||
        hour > 23 || minute > 59)
        return "";
    GDateTime* moment = g_date_time_new(zone, year, month, day, hour, minute, 0);
    if (moment == nullptr) return "";
    const std::string text = Owned(g_mime_utils_header_format_date(moment));
    g_date_time_unref(moment);
    return "Date: " + text + "\n";
}

std::vector<std::string> ReadDate(const std::string& value, GTimeZone* zone) {
    GDateTime* moment = g_mime_utils_header_decode_date(value.c_str());
    if (moment == nullptr) return {"", ""};
    GDateTime* local = g_date_time_to_timezone(moment, zone);
    g_date_time_unref(moment);
    if (local == nullptr) return {"", ""};
    char date[16], time[8];
    snprintf(date, sizeof date, "%04d%02d%02d", g_date_time_get_year(local), g_date_time_get_month(local),
             g_date_time_get_day_of_month(local));
    snprintf(time, sizeof time, "%02d%02d", g_date_time_get_hour(local), g_date_time_get_minute(local));
    g_date_time_unref(local);
    return {date, time};
}

std::string PriorityLines(const std::string& priority) {
    for (const PriorityName& name : kPriorities)
        if (priority == name.host) return std::string("X-Priority: ") + name.header + "\n";
    return "";
}

std::string ReadPriority(const std::string* value) {
    if (value != nullptr && !value->empty() && (*value)[0] >= '1' && (*value)[0] <= '5')
        return kHostPriority[(*value)[0] - '1'];
    return "1";  // none, or one we cannot read: normal
}

// A text our headers carry as it is: short, printable ASCII, no blank, no
// separator, nothing a decoder would take for an encoded word.
bool IsPlainToken(const std::string& text) {
    if (text.empty() || text.size() > 64 || text.find("=?") != std::string::npos) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c >= 0x7F || c == ';' || c == '"') return false;
    return true;
}

bool IsEncodedWord(const std::string& token) {
    return token.size() >= 12 && g_ascii_strncasecmp(token.c_str(), "=?UTF-8?B?", 10) == 0 &&
           token.compare(token.size() - 2, 2, "?=") == 0;
}

}  // namespace

std::string WriteHeaderValue(MailKind kind, const char* header, const std::vector<std::string>& values,
                             GTimeZone* zone) {
    switch (kind) {
        case MailKind::kAddress: return AddressLines(header, values[0]);
        case MailKind::kText: return TextLines(header, values[0]);
        case MailKind::kDate: return DateLines(values[0], values[1], zone);
        case MailKind::kPriority: return PriorityLines(values[0]);
        default: return "";
    }
}

std::vector<std::string> ReadHeaderValue(MailKind kind, const std::string* value, GTimeZone* zone) {
    switch (kind) {
        case MailKind::kAddress: return {value != nullptr ? ReadAddress(*value) : ""};
        case MailKind::kText:
            return {value != nullptr ? Owned(g_mime_utils_header_decode_text(nullptr, value->c_str())) : ""};
        case MailKind::kDate: return value != nullptr ? ReadDate(*value, zone) : std::vector<std::string>{"", ""};
        case MailKind::kPriority: return {ReadPriority(value)};
        default: return {""};
    }
}

// Texts separated by " ; ", each a plain token, "" for an empty text, or
// encoded words.
std::string EncodeOwnValues(const std::vector<std::string>& texts) {
    std::string out;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += " ; ";
        if (texts[i].empty())
            out += "\"\"";
        else
            out += IsPlainToken(texts[i]) ? texts[i] : EncodedWords(texts[i]);
    }
    return out;
}

std::vector<std::string> DecodeOwnValues(const std::string& value) {
    std::vector<std::string> texts(1);
    bool lastPlain = false;
    size_t at = 0;
    while (at < value.size()) {
        const size_t begin = value.find_first_not_of(" \t\r\n", at);
        if (begin == std::string::npos) break;
        size_t end = value.find_first_of(" \t\r\n", begin);
        if (end == std::string::npos) end = value.size();
        const std::string token = value.substr(begin, end - begin);
        at = end;
        if (token == ";") {
            texts.emplace_back();
            lastPlain = false;
        } else if (IsEncodedWord(token)) {
            gsize length = 0;
            guchar* bytes = g_base64_decode(token.substr(10, token.size() - 12).c_str(), &length);
            texts.back().append(reinterpret_cast<const char*>(bytes), length);
            g_free(bytes);
            lastPlain = false;
        } else if (token != "\"\"") {
            // Plain tokens another program split apart join with a blank.
            if (lastPlain) texts.back() += ' ';
            texts.back() += token;
            lastPlain = true;
        }
    }
    return texts;
}

std::string FoldHeaderLine(const std::string& line) {
    std::string out;
    size_t begin = 0;
    const size_t colon = line.find(':');
    while (line.size() - begin > 78) {
        // The last blank that keeps the line within 78 characters, past the
        // header's name; the blank starts the next line.
        size_t cut = line.rfind(' ', begin + 78);
        if (cut == std::string::npos || cut <= begin || cut <= colon + 1) {
            cut = line.find(' ', begin + 78);
            if (cut == std::string::npos) break;
        }
        out += line.substr(begin, cut - begin) + "\n";
        begin = cut;
    }
    return out + line.substr(begin) + "\n";
}

GTimeZone* DeviceZone(const Settings& settings) {
    // Working out a zone's rules takes longer than reading a message: the
    // last zone asked for is kept (a zone never changes, and GLib counts
    // its references atomically).
    static std::mutex mutex;
    static std::string name;
    static GTimeZone* zone = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (zone == nullptr || name != settings.timezone) {
        GTimeZone* found = settings.timezone.empty() ? g_time_zone_new_local()
                                                     : g_time_zone_new_identifier(settings.timezone.c_str());
        if (found == nullptr) return nullptr;
        if (zone != nullptr) g_time_zone_unref(zone);
        zone = found;
        name = settings.timezone;
    }
    return g_time_zone_ref(zone);
}

}  // namespace mail
}  // namespace morvane_pim
