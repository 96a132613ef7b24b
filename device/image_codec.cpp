// How link values are spelt in an image file.
#include "device/image_codec.h"

#include "device/simulator.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tethra_sim {

const char* const kEffectNames[5] = {"fail", "zeroCount", "nullLists", "nullValues", "shortRecords"};

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> Unhex(const std::string& text) {
    if (text.size() % 2 != 0) throw std::runtime_error("odd hex text: " + text);
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) throw std::runtime_error("bad hex text: " + text);
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

void UnhexInto(const std::string& text, uint8_t* out, size_t n) {
    std::vector<uint8_t> bytes = Unhex(text);
    if (bytes.size() != n) throw std::runtime_error("expected " + std::to_string(n) + " bytes: " + text);
    std::memcpy(out, bytes.data(), n);
}

std::vector<uint8_t> Utf8ToBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size());
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

// Appends three numbers: the first of width digits, the others of two,
// with sep between them; none has more digits than that.
static void PutThree(std::string* text, int first, int width, int second, int third, char sep) {
    char digits[10];
    int at = 0;
    const int values[3] = {first, second, third}, widths[3] = {width, 2, 2};
    for (int k = 0; k < 3; ++k) {
        if (k != 0) digits[at++] = sep;
        for (int i = widths[k] - 1, value = values[k]; i >= 0; --i, value /= 10)
            digits[at + i] = static_cast<char>('0' + value % 10);
        at += widths[k];
    }
    text->append(digits, static_cast<size_t>(at));
}

static std::string FormatDate(uint32_t type, const CivilTime& t) {
    // The common dates by hand: an image of many dates spent much of its
    // writing in snprintf.
    const bool small = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 && t.day >= 0 && t.day <= 99 &&
                       t.hour >= 0 && t.hour <= 99 && t.minute >= 0 && t.minute <= 99 && t.second >= 0 &&
                       t.second <= 99;
    if (small) {
        std::string text;
        if (type != kLinkTime) PutThree(&text, t.year, 4, t.month, t.day, '-');
        if (type == kLinkDateTime) text += 'T';
        if (type != kLinkDate) PutThree(&text, t.hour, 2, t.minute, t.second, ':');
        return text;
    }
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

// The number the digits at text[at, at + n) spell.
static int Digits(const std::string& text, size_t at, size_t n) {
    int value = 0;
    for (size_t i = at; i < at + n; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

// The form this simulator writes, every number at its place: read without
// sscanf, which an image of many dates spent much of its reading in.
static bool ParseWrittenDate(uint32_t type, const std::string& text, CivilTime* t) {
    const char* const shape = type == kLinkDate ? "0000-00-00" : type == kLinkTime ? "00:00:00" : "0000-00-00T00:00:00";
    if (text.size() != std::strlen(shape)) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if ((shape[i] == '0') != (text[i] >= '0' && text[i] <= '9') || (shape[i] != '0' && shape[i] != text[i]))
            return false;
    const size_t clock = type == kLinkTime ? 0 : 11;
    if (type != kLinkTime) {
        t->year = Digits(text, 0, 4);
        t->month = Digits(text, 5, 2);
        t->day = Digits(text, 8, 2);
    }
    if (type != kLinkDate) {
        t->hour = Digits(text, clock, 2);
        t->minute = Digits(text, clock + 3, 2);
        t->second = Digits(text, clock + 6, 2);
    }
    return true;
}

bool ParseDate(uint32_t type, const std::string& text, double* out) {
    CivilTime t{1899, 12, 30, 0, 0, 0};
    int n = 0, used = 0;
    if (ParseWrittenDate(type, text, &t)) {
        n = 1;
        used = static_cast<int>(text.size());
    } else if (type == kLinkDate)
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

bool ReadableDate(uint32_t type, double value, std::string* text) {
    CivilTime t;
    double again = 0;
    if (!OleToCivil(value, &t)) return false;
    *text = FormatDate(type, t);
    return ParseDate(type, *text, &again) && std::memcmp(&again, &value, sizeof value) == 0;
}

bool IsDateType(uint32_t type) { return type == kLinkDate || type == kLinkTime || type == kLinkDateTime; }

size_t IntegerWidth(uint32_t type) {
    return type == kLinkByte ? 1 : type == kLinkShort ? 2 : type == kLinkNumber ? 4 : 0;
}

}  // namespace tethra_sim
