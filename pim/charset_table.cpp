// The device's character sets without iconv: WINDOWS-1252 and ISO-8859-1
// by table, for builds on systems that have no iconv (Windows).
#include <string.h>
#include <strings.h>

#include "pim/charset.h"

namespace morvane_pim {

namespace {

// WINDOWS-1252's 0x80..0x9F; 0 where the set defines no character.
static const uint16_t kWindows1252High[32] = {
    // 0x80
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    // 0x88
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    // 0x90
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    // 0x98
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// Which table a set name selects: 1252, 8859-1 or neither.
int TableOf(const std::string& charset) {
    static const char* const kWindows[] = {"WINDOWS-1252", "CP1252", "MS-ANSI"};
    static const char* const kLatin1[] = {"ISO-8859-1", "ISO8859-1", "LATIN1", "L1"};
    for (const char* name : kWindows)
        if (strcasecmp(charset.c_str(), name) == 0) return 1252;
    for (const char* name : kLatin1)
        if (strcasecmp(charset.c_str(), name) == 0) return 88591;
    return 0;
}

uint32_t CodeOf(unsigned char byte, int table) {
    if (table == 1252 && byte >= 0x80 && byte < 0xA0) {
        const uint16_t code = kWindows1252High[byte - 0x80];
        return code != 0 ? code : 0xFFFD;
    }
    return byte;
}

// Reads one code point of valid UTF-8 at text[*i] and steps past it.
uint32_t NextCode(const std::string& text, size_t* i) {
    const unsigned char c = static_cast<unsigned char>(text[*i]);
    size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (size_t k = 1; k <= extra && *i + k < text.size(); ++k)
        code = (code << 6) | (static_cast<unsigned char>(text[*i + k]) & 0x3F);
    *i += extra + 1;
    return code;
}

}  // namespace

bool DeviceToUtf8(const std::string& text, const std::string& charset, std::string* out) {
    out->clear();
    const int table = TableOf(charset);
    if (table == 0) return false;
    for (unsigned char c : text) AppendUtf8(CodeOf(c, table), out);
    return true;
}

bool Utf8ToDevice(const std::string& text, const std::string& charset, std::string* out, bool* lossy) {
    out->clear();
    *lossy = false;
    const int table = TableOf(charset);
    if (table == 0) return false;
    if (!IsValidUtf8(text)) {
        // Bytes that are not UTF-8 are taken as Latin-1, so nothing is dropped.
        *out = text;
        return true;
    }
    for (size_t i = 0; i < text.size();) {
        const uint32_t code = NextCode(text, &i);
        int byte = code < 0x80 || (code >= 0xA0 && code < 0x100) ? static_cast<int>(code) : -1;
        if (table == 88591 && code >= 0x80 && code < 0xA0) byte = static_cast<int>(code);
        for (int k = 0; byte < 0 && table == 1252 && k < 32; ++k)
            if (kWindows1252High[k] == code) byte = 0x80 + k;
        if (byte < 0) *lossy = true;
        out->push_back(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return true;
}

}  // namespace morvane_pim
