// The iCalendar import on any bytes, for Schedule, ToDo and Memo: an item
// is read or refused, never a crash.  What is read must also hold together:
// merging the item with its own record changes no byte; merging it with the
// record's texts and secrecy changed gives an item that reads as the
// changed record; and the record makes an item that reads back as itself.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "pim/formats.h"

namespace {

// Fields a device may change with nothing else following from them.
struct Change {
    int32_t section;
    const char* id;
    const char* value;
};

static const Change kChanges[] = {
    {2, "7", "Changed"}, {2, "8", ""}, {2, "16", "two\r\nlines"}, {2, "19", "Cat, egory"},
    {3, "2", "Changed"}, {3, "5", ""}, {3, "6", "Cat"},
    // 5
    {4, "1", "Title"}, {4, "3", "text;\r\nmore"},
};

const char* Flipped(const std::string& secret) { return secret == "1" ? "0" : "1"; }

morvane_pim::HostRecord Changed(int32_t section, const morvane_pim::HostRecord& record) {
    morvane_pim::HostRecord changed = record;
    const char* secret = section == 2 ? "18" : section == 3 ? "7" : "5";
    for (auto& field : changed.fields) {
        for (const Change& change : kChanges)
            if (change.section == section && field.first == change.id) field.second = change.value;
        if (field.first == secret) field.second = Flipped(field.second);
    }
    return changed;
}

bool SameRecord(const morvane_pim::HostRecord& a, const morvane_pim::HostRecord& b) {
    return a.fields == b.fields && memcmp(&a.repeat, &b.repeat, sizeof(RepeatInfo)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvane_pim::Settings settings;
    settings.timezone = "Europe/Berlin";
    const morvane_pim::Item item{std::string(reinterpret_cast<const char*>(data), size)};
    for (int32_t section = 2; section <= 4; ++section) {
        morvane_pim::HostRecord record, again;
        std::string uid;
        std::vector<std::string> warnings;
        morvane_pim::Problem problem;
        if (!morvane_pim::ItemToCalendar(section, item, "fuzz.ics", settings, &record, &uid, &warnings, &problem))
            continue;
        morvane_pim::Item merged, made;
        if (!morvane_pim::MergeCalendar(section, item, record, settings, &merged, &problem) || merged.text != item.text)
            abort();
        const morvane_pim::HostRecord changed = Changed(section, record);
        if (!morvane_pim::MergeCalendar(section, item, changed, settings, &merged, &problem) ||
            !morvane_pim::ItemToCalendar(section, merged, "merged.ics", settings, &again, &uid, &warnings, &problem) ||
            !SameRecord(again, changed))
            abort();
        if (!morvane_pim::CalendarToItem(section, record, uid, settings, &made, &problem) ||
            !morvane_pim::ItemToCalendar(section, made, "made.ics", settings, &again, &uid, &warnings, &problem) ||
            !SameRecord(again, record))
            abort();
    }
    return 0;
}
