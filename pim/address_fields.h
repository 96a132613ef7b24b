// Where each of the Address book's 44 host fields lives in a vCard: the
// properties that carry device fields, how a vCard's lines are found for
// them (by name, or by TYPE for TEL, EMAIL, ADR and URL), and their values
// both ways.  Field values here are UTF-8 with LF line ends; the host's
// single-byte texts with CR LF are made of them in address_item.cpp.
#ifndef MORVANE_PIM_ADDRESS_FIELDS_H
#define MORVANE_PIM_ADDRESS_FIELDS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "pim/vcard_card.h"

namespace morvane_pim {

constexpr int kAddressFieldCount = 44;  // host field N is index N - 1

enum class AddressShape : uint8_t {
    kText,        // one text
    kComponents,  // N, ORG, ADR: components separated by ";"
    kFirstOfList, // CATEGORIES: the device holds one category, the first
    kDate,        // the device's yyyymmdd; ISO 8601 in the vCard
    kClass,       // Secret "1" is CLASS:PRIVATE (or CONFIDENTIAL when read); "0" no CLASS
    kGender,      // the device's text; 4.0's GENDER read as its sex letter or identity text
};

// A property that carries device fields.
struct AddressProperty {
    const char* name;     // as written in 3.0
    const char* types;    // its TYPE values, "" none; for TEL, EMAIL, ADR and URL also what tells it from its kin
    AddressShape shape;
    int8_t fields[7];     // the host field index of each component, -1 none
    const char* aliases;  // other properties read in its place, in order, "|" between: "NAME" or "NAME/TYPE"
    const char* name40;   // its name when added to a 4.0 vCard, null: name
};

// The properties, in the order a new vCard lists them.
const AddressProperty* AddressProperties(size_t* count);

// What a vCard says for the device.
struct AddressReading {
    std::string values[kAddressFieldCount];  // UTF-8, LF line ends
    std::vector<int> homes;                  // per property, the index of the line it is read from, -1 none
    std::vector<std::string> decoded;        // per property, that line's value decoded, still escaped
    std::string uid;
    int fnLine = -1;  // the FN line, -1 none
    std::string fn;   // its text, LF line ends
    std::string namePrefix, nameSuffix;  // N's honorifics, which the device has no field for
};

// Reads every field's value from card.  Warnings (a value guessed or
// brought to the device's form) go to *warnings, prefixed by name and line.
// False, with the line and reason, when a line that feeds a field cannot
// be decoded.
bool ReadAddressCard(const Vcard& card, const std::string& name, AddressReading* reading,
                     std::vector<std::string>* warnings, uint32_t* errorLine, std::string* reason);

// The display name for values: the name parts (between prefix and
// suffix), else the company, nickname, e-mail, phone, else fallback.
std::string DeriveFormattedName(const std::string* values, const std::string& prefix, const std::string& suffix,
                                const std::string& fallback);

// A host field's text in the device's character set as UTF-8 with LF line
// ends, and back (CR LF line ends; *lossy: a character was transliterated).
// False only for a character set iconv does not know.
bool FieldFromDevice(const std::string& text, const std::string& charset, std::string* utf8);
bool FieldToDevice(const std::string& utf8, const std::string& charset, std::string* text, bool* lossy);

// Text escaped for a version's values.
std::string EscapeForVersion(const std::string& text, int version);
// One item of a list value (CATEGORIES), its commas escaped in 2.1 too.
std::string EscapeListItem(const std::string& text, int version);

// A property's value made of values, escaped for version; empty when the
// property has nothing to say (no line then, except N).  *asText: a date
// the vCard cannot hold as a date, written with VALUE=text.
std::string ComposeAddressValue(const AddressProperty& property, const std::string* values, int version,
                                bool* asText);

// The head of a new line for property in version: group, name, TYPE.
std::string ComposeAddressHead(const AddressProperty& property, const std::string& group, int version, bool asText);

// A content line written for version: folded (3.0, 4.0), or for 2.1 as
// quoted-printable when the value is not short plain ASCII.
std::string WriteVcardLine(const std::string& head, const std::string& value, int version,
                           const std::string& lineEnd);

}  // namespace morvane_pim

#endif
