// A device record's changes written into the vCard last synchronised:
// only the lines that feed changed fields are rewritten (or added, or
// removed); every other byte of the item stays, so that what the device
// cannot hold (more phones, photos, other programs' properties, N's
// honorifics, an ADR's post office box) survives.
#include <ctype.h>
#include <string.h>

#include <string>

#include "pim/address_fields.h"
#include "pim/content_lines.h"
#include "pim/formats.h"
#include "records/field_map.h"

namespace morvane_pim {

using namespace morvane_host;

namespace {

// The merge's view of the base item.
struct MergeState {
    const Vcard* card;
    const AddressReading* reading;
    std::string merged[kAddressFieldCount];  // the values after the merge, UTF-8
    bool changed[kAddressFieldCount] = {};
    std::vector<bool> replaced;               // per line of the card
    std::vector<std::string> replacement;     // per line: its new text, empty to drop it
    std::string additions;                    // new lines, written before END:VCARD
};

bool AnyChanged(const MergeState& state, const AddressProperty& property) {
    for (int8_t field : property.fields)
        if (field >= 0 && state.changed[field]) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& parts, char separator) {
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined.push_back(separator);
        joined += parts[i];
    }
    return joined;
}

// The components of the base line with the changed ones replaced; the
// others (honorifics, post office box, further units) stay as written.
std::string ReplacedComponents(const MergeState& state, const AddressProperty& property, const std::string& decoded,
                               int version) {
    std::vector<std::string> parts = SplitEscaped(decoded, ';');
    for (std::string& part : parts) part = RewrittenPart(part, version);
    for (size_t k = 0; k < 7; ++k) {
        const int8_t field = property.fields[k];
        if (field < 0) continue;
        if (parts.size() <= k) parts.resize(k + 1);
        if (state.changed[field]) parts[k] = EscapeForVersion(state.merged[field], version);
    }
    if (strcmp(property.name, "N") == 0 && parts.size() < 5) parts.resize(5);
    for (const std::string& part : parts)
        if (!part.empty()) return Joined(parts, ';');
    return strcmp(property.name, "N") == 0 ? Joined(parts, ';') : std::string();
}

// The device's category as the first of the list; the others stay.
std::string ReplacedFirstCategory(const std::string& category, const std::string& decoded, int version) {
    std::vector<std::string> items = SplitEscaped(decoded, ',');
    for (std::string& item : items) item = RewrittenPart(item, version);
    if (category.empty())
        items.erase(items.begin());
    else
        items[0] = EscapeListItem(category, version);
    return Joined(items, ',');
}

// 4.0's GENDER from the device's text: a sex letter as such, other text
// as the identity.
std::string GenderValue(const std::string& text, int version) {
    if (text.empty()) return text;
    if (text.size() == 1 && strchr("MFONUmfonu", text[0]) != nullptr)
        return std::string(1, static_cast<char>(toupper(static_cast<unsigned char>(text[0]))));
    return ";" + EscapeForVersion(text, version);
}

void RewriteProperty(MergeState* state, const AddressProperty& property, size_t index) {
    const Vcard& card = *state->card;
    const int home = state->reading->homes[index];
    bool asText = false;
    if (home < 0) {
        const std::string value = ComposeAddressValue(property, state->merged, card.version, &asText);
        if (!value.empty())
            state->additions += WriteVcardLine(ComposeAddressHead(property, "", card.version, asText), value,
                                               card.version, card.lineEnd);
        return;
    }
    const VcardLine& line = card.lines[home];
    const std::string& decoded = state->reading->decoded[index];
    std::string value;
    bool dropValue = false;
    switch (property.shape) {
    case AddressShape::kComponents:
        value = ReplacedComponents(*state, property, decoded, card.version);
        break;
    case AddressShape::kFirstOfList:
        value = ReplacedFirstCategory(state->merged[property.fields[0]], decoded, card.version);
        break;
    case AddressShape::kGender:
        value = line.name == "GENDER" ? GenderValue(state->merged[property.fields[0]], card.version)
                                      : EscapeForVersion(state->merged[property.fields[0]], card.version);
        break;
    case AddressShape::kDate:
        dropValue = true;  // whether the date is written as text is decided afresh
        value = ComposeAddressValue(property, state->merged, card.version, &asText);
        break;
    case AddressShape::kClass:
    case AddressShape::kText:
        // A phone number goes back as text, which every version's TEL may
        // hold, and no longer under a URI's VALUE.
        dropValue = line.name == "TEL";
        value = ComposeAddressValue(property, state->merged, card.version, &asText);
        break;
    }
    state->replaced[home] = true;
    if (value.empty()) return;  // the field was emptied: the line goes
    const std::string head = HeadWithoutEncoding(line, dropValue) + (asText ? ";VALUE=text" : "");
    state->replacement[home] = WriteVcardLine(head, value, card.version, card.lineEnd);
}

// The first whole word old in *text made now (dropped with a space beside
// it when now is empty).  False when old is empty, unchanged or not there.
bool ReplaceWord(std::string* text, const std::string& old, const std::string& now) {
    if (old.empty() || old == now) return false;
    const auto wordChar = [](char c) { return isalnum(static_cast<unsigned char>(c)) || (c & 0x80) != 0; };
    for (size_t at = text->find(old); at != std::string::npos; at = text->find(old, at + 1)) {
        const size_t end = at + old.size();
        if ((at > 0 && wordChar((*text)[at - 1])) || (end < text->size() && wordChar((*text)[end]))) continue;
        text->replace(at, old.size(), now);
        if (!now.empty()) return true;
        // The word gone, one of the spaces around it goes too.
        const bool before = at > 0 && (*text)[at - 1] == ' ', after = at < text->size() && (*text)[at] == ' ';
        if (after && (before || at == 0)) text->erase(at, 1);
        else if (before && at == text->size()) text->erase(at - 1, 1);
        return true;
    }
    return false;
}

// FN follows the fields it is made of, when what they make changed.  An FN
// of the person's own making (a title, a company in brackets) keeps its
// words and takes the handheld's change of the name parts it shows; one
// that shows none of them stays as it is.
void RewriteFormattedName(MergeState* state) {
    const AddressReading& reading = *state->reading;
    const std::string before =
        DeriveFormattedName(reading.values, reading.namePrefix, reading.nameSuffix, reading.uid);
    std::string after = DeriveFormattedName(state->merged, reading.namePrefix, reading.nameSuffix, reading.uid);
    if (before == after) return;
    if (reading.fnLine >= 0 && reading.fn != before) {
        after = reading.fn;
        bool replaced = false;
        for (int field : {0, 1, 2})  // first, middle and last name (host fields 1 to 3)
            replaced |= ReplaceWord(&after, reading.values[field], state->merged[field]);
        if (!replaced) return;
    }
    const Vcard& card = *state->card;
    const std::string value = EscapeForVersion(after, card.version);
    if (reading.fnLine < 0) {
        state->additions = WriteVcardLine("FN", value, card.version, card.lineEnd) + state->additions;
        return;
    }
    state->replaced[reading.fnLine] = true;
    state->replacement[reading.fnLine] =
        WriteVcardLine(HeadWithoutEncoding(card.lines[reading.fnLine]), value, card.version, card.lineEnd);
}

// A changed contact says when it was revised, where it says so at all.
void MarkRevised(int64_t now, MergeState* state) {
    const Vcard& card = *state->card;
    for (size_t i = 0; i < card.lines.size(); ++i) {
        if (card.lines[i].name != "REV" || state->replaced[i]) continue;
        state->replaced[i] = true;
        state->replacement[i] = WriteVcardLine("REV", RevisionTime(now), card.version, card.lineEnd);
    }
}

// The base text with its replaced lines swapped and the additions put
// before END:VCARD; everything between and around stays.
std::string Assemble(const MergeState& state, const std::string& text) {
    const std::vector<VcardLine>& lines = state.card->lines;
    std::string out;
    size_t cursor = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i + 1 == lines.size()) {
            out.append(text, cursor, lines[i].begin - cursor);
            out += state.additions;
            cursor = lines[i].begin;
        } else if (state.replaced[i]) {
            out.append(text, cursor, lines[i].begin - cursor);
            out += state.replacement[i];
            cursor = lines[i].end;
        }
    }
    out.append(text, cursor, std::string::npos);
    return out;
}

}  // namespace

