#include "pim/vcard_card.h"

#include <strings.h>

#include "pim/charset.h"

namespace morvane_pim {

namespace {

std::string TrimmedValue(const VcardLine& line) {
    const size_t first = line.value.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return line.value.substr(first, line.value.find_last_not_of(" \t") - first + 1);
}

bool Is(const VcardLine& line, const char* name, const char* value) {
    return line.name == name && strcasecmp(TrimmedValue(line).c_str(), value) == 0;
}

// The line end the text uses first; CR LF for a text of one line.
std::string LineEndOf(const std::string& text) {
    const size_t stop = text.find_first_of("\r\n");
    if (stop == std::string::npos) return "\r\n";
    if (text[stop] == '\n') return "\n";
    return stop + 1 < text.size() && text[stop + 1] == '\n' ? "\r\n" : "\r";
}

bool Fail(uint32_t line, const std::string& why, uint32_t* errorLine, std::string* reason) {
    *errorLine = line;
    *reason = why;
    return false;
}

// BEGIN:VCARD first, END:VCARD last, nothing after it, one VERSION known.
bool CheckFrame(Vcard* card, uint32_t* errorLine, std::string* reason) {
    const std::vector<VcardLine>& lines = card->lines;
    if (lines.empty()) return Fail(0, "no vCard: the item is empty", errorLine, reason);
    if (!Is(lines[0], "BEGIN", "VCARD"))
        return Fail(lines[0].line, "does not start with BEGIN:VCARD", errorLine, reason);
    size_t end = 0;
    for (size_t i = 1; i < lines.size() && end == 0; ++i) {
        if (lines[i].name == "BEGIN") return Fail(lines[i].line, "a BEGIN inside the vCard", errorLine, reason);
        if (Is(lines[i], "END", "VCARD")) end = i;
    }
    if (end == 0) return Fail(lines.back().line, "the vCard ends without END:VCARD (cut short?)", errorLine, reason);
    if (end + 1 < lines.size()) {
        const bool second = Is(lines[end + 1], "BEGIN", "VCARD");
        return Fail(lines[end + 1].line, second ? "a second vCard; an item holds one" : "text after END:VCARD",
                    errorLine, reason);
    }
    for (const VcardLine& line : lines) {
        if (line.name != "VERSION") continue;
        const std::string version = TrimmedValue(line);
        if (version == "2.1") card->version = kVcard21;
        else if (version == "3.0") card->version = kVcard30;
        else if (version == "4.0") card->version = kVcard40;
        else return Fail(line.line, "unknown VERSION '" + version.substr(0, 20) + "'", errorLine, reason);
        return true;
    }
    return Fail(lines[0].line, "the vCard has no VERSION", errorLine, reason);
}

}  // namespace

bool ParseVcard(const std::string& text, Vcard* card, uint32_t* errorLine, std::string* reason) {
    *card = Vcard();
    // A byte order mark, as some Windows programs write, is no content.
    const size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (!ParseVcardLines(text, start, &card->lines, errorLine, reason)) return false;
    if (!CheckFrame(card, errorLine, reason)) return false;
    card->lineEnd = LineEndOf(text);
    if (card->version == kVcard21) return true;  // 2.1 names its character sets line by line
    for (const VcardLine& line : card->lines)
        if (!IsValidUtf8(line.head) || !IsValidUtf8(line.value))
            return Fail(line.line, "not UTF-8", errorLine, reason);
    return true;
}

bool DecodeVcardValue(const VcardLine& line, int version, std::string* text, bool* guessed, std::string* reason) {
    *guessed = false;
    const std::string how = VcardEncoding(line);
    std::string bytes;
    if (IsQuotedPrintableEncoding(how)) {
        if (!DecodeQuotedPrintable(line.value, &bytes)) {
            *reason = "malformed quoted-printable value";
            return false;
        }
    } else if (IsBase64Encoding(how)) {
        if (!DecodeBase64(line.value, &bytes)) {
            *reason = "malformed base64 value";
            return false;
        }
    } else if (how.empty() || strcasecmp(how.c_str(), "8BIT") == 0 || strcasecmp(how.c_str(), "7BIT") == 0) {
        bytes = line.value;
    } else {
        *reason = "unknown ENCODING '" + how.substr(0, 20) + "'";
        return false;
    }
    const VcardParam* charset = FindVcardParam(line, "CHARSET");
    const std::string set = charset != nullptr && !charset->values.empty() ? charset->values[0] : std::string();
    if (!set.empty() && strcasecmp(set.c_str(), "UTF-8") != 0) {
        if (!DeviceToUtf8(bytes, set, text)) {
            *reason = "unknown CHARSET '" + set.substr(0, 20) + "'";
            return false;
        }
        return true;
    }
    if (IsValidUtf8(bytes)) {
        *text = bytes;
        return true;
    }
    if (version != kVcard21 || !set.empty()) {
        *reason = "not UTF-8";
        return false;
    }
    *guessed = true;
    return DeviceToUtf8(bytes, "WINDOWS-1252", text);
}

}  // namespace morvane_pim
