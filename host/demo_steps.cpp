#include "host/demo_steps.h"

#include <stdio.h>

#include <fstream>
#include <sstream>

#include "device/simulator.h"
#include "host/tables.h"

namespace morvane_host {

namespace {

using tethra_sim::DeviceImage;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The id of the first record of a device database whose link text field
// holds the text, or 0.
uint32_t FindByText(const DeviceImage& image, uint32_t dbId, const std::string& field, const std::string& text) {
    const tethra_sim::Database* db = image.Find(dbId);
    if (db == nullptr) return 0;
    const tethra_sim::LinkValue wanted = tethra_sim::TextValue(text);
    for (const tethra_sim::Record& record : db->records) {
        tethra_sim::LinkValue value;
        if (image.GetValue(dbId, record.id, field, &value) && value == wanted) return record.id;
    }
    return 0;
}

HostRecord NewRecord(std::vector<std::pair<std::string, std::string>> fields) {
    HostRecord record;
    record.action = "add";
    record.fields = std::move(fields);
    return record;
}

bool ImportInto(DeviceSession& session, int32_t section, const std::vector<HostRecord>& records, const char* what) {
    const HostDatabase* database = FindDatabase(section);
    std::vector<ImportResult> results;
    if (!session.Import(*database, records, &results)) {
        fprintf(stderr, "morvane-sync: %s\n", session.error().c_str());
        return false;
    }
    for (const ImportResult& result : results) {
        if (result.action == ImportAction::kAdd)
            printf("   %s: %s added, the device gave it id %d\n", database->name, what, static_cast<int>(result.deviceId));
        else if (result.action == ImportAction::kChange)
            printf("   %s: %s (id %d) changed\n", database->name, what, static_cast<int>(result.deviceId));
        else
            printf("   %s: %s (id %d) deleted\n", database->name, what, static_cast<int>(result.sourceId));
    }
    return true;
}

}  // namespace

std::string DemoPlan::PcId() const {
    std::istringstream lines(ReadWholeFile(world_.settingsPath()));
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, 5, "PCID=") == 0) return line.substr(5, 16);
    return "(none)";
}

bool DemoPlan::ImportChanges(DeviceSession& session) const {
    DeviceImage image;
    std::string error;
    if (!image.Load(world_.devicePath(), &error)) {
        fprintf(stderr, "morvane-sync: %s\n", error.c_str());
        return false;
    }
    const int32_t task = static_cast<int32_t>(FindByText(image, 6, "S_DESCRIPTION3", "Renew passport"));
    const int32_t memo = static_cast<int32_t>(FindByText(image, 8, "S_PAGE_TITLE", "Gate code"));
    HostRecord done;
    done.id = task;
    done.action = "change";
    done.fields = {{"3", "1"}, {"9", "20261206"}};
    HostRecord gone;
    gone.id = memo;
    gone.action = "delete";
    HostRecord mail = NewRecord({{"5", "lena.vogt@example.com"}, {"9", "Dentist moved"},
                                 {"10", "The appointment is now on the 15th at 14:00."}, {"11.D", "20261206"},
                                 {"11.T", "1010"}, {"13", "1"}});
    mail.hasFolder = true;
    mail.folder = 4;
    return ImportInto(session, kScheduleSection,
                      {NewRecord({{"2", "No"}, {"3", "20261215"}, {"4", "20261215"}, {"5", "1400"}, {"6", "1445"},
                                  {"7", "Dentist"}, {"8", "Dr. Vogt"}, {"11", "1"}, {"12.D", "20261215"},
                                  {"12.T", "1330"}})},
                      "appointment 'Dentist'") &&
           ImportInto(session, kToDoSection, {done}, "task 'Renew passport' marked done") &&
           ImportInto(session, kAddressSection,
                      {NewRecord({{"1", "Lena"}, {"3", "Vogt"}, {"6", "+49 89 5550188"}, {"32", "Personal"}})},
                      "contact 'Lena Vogt'") &&
           ImportInto(session, kMemoSection, {gone}, "memo 'Gate code'") &&
           ImportInto(session, kMailSection, {mail}, "saved mail 'Dentist moved'");
}

bool DemoPlan::EditOnDevice(std::string* error) const {
    DeviceImage image;
    if (!image.Load(world_.devicePath(), error)) return false;
    const uint32_t review = FindByText(image, 1, "S_DESCRIPTION4", "Project review");
    const uint32_t shopping = FindByText(image, 8, "S_PAGE_TITLE", "Shopping");
    const bool edited =
        image.ChangeRecord(1, review, {{"S_LOCATION", tethra_sim::TextValue("Room 2.01")}}) &&
        image.AddRecord(6, {{"S_DESCRIPTION3", tethra_sim::TextValue("Book flights")},
                            {"S_END_DATE", tethra_sim::DateValue(2026, 12, 18)},
                            {"S_PRIORITY", tethra_sim::ByteValue(3)}}) != 0 &&
        image.DeleteRecord(8, shopping);
    if (!edited) {
        *error = "the demo device image lacks the records the demo edits";
        return false;
    }
    return image.Save(world_.devicePath(), error);
}

size_t DemoPlan::TraceLineCount() const {
    const std::string log = ReadWholeFile(world_.traceLogPath());
    size_t lines = 0;
    for (char c : log) lines += c == '\n';
    return lines;
}

}  // namespace morvane_host
