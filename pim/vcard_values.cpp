#include "pim/vcard_values.h"

#include <stdint.h>

namespace morvane_pim {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Calls lineBreak() for each line break of text (CR LF, lone CR or lone
// LF) and other(c) for every other byte.
template <typename LineBreak, typename Other>
void EachCharacter(const std::string& text, LineBreak lineBreak, Other other) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lineBreak();
        } else {
            other(c);
        }
    }
}

}  // namespace

std::string EscapeVcardText(const std::string& text) {
    bool plain = true;  // most values: nothing to escape
    for (char c : text) plain = plain && c != '\\' && c != ';' && c != ',' && c != '\r' && c != '\n';
    if (plain) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    EachCharacter(
        text, [&] { out += "\\n"; },
        [&](char c) {
            if (c == '\\' || c == ';' || c == ',') out.push_back('\\');
            out.push_back(c);
        });
    return out;
}

std::string RewrittenPart(const std::string& escaped, int version) {
    std::string out;
    out.reserve(escaped.size() + 1);
    for (size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        const bool breakNext = i + 1 < escaped.size() && (escaped[i + 1] == '\r' || escaped[i + 1] == '\n');
        if (c == '\\' && i + 1 < escaped.size() && !breakNext) {  // an escape pair, kept as it is
            out.push_back(c);
            out.push_back(escaped[++i]);
        } else if (c == '\\') {  // a backslash of its own, before a line break or the end
            out += "\\\\";
        } else if (version != kVcard21 && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
            out += "\\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string EscapeVcard21Text(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    EachCharacter(
        text, [&] { out += "\r\n"; },
        [&](char c) {
            if (c == '\\' || c == ';') out.push_back('\\');
            out.push_back(c);
        });
    return out;
}

std::string UnescapeVcardText(const std::string& raw, int version) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c != '\\' || i + 1 == raw.size()) {
            out.push_back(c);
            continue;
        }
        const char next = raw[i + 1];
        if (next == '\\' || next == ';' || next == ',') {
            out.push_back(next);
            ++i;
        } else if (version != kVcard21 && (next == 'n' || next == 'N')) {
            out.push_back('\n');
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::string> SplitEscaped(const std::string& raw, char separator) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            pieces.back() += raw.substr(i, 2);
            ++i;
        } else if (raw[i] == separator) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(raw[i]);
        }
    }
    return pieces;
}

bool DecodeQuotedPrintable(const std::string& in, std::string* out) {
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out->push_back(in[i]);
            continue;
        }
        // A soft line break: "=" then optional white space, then the line end.
        size_t j = i + 1;
        while (j < in.size() && (in[j] == ' ' || in[j] == '\t')) ++j;
        if (j == in.size() || in[j] == '\r' || in[j] == '\n') {
            if (j < in.size() && in[j] == '\r') ++j;
            if (j < in.size() && in[j] == '\n') ++j;
            i = j - 1;
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int high = HexDigit(in[i + 1]);
        const int low = HexDigit(in[i + 2]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::string EncodeQuotedPrintable(const std::string& bytes, size_t firstLineUsed, const std::string& lineEnd) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t used = firstLineUsed;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        char piece[4] = {static_cast<char>(c), 0, 0, 0};
        if (c < 0x20 || c >= 0x7F || c == '=') {
            piece[0] = '=';
            piece[1] = kHex[c >> 4];
            piece[2] = kHex[c & 0x0F];
        }
        const std::string encoded(piece);
        // Room for the piece and the "=" of a soft break after it.
        if (used + encoded.size() + 1 > 75) {
            out += "=" + lineEnd;
            used = 0;
        }
        out += encoded;
        used += encoded.size();
    }
    return out;
}

bool DecodeBase64(const std::string& in, std::string* out) {
    out->clear();
    uint32_t bits = 0;
    int count = 0;
    int padding = 0;
    for (char c : in) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int digit = Base64Digit(c);
        if (digit < 0 || padding > 0) return false;
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        if (++count == 4) {
            out->push_back(static_cast<char>(bits >> 16));
            out->push_back(static_cast<char>((bits >> 8) & 0xFF));
            out->push_back(static_cast<char>(bits & 0xFF));
            bits = 0;
            count = 0;
        }
    }
    // A last group of two or three digits holds one or two bytes.
    if (count == 1 || padding > 2) return false;
    if (count == 2) out->push_back(static_cast<char>(bits >> 4));
    if (count == 3) {
        out->push_back(static_cast<char>(bits >> 10));
        out->push_back(static_cast<char>((bits >> 2) & 0xFF));
    }
    return true;
}

}  // namespace morvane_pim
