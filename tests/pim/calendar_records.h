// Schedule, ToDo and Memo records for the calendar tests: a plain record
// of each database with every field filled, and rows of fields that differ
// from it.
#ifndef MORVANE_TESTS_PIM_CALENDAR_RECORDS_H
#define MORVANE_TESTS_PIM_CALENDAR_RECORDS_H

#include <string>
#include <utility>
#include <vector>

#include "pim/pim.h"

namespace calendar_test {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The section's plain record with these fields changed, in the host's field
// order with every field present, as an export gives it.
morvane_pim::HostRecord Record(int32_t section, const Fields& changes);
morvane_pim::Settings In(const char* zone);
// The fields of a record that differ from another's, as "id: 'a' -> 'b'".
std::string Differences(const morvane_pim::HostRecord& want, const morvane_pim::HostRecord& got);
std::string DataFile(const char* name);  // tests/pim/data/<name>
// The record the device gets from an item (named "item.ics") that must read.
morvane_pim::HostRecord Read(int32_t section, const std::string& text, std::vector<std::string>* warnings = nullptr,
                             const char* zone = "Europe/Berlin", std::string* uid = nullptr);

}  // namespace calendar_test

#endif
