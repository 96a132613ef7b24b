// The vCard reader on any bytes: an item is either an error with a reason
// or a record of all 44 Address book fields, and then what holds for every
// item holds for it: merging the record it gives changes no byte; merging
// device edits gives an item that reads back as the edited record; the
// record written as a new vCard reads back as itself.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "pim/formats.h"

namespace {

using morvane_pim::Item;
using morvane_pim::Problem;
using morvane_pim::Settings;
using morvane_host::HostRecord;

// Device edits with the characters that need escaping in every version.
static const std::pair<const char*, const char*> kEdits[] = {
    {"1", "Ann;a, \\n"}, {"6", "+49 160 1112223"}, {"9", "x@y.example"},
    {"19", "Line 1\r\nLine 2 \xE9"}, {"31", "New note\r\n;,\\"}, {"32", "VIP,A"},
    {"33", "1"}, {"38", "19990101"}, {"41", "X"}, {"35", "Jo\xEBl"},
};

bool Read(const Item& item, const Settings& settings, HostRecord* record, std::string* uid) {
    std::vector<std::string> warnings;
    Problem problem;
    const bool ok = morvane_pim::ItemToAddress(item, "fuzz.vcf", settings, record, uid, &warnings, &problem);
    if (!ok && problem.reason.empty()) abort();  // every failure says why
    if (ok && record->fields.size() != 44) abort();
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Settings settings;
    const Item base{std::string(reinterpret_cast<const char*>(data), size)};
    HostRecord record;
    std::string uid;
    if (!Read(base, settings, &record, &uid)) return 0;
    Problem problem;
    Item merged;
    if (!morvane_pim::MergeAddress(base, record, settings, &merged, &problem) || merged.text != base.text) abort();

    HostRecord edited = record;
    for (auto& field : edited.fields)
        for (const auto& edit : kEdits)
            if (field.first == edit.first) field.second = edit.second;
    HostRecord back;
    if (!morvane_pim::MergeAddress(base, edited, settings, &merged, &problem)) abort();
    if (!Read(merged, settings, &back, &uid) || back.fields != edited.fields) abort();

    Item fresh;
    if (!morvane_pim::AddressToItem(record, uid, settings, &fresh, &problem)) abort();
    if (!Read(fresh, settings, &back, &uid) || back.fields != record.fields) abort();
    return 0;
}
