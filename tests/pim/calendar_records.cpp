#include "calendar_records.h"

#include <gtest/gtest.h>

#include <map>

#include "pim/formats.h"
#include "records/field_map.h"
#include "support/sandbox.h"

namespace calendar_test {

namespace {

// A timed meeting without alarm or repeat, as the adapter reads it.
const Fields kSchedule = {
    {"1", ""},          {"2", "No"},       {"3", "20261208"},    {"4", "20261208"},  {"5", "0930"},
    {"6", "1030"},      {"7", "Project review"}, {"8", "Room 4.12"}, {"9", "0"},      {"10", "0"},
    {"11", "0"},        {"12.D", "00000000"}, {"12.T", "0000"},  {"13", "2"},        {"14", ""},
    {"15", ""},         {"16", "Agenda:\r\n1. Figures"}, {"17", "0"}, {"18", "0"},   {"19", "Business"},
    {"20", "1"},        {"21", ""},        {"22", "0000"},       {"23", ""},
};

const Fields kToDo = {
    {"1", "20261220"}, {"2", "Renew passport"}, {"3", "0"}, {"4", "2"}, {"5", "Photos first"},
    {"6", "Personal"}, {"7", "0"},              {"8", "20261201"}, {"9", ""},
};

const Fields kMemo = {
    {"1", "Shopping"}, {"2.D", "20261205"}, {"2.T", "1720"}, {"3", "milk\r\neggs"}, {"4", ""}, {"5", "0"},
};

}  // namespace

morvane_pim::HostRecord Record(int32_t section, const Fields& changes) {
    const Fields& plain = section == morvane_host::kScheduleSection ? kSchedule
                          : section == morvane_host::kToDoSection   ? kToDo
                                                                    : kMemo;
    std::map<std::string, std::string> values(plain.begin(), plain.end());
    for (const auto& change : changes) values[change.first] = change.second;
    morvane_pim::HostRecord record;
    const morvane_host::HostDatabase* database = morvane_host::FindDatabase(section);
    for (uint32_t i = 0; i < database->fieldCount; ++i)
        record.fields.emplace_back(database->fields[i].readId, values[database->fields[i].readId]);
    return record;
}

morvane_pim::Settings In(const char* zone) {
    morvane_pim::Settings settings;
    settings.timezone = zone;
    return settings;
}

std::string Differences(const morvane_pim::HostRecord& want, const morvane_pim::HostRecord& got) {
    std::string text;
    for (const auto& field : want.fields) {
        const std::string* value = got.Value(field.first);
        if (value == nullptr || *value != field.second)
            text += field.first + ": '" + field.second.substr(0, 60) + "' -> '" +
                    (value == nullptr ? "(none)" : value->substr(0, 60)) + "'\n";
    }
    if (got.fields.size() != want.fields.size()) text += "field count " + std::to_string(got.fields.size()) + "\n";
    return text;
}

std::string DataFile(const char* name) {
    return testing_support::ReadFile(std::string(MORVANE_SOURCE_DIR) + "/tests/pim/data/" + name);
}

morvane_pim::HostRecord Read(int32_t section, const std::string& text, std::vector<std::string>* warnings,
                             const char* zone, std::string* uid) {
    morvane_pim::HostRecord record;
    std::string ownUid;
    std::vector<std::string> ownWarnings;
    morvane_pim::Problem problem;
    EXPECT_TRUE(morvane_pim::ItemToCalendar(section, morvane_pim::Item{text}, "item.ics", In(zone), &record,
                                            uid ? uid : &ownUid, warnings ? warnings : &ownWarnings, &problem))
        << problem.line << ": " << problem.reason << "\n" << text;
    return record;
}

}  // namespace calendar_test
