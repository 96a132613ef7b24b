#include "pim/address_fields.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>

#include "pim/charset.h"

namespace morvane_pim {

namespace {

// Host field indexes (host field N is N - 1).
enum : int8_t {
    kFName, kMName, kLName, kPhoneB, kPhoneH,
    kPhoneM, kMailB, kMailH, kMailO, kSms,
    kPager, kFaxB, kFaxH, kCompany, kTitle,
    kZipB, kStateB, kCityB, kStreetB, kCountryB,
    kZipH, kStateH, kCityH, kStreetH, kCountryH,
    kUrl, kCustom1, kCustom2, kCustom3, kCustom4,
    kNote, kCategory, kSecret, kNickname, kSpouse,
    kHomePage, kDepartment, kBirthday, kAnniversary, kHomeMobile,
    kGender, kFNameYomi, kLNameYomi, kCompanyYomi,
};

#define NONE -1, -1, -1, -1, -1, -1
static const AddressProperty kProperties[] = {
    // 0: N is family;given;additional;prefix;suffix
    {"N", "", AddressShape::kComponents, {kLName, kFName, kMName, -1, -1, -1, -1}, "", nullptr},
    {"X-PHONETIC-FIRST-NAME", "", AddressShape::kText, {kFNameYomi, NONE}, "", nullptr},
    {"X-PHONETIC-LAST-NAME", "", AddressShape::kText, {kLNameYomi, NONE}, "", nullptr},
    {"NICKNAME", "", AddressShape::kText, {kNickname, NONE}, "", nullptr},
    {"ORG", "", AddressShape::kComponents, {kCompany, kDepartment, -1, -1, -1, -1, -1}, "", nullptr},
    // 5
    {"X-PHONETIC-ORG", "", AddressShape::kText, {kCompanyYomi, NONE}, "", nullptr},
    {"TITLE", "", AddressShape::kText, {kTitle, NONE}, "", nullptr},
    {"TEL", "WORK,VOICE", AddressShape::kText, {kPhoneB, NONE}, "", nullptr},
    {"TEL", "HOME,VOICE", AddressShape::kText, {kPhoneH, NONE}, "", nullptr},
    {"TEL", "CELL", AddressShape::kText, {kPhoneM, NONE}, "", nullptr},
    // 10
    {"TEL", "HOME,CELL", AddressShape::kText, {kHomeMobile, NONE}, "", nullptr},
    {"TEL", "WORK,FAX", AddressShape::kText, {kFaxB, NONE}, "", nullptr},
    {"TEL", "HOME,FAX", AddressShape::kText, {kFaxH, NONE}, "", nullptr},
    {"TEL", "PAGER", AddressShape::kText, {kPager, NONE}, "", nullptr},
    {"TEL", "TEXT", AddressShape::kText, {kSms, NONE}, "", nullptr},
    // 15
    {"EMAIL", "INTERNET,WORK", AddressShape::kText, {kMailB, NONE}, "", nullptr},
    {"EMAIL", "INTERNET,HOME", AddressShape::kText, {kMailH, NONE}, "", nullptr},
    {"EMAIL", "INTERNET", AddressShape::kText, {kMailO, NONE}, "", nullptr},
    // ADR is post office box;extended;street;locality;region;postal code;country
    {"ADR", "WORK", AddressShape::kComponents, {-1, -1, kStreetB, kCityB, kStateB, kZipB, kCountryB}, "", nullptr},
    {"ADR", "HOME", AddressShape::kComponents, {-1, -1, kStreetH, kCityH, kStateH, kZipH, kCountryH}, "", nullptr},
    // 20
    {"URL", "WORK", AddressShape::kText, {kUrl, NONE}, "", nullptr},
    {"URL", "HOME", AddressShape::kText, {kHomePage, NONE}, "", nullptr},
    {"BDAY", "", AddressShape::kDate, {kBirthday, NONE}, "", nullptr},
    {"X-ANNIVERSARY", "", AddressShape::kDate, {kAnniversary, NONE},
     "ANNIVERSARY|X-EVOLUTION-ANNIVERSARY|X-KADDRESSBOOK-X-ANNIVERSARY", "ANNIVERSARY"},
    {"X-GENDER", "", AddressShape::kGender, {kGender, NONE}, "GENDER", nullptr},
    // 25
    {"X-SPOUSE", "", AddressShape::kText, {kSpouse, NONE},
     "X-EVOLUTION-SPOUSE|X-KADDRESSBOOK-X-SPOUSESNAME|RELATED/SPOUSE", nullptr},
    {"CATEGORIES", "", AddressShape::kFirstOfList, {kCategory, NONE}, "", nullptr},
    {"CLASS", "", AddressShape::kClass, {kSecret, NONE}, "", nullptr},
    {"NOTE", "", AddressShape::kText, {kNote, NONE}, "", nullptr},
    {"X-MORVANE-CUSTOM1", "", AddressShape::kText, {kCustom1, NONE}, "", nullptr},
    // 30
    {"X-MORVANE-CUSTOM2", "", AddressShape::kText, {kCustom2, NONE}, "", nullptr},
    {"X-MORVANE-CUSTOM3", "", AddressShape::kText, {kCustom3, NONE}, "", nullptr},
    {"X-MORVANE-CUSTOM4", "", AddressShape::kText, {kCustom4, NONE}, "", nullptr},
};
#undef NONE

constexpr size_t kPropertyCount = sizeof(kProperties) / sizeof(kProperties[0]);

// Apple's and others' names for a mobile phone.
bool IsCell(const VcardLine& line) {
    return HasVcardType(line, "CELL") || HasVcardType(line, "MOBILE") || HasVcardType(line, "IPHONE");
}

// The TYPE values of the property a TEL, EMAIL, ADR or URL line feeds.
// RFC 2426's defaults decide what says nothing: a TEL is a voice line
// (the home phone, the personal number), an ADR a work address, an EMAIL
// the other address, a URL the work page.
const char* KinTypes(const VcardLine& line) {
    const bool home = HasVcardType(line, "HOME");
    const bool work = HasVcardType(line, "WORK");
    if (line.name == "TEL") {
        if (HasVcardType(line, "FAX")) return home && !work ? "HOME,FAX" : "WORK,FAX";
        if (HasVcardType(line, "PAGER")) return "PAGER";
        if (IsCell(line)) return home && !work ? "HOME,CELL" : "CELL";
        if (HasVcardType(line, "TEXT") || HasVcardType(line, "SMS")) return "TEXT";
        return work && !home ? "WORK,VOICE" : "HOME,VOICE";
    }
    if (line.name == "EMAIL") return work ? "INTERNET,WORK" : home ? "INTERNET,HOME" : "INTERNET";
    if (line.name == "ADR") return home && !work ? "HOME" : "WORK";
    if (line.name == "URL") return home && !work ? "HOME" : "WORK";
    return nullptr;
}

bool IsKin(const AddressProperty& property) {
    return property.types[0] != '\0';
}

// Whether line is the property's or one of its aliases ("NAME/TYPE" asks
// for that TYPE too); the rank says which (0 the property, 1 the first alias).
int AliasRank(const AddressProperty& property, const VcardLine& line) {
    if (line.name == property.name) return 0;
    int rank = 1;
    for (const char* alias = property.aliases; *alias != '\0'; ++rank) {
        const char* stop = strchr(alias, '|');
        const std::string entry = stop == nullptr ? std::string(alias) : std::string(alias, stop);
        const size_t slash = entry.find('/');
        if (line.name == entry.substr(0, slash) &&
            (slash == std::string::npos || HasVcardType(line, entry.substr(slash + 1).c_str())))
            return rank;
        alias = stop == nullptr ? alias + strlen(alias) : stop + 1;
    }
    return -1;
}

// The line each property is read from: for TEL, EMAIL, ADR and URL the
// preferred line of its kind, else the first; for the others the first
// line of the property itself, else of its first alias present.
void FindHomes(const Vcard& card, std::vector<int>* homes) {
    homes->assign(kPropertyCount, -1);
    std::vector<int> ranks(kPropertyCount, 1 << 20);
    for (size_t i = 0; i < card.lines.size(); ++i) {
        const VcardLine& line = card.lines[i];
        const char* kin = KinTypes(line);
        for (size_t p = 0; p < kPropertyCount; ++p) {
            const AddressProperty& property = kProperties[p];
            int rank = -1;
            if (IsKin(property)) {
                if (kin != nullptr && line.name == property.name && strcmp(kin, property.types) == 0)
                    rank = IsPreferredVcardLine(line) ? 0 : 1;
            } else {
                rank = AliasRank(property, line);
            }
            if (rank >= 0 && rank < ranks[p]) {
                ranks[p] = rank;
                (*homes)[p] = static_cast<int>(i);
            }
        }
    }
}

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (!isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// A decimal number, as the adapter writes a date field it cannot read as one.
bool IsDecimal(const std::string& s) {
    const size_t from = !s.empty() && s[0] == '-' ? 1 : 0;
    return s.size() > from && IsDigits(s, from, s.size() - from);
}

bool IsValueText(const VcardLine& line) {
    const VcardParam* value = FindVcardParam(line, "VALUE");
    return value != nullptr && !value->values.empty() && strcasecmp(value->values[0].c_str(), "text") == 0;
}

// A phone number as 4.0 writes it, a tel: URI (RFC 3966), as the number a
// person dials: "tel:+1-555-0100;ext=42" is "+1-555-0100 ext. 42"; the
// URI's other parameters say nothing a handheld could use.  Text that is
// no such URI stays as it is.
std::string DialledNumber(const std::string& text) {
    if (strncasecmp(text.c_str(), "tel:", 4) != 0) return text;
    const std::vector<std::string> parts = SplitEscaped(text.substr(4), ';');
    std::string number = parts[0];
    for (size_t i = 1; i < parts.size(); ++i)
        if (strncasecmp(parts[i].c_str(), "ext=", 4) == 0) number += " ext. " + parts[i].substr(4);
    return number;
}

// A vCard date as the device's yyyymmdd: 1988-03-14, 19880314, either with
// a time after it; a date without year (--0314) gets Apple's year 1604.
std::string DeviceDate(const std::string& raw, bool asText, std::string* warning) {
    const std::string t = Trimmed(raw);
    if (asText && IsDecimal(t)) return t;
    if (IsDigits(t, 0, 4) && t.size() >= 10 && t[4] == '-' && IsDigits(t, 5, 2) && t[7] == '-' && IsDigits(t, 8, 2) &&
        (t.size() == 10 || t[10] == 'T'))
        return t.substr(0, 4) + t.substr(5, 2) + t.substr(8, 2);
    if (IsDigits(t, 0, 8) && (t.size() == 8 || t[8] == 'T')) return t.substr(0, 8);
    if (t.compare(0, 2, "--") == 0 && IsDigits(t, 2, 2)) {
        const size_t day = t.size() > 4 && t[4] == '-' ? 5 : 4;
        if (IsDigits(t, day, 2)) {
            *warning = "'" + t + "' has no year; the device gets 1604";
            return "1604" + t.substr(2, 2) + t.substr(day, 2);
        }
    }
    *warning = "'" + t.substr(0, 40) + "' is no date the device can hold; left empty";
    return std::string();
}

// 4.0's GENDER: its sex letter, or else its identity text.
std::string DeviceGender(const std::string& decoded, int version) {
    const std::vector<std::string> parts = SplitEscaped(decoded, ';');
    const std::string sex = Trimmed(parts[0]);
    if (!sex.empty()) return UnescapeVcardText(sex, version);
    return parts.size() > 1 ? UnescapeVcardText(parts[1], version) : std::string();
}

// Every line break as LF (quoted-printable texts carry CR LF).
std::string WithLfLineEnds(const std::string& text) {
    if (text.find('\r') == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The device fields of one property from the line it is read from.
void ReadProperty(const AddressProperty& property, const VcardLine& line, const std::string& decoded, int version,
                  std::string* values, std::string* warning) {
    const int8_t field = property.fields[0];
    switch (property.shape) {
    case AddressShape::kComponents: {
        const std::vector<std::string> parts = SplitEscaped(decoded, ';');
        for (size_t k = 0; k < 7; ++k)
            if (property.fields[k] >= 0 && k < parts.size())
                values[property.fields[k]] = UnescapeVcardText(parts[k], version);
        break;
    }
    case AddressShape::kFirstOfList:
        values[field] = UnescapeVcardText(SplitEscaped(decoded, ',')[0], version);
        break;
    case AddressShape::kDate:
        values[field] = DeviceDate(UnescapeVcardText(decoded, version), IsValueText(line), warning);
        break;
    case AddressShape::kClass: {
        const std::string level = Trimmed(UnescapeVcardText(decoded, version));
        const bool secret = strcasecmp(level.c_str(), "PRIVATE") == 0 || strcasecmp(level.c_str(), "CONFIDENTIAL") == 0;
        values[field] = secret ? "1" : "0";
        break;
    }
    case AddressShape::kGender:
        values[field] = line.name == "GENDER" ? DeviceGender(decoded, version) : UnescapeVcardText(decoded, version);
        break;
    case AddressShape::kText:
        values[field] = UnescapeVcardText(decoded, version);
        if (line.name == "TEL") values[field] = DialledNumber(values[field]);
        break;
    }
}

std::string Where(const std::string& name, uint32_t line) {
    return name + ":" + std::to_string(line) + ": ";
}

}  // namespace

const AddressProperty* AddressProperties(size_t* count) {
    *count = kPropertyCount;
    return kProperties;
}

bool ReadAddressCard(const Vcard& card, const std::string& name, AddressReading* reading,
                     std::vector<std::string>* warnings, uint32_t* errorLine, std::string* reason) {
    *reading = AddressReading();
    reading->values[kSecret] = "0";
    FindHomes(card, &reading->homes);
    reading->decoded.assign(kPropertyCount, std::string());
    auto decode = [&](const VcardLine& line, std::string* text) {
        bool guessed = false;
        if (!DecodeVcardValue(line, card.version, text, &guessed, reason)) {
            *errorLine = line.line;
            return false;
        }
        if (guessed)
            warnings->push_back(Where(name, line.line) + line.name +
                                " names no character set and is not UTF-8: read as WINDOWS-1252");
        return true;
    };
    for (size_t p = 0; p < kPropertyCount; ++p) {
        if (reading->homes[p] < 0) continue;
        const VcardLine& line = card.lines[reading->homes[p]];
        if (!decode(line, &reading->decoded[p])) return false;
        std::string warning;
        ReadProperty(kProperties[p], line, reading->decoded[p], card.version, reading->values, &warning);
        if (!warning.empty()) warnings->push_back(Where(name, line.line) + line.name + " " + warning);
    }
    for (std::string& value : reading->values) value = WithLfLineEnds(value);
    std::string fn;
    for (size_t i = 0; i < card.lines.size(); ++i) {
        const VcardLine& line = card.lines[i];
        std::string text;
        if ((line.name == "UID" && reading->uid.empty()) || (line.name == "FN" && reading->fnLine < 0)) {
            if (!decode(line, &text)) return false;
            text = WithLfLineEnds(UnescapeVcardText(text, card.version));
        }
        if (line.name == "UID" && reading->uid.empty()) reading->uid = text;
        if (line.name == "FN" && reading->fnLine < 0) {
            reading->fnLine = static_cast<int>(i);
            fn = reading->fn = text;
        }
    }
    if (reading->homes[0] >= 0) {
        const std::vector<std::string> parts = SplitEscaped(reading->decoded[0], ';');
        if (parts.size() > 3) reading->namePrefix = UnescapeVcardText(parts[3], card.version);
        if (parts.size() > 4) reading->nameSuffix = UnescapeVcardText(parts[4], card.version);
    }
    // A vCard that names its person only in FN (4.0 needs no N) still gives
    // the device a name, unless FN merely repeats what other fields say.
    const bool named = !reading->values[kFName].empty() || !reading->values[kMName].empty() ||
                       !reading->values[kLName].empty();
    if (!named && !fn.empty() && fn != DeriveFormattedName(reading->values, "", "", reading->uid))
        reading->values[kFName] = fn;
    return true;
}

std::string DeriveFormattedName(const std::string* values, const std::string& prefix, const std::string& suffix,
                                const std::string& fallback) {
    std::string name;
    for (int field : {kFName, kMName, kLName}) {
        if (values[field].empty()) continue;
        if (!name.empty()) name += ' ';
        name += values[field];
    }
    if (!name.empty()) {
        if (!prefix.empty()) name = prefix + " " + name;
        if (!suffix.empty()) name += " " + suffix;
        return name;
    }
    static const int8_t kOthers[] = {
        kCompany, kNickname, kMailB, kMailH, kMailO, kPhoneM, kPhoneH, kPhoneB, kHomeMobile,
    };
    for (int8_t field : kOthers)
        if (!values[field].empty()) return values[field];
    return fallback;
}

bool FieldFromDevice(const std::string& text, const std::string& charset, std::string* utf8) {
    utf8->clear();
    if (text.empty()) return true;  // most fields of a contact: no conversion to set up
    if (!DeviceToUtf8(text, charset, utf8)) return false;
    *utf8 = WithLfLineEnds(*utf8);
    return true;
}

bool FieldToDevice(const std::string& utf8, const std::string& charset, std::string* text, bool* lossy) {
    *lossy = false;
    text->clear();
    if (utf8.empty()) return true;
    std::string crlf;
    crlf.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    return Utf8ToDevice(crlf, charset, text, lossy);
}

std::string EscapeForVersion(const std::string& text, int version) {
    return version == kVcard21 ? EscapeVcard21Text(text) : EscapeVcardText(text);
}

std::string EscapeListItem(const std::string& text, int version) {
    const std::string escaped = EscapeForVersion(text, version);
    if (version != kVcard21) return escaped;
    std::string out;
    for (char c : escaped) {
        if (c == ',') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// N, ORG, ADR: every component from values; N is written even empty.
std::string ComposeComponents(const AddressProperty& property, const std::string* values, int version) {
    const bool isN = strcmp(property.name, "N") == 0;
    size_t count = isN ? 5 : 0;
    bool any = false;
    for (size_t k = 0; k < 7; ++k) {
        if (property.fields[k] < 0) continue;
        count = count > k + 1 ? count : k + 1;
        any = any || !values[property.fields[k]].empty();
    }
    if (!any && !isN) return std::string();
    std::string value;
    for (size_t k = 0; k < count; ++k) {
        if (k > 0) value += ';';
        if (property.fields[k] >= 0) value += EscapeForVersion(values[property.fields[k]], version);
    }
    return value;
}

std::string ComposeAddressValue(const AddressProperty& property, const std::string* values, int version,
                                bool* asText) {
    *asText = false;
    if (property.shape == AddressShape::kComponents) return ComposeComponents(property, values, version);
    const std::string& value = values[property.fields[0]];
    if (property.shape == AddressShape::kClass) return value == "1" ? "PRIVATE" : std::string();
    if (property.shape == AddressShape::kFirstOfList) return EscapeListItem(value, version);
    if (property.shape != AddressShape::kDate) return EscapeForVersion(value, version);
    if (value.size() == 8 && IsDigits(value, 0, 8)) {
        if (version == kVcard40) return value;  // 4.0 writes dates in the basic form
        return value.substr(0, 4) + "-" + value.substr(4, 2) + "-" + value.substr(6, 2);
    }
    *asText = !value.empty();
    return EscapeForVersion(value, version);
}

std::string ComposeAddressHead(const AddressProperty& property, const std::string& group, int version, bool asText) {
    std::string head = group.empty() ? std::string() : group + ".";
    head += version == kVcard40 && property.name40 != nullptr ? property.name40 : property.name;
    if (property.types[0] != '\0') {
        if (version == kVcard21) {
            // 2.1 lists its types bare: TEL;WORK;VOICE
            for (const std::string& type : SplitEscaped(property.types, ',')) head += ";" + type;
        } else {
            head += ";TYPE=";
            head += property.types;
        }
    }
    if (asText) head += ";VALUE=text";
    return head;
}

std::string WriteVcardLine(const std::string& head, const std::string& value, int version,
                           const std::string& lineEnd) {
    if (version != kVcard21) return FoldVcardLine(head + ":" + value, lineEnd);
    bool plain = head.size() + 1 + value.size() <= 75;
    bool ascii = true;
    for (unsigned char c : value) {
        plain = plain && c >= 0x20 && c < 0x7F;
        ascii = ascii && c < 0x80;
    }
    if (plain) return head + ":" + value + lineEnd;
    const std::string qpHead = head + ";ENCODING=QUOTED-PRINTABLE" + (ascii ? "" : ";CHARSET=UTF-8") + ":";
    return qpHead + EncodeQuotedPrintable(value, qpHead.size(), lineEnd) + lineEnd;
}

}  // namespace morvane_pim