bool MergeAddress(const Item& base, const HostRecord& record, const Settings& settings, Item* merged,
                  Problem* problem, const HostRecord* lastSynced) {
    problem->line = 0;
    Vcard card;
    AddressReading reading;
    std::vector<std::string> warnings;
    if (!ParseVcard(base.text, &card, &problem->line, &problem->reason) ||
        !ReadAddressCard(card, problem->name, &reading, &warnings, &problem->line, &problem->reason))
        return false;
    MergeState state;
    state.card = &card;
    state.reading = &reading;
    const HostDatabase& database = *FindDatabase(kAddressSection);
    bool any = false;
    for (int i = 0; i < kAddressFieldCount; ++i) {
        state.merged[i] = reading.values[i];
        const std::string* text = record.Value(database.fields[i].readId);
        // What the device held: the field as last synchronised, else the
        // item's own value in the device's character set.
        const std::string* synced = lastSynced != nullptr ? lastSynced->Value(database.fields[i].readId) : nullptr;
        std::string before = synced != nullptr ? *synced : std::string();
        bool lossy = false;
        if ((synced == nullptr && !FieldToDevice(reading.values[i], settings.deviceCharset, &before, &lossy)) ||
            (text != nullptr && *text != before && !FieldFromDevice(*text, settings.deviceCharset, &state.merged[i]))) {
            problem->reason = "unknown device character set '" + settings.deviceCharset + "'";
            return false;
        }
        // A field the record does not carry is not known to have changed.
        state.changed[i] = text != nullptr && *text != before;
        any = any || state.changed[i];
    }
    *merged = base;
    if (!any) return true;
    state.replaced.assign(card.lines.size(), false);
    state.replacement.assign(card.lines.size(), std::string());
    size_t count = 0;
    const AddressProperty* properties = AddressProperties(&count);
    for (size_t p = 0; p < count; ++p)
        if (AnyChanged(state, properties[p])) RewriteProperty(&state, properties[p], p);
    RewriteFormattedName(&state);
    merged->text = Assemble(state, base.text);
    if (merged->text != base.text && settings.now != 0) {
        MarkRevised(settings.now, &state);
        merged->text = Assemble(state, base.text);
    }
    return true;
}

}  // namespace morvane_pim
