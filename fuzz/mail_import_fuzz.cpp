// The message import fed any bytes as a message file: reading it into a
// device record must fail cleanly or give a record that writes back as a
// message and merges into the input without a failure or a crash.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "pim/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace morvane_pim;
    Settings settings;
    settings.timezone = "Europe/Berlin";
    const Item item{std::string(reinterpret_cast<const char*>(data), size), static_cast<uint32_t>(1 + size % 4),
                    size % 2 == 0};
    HostRecord record;
    std::string uid;
    std::vector<std::string> warnings;
    Problem problem;
    if (!ItemToMail(item, "fuzz.eml", settings, &record, &uid, &warnings, &problem)) return 0;
    Item written, merged;
    MailToItem(record, "fuzz", settings, &written, &problem);
    // A device change of every kind of field: text, date, flag, body.
    for (auto& field : record.fields) {
        if (field.first == "9") field.second += " (device)";
        if (field.first == "11.T") field.second = "1200";
        if (field.first == "13") field.second = "1";
        if (field.first == "10") field.second = "changed\r\n";
    }
    MergeMail(item, record, settings, &merged, &problem);
    return 0;
}
