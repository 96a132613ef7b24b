// The iCalendar import on any bytes, for Schedule, ToDo and Memo: an item
// is read or refused, never a crash.  What is read must also hold together:
// merging the item with its own record changes no byte, and the record
// makes an item that reads back as the same record.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "pim/formats.h"

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
        if (!morvane_pim::CalendarToItem(section, record, uid, settings, &made, &problem) ||
            !morvane_pim::ItemToCalendar(section, made, "made.ics", settings, &again, &uid, &warnings, &problem) ||
            again.fields != record.fields || memcmp(&again.repeat, &record.repeat, sizeof(RepeatInfo)) != 0)
            abort();
    }
    return 0;
}
