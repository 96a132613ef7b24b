// Address book records as vCard 3.0 items and items of any version as
// records.
#include <strings.h>

#include <string>

#include "pim/address_fields.h"
#include "pim/formats.h"
#include "records/field_map.h"

namespace morvane_pim {

using namespace morvane_host;

namespace {

static const char kLineEnd[] = "\r\n";

const HostDatabase& AddressDatabase() {
    return *FindDatabase(kAddressSection);
}

// The vCard of a record's values: a fixed order and no time stamps, so the
// same record always gives the same bytes.
std::string ComposeVcard(const std::string* values, const std::string& uid) {
    std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Morvane//Morvane PIM formats//EN\r\n";
    text += WriteVcardLine("UID", EscapeVcardText(uid), kVcard30, kLineEnd);
    // FN is never empty: without a name the company, an address or a
    // number stands for the person, the UID at the last.
    text += WriteVcardLine("FN", EscapeVcardText(DeriveFormattedName(values, "", "", uid)), kVcard30, kLineEnd);
    size_t count = 0;
    const AddressProperty* properties = AddressProperties(&count);
    for (size_t p = 0; p < count; ++p) {
        bool asText = false;
        const std::string value = ComposeAddressValue(properties[p], values, kVcard30, &asText);
        if (value.empty()) continue;
        text += WriteVcardLine(ComposeAddressHead(properties[p], "", kVcard30, asText), value, kVcard30, kLineEnd);
    }
    return text + "END:VCARD\r\n";
}

}  // namespace

bool AddressToItem(const HostRecord& record, const std::string& uid, const Settings& settings, Item* item,
                   Problem* problem) {
    const HostDatabase& database = AddressDatabase();
    std::string values[kAddressFieldCount];
    for (int i = 0; i < kAddressFieldCount; ++i) {
        const std::string* text = record.Value(database.fields[i].readId);
        if (text != nullptr && !FieldFromDevice(*text, settings.deviceCharset, &values[i])) {
            problem->line = 0;
            problem->reason = "unknown device character set '" + settings.deviceCharset + "'";
            return false;
        }
    }
    *item = Item();
    item->text = ComposeVcard(values, uid);
    return true;
}

bool ItemToAddress(const Item& item, const std::string& name, const Settings& settings, HostRecord* record,
                   std::string* uid, std::vector<std::string>* warnings, Problem* problem) {
    problem->name = name;
    problem->line = 0;
    Vcard card;
    AddressReading reading;
    if (!ParseVcard(item.text, &card, &problem->line, &problem->reason) ||
        !ReadAddressCard(card, name, &reading, warnings, &problem->line, &problem->reason))
        return false;
    const HostDatabase& database = AddressDatabase();
    std::vector<std::pair<std::string, std::string>> fields;
    for (int i = 0; i < kAddressFieldCount; ++i) {
        std::string text;
        bool lossy = false;
        if (!FieldToDevice(reading.values[i], settings.deviceCharset, &text, &lossy)) {
            problem->line = 0;
            problem->reason = "unknown device character set '" + settings.deviceCharset + "'";
            return false;
        }
        if (lossy)
            warnings->push_back(name + ": " + database.fields[i].deviceName + " '" + reading.values[i].substr(0, 60) +
                                "' has characters " + settings.deviceCharset + " cannot hold; the device gets '" +
                                text.substr(0, 60) + "'");
        fields.emplace_back(database.fields[i].readId, text);
    }
    record->fields = std::move(fields);
    *uid = reading.uid;
    return true;
}

bool IsContactGroup(const std::string& text) {
    Vcard card;
    uint32_t line = 0;
    std::string reason;
    if (!ParseVcard(text, &card, &line, &reason)) return false;
    for (const VcardLine& l : card.lines) {
        if (l.name != "KIND" && l.name != "X-ADDRESSBOOKSERVER-KIND") continue;
        std::string value = l.value;
        value.erase(value.find_last_not_of(" \t") + 1);
        if (strcasecmp(value.c_str(), "group") == 0) return true;
    }
    return false;
}

}  // namespace morvane_pim
