// The host's map of the five databases: per section its name and the
// fields the host reads and writes, with the device field name each one
// stands for.  This is the host's own knowledge of the adapter's field
// numbering (host field N is device field N - 1), kept as data so that the
// exporter and the importer walk the same list.
#ifndef MORVANE_RECORDS_FIELD_MAP_H
#define MORVANE_RECORDS_FIELD_MAP_H

#include <stdint.h>

#include <string>

namespace morvane_host {

// How a value read with readId is handed back when the record is written.
enum class WriteRule : uint8_t {
    kPlain,    // written with writeId as read
    kYesNo,    // read as "Yes"/"No", written as "1"/"0"
    kNotSent,  // filled by the adapter itself (repeat rule, alarm unit) or without a device counterpart
};

struct HostField {
    const char* readId;      // the id DIZ_API_GetField is asked with
    const char* writeId;     // the id DIZ_API_PutField is given (prefixes like "3." feed the alarm)
    const char* deviceName;  // the device field it stands for
    WriteRule rule;
};

struct HostDatabase {
    int32_t section;
    const char* name;      // "Schedule"
    const char* fileName;  // "schedule": the export file is <fileName>.json
    const HostField* fields;
    uint32_t fieldCount;
};

constexpr int32_t kAddressSection = 1;
constexpr int32_t kScheduleSection = 2;
constexpr int32_t kToDoSection = 3;
constexpr int32_t kMemoSection = 4;
constexpr int32_t kMailSection = 5;
// Host folders of the merged e-mail database: 1 received .. 4 saved.
constexpr uint32_t kFirstMailFolder = 1;
constexpr uint32_t kLastMailFolder = 4;

// The five databases in the host's order of synchronisation.
const HostDatabase* Databases(uint32_t* count);
// The database of a section, or null.
const HostDatabase* FindDatabase(int32_t section);
// The field of a database read with readId, or null.
const HostField* FindField(const HostDatabase& database, const std::string& readId);

}  // namespace morvane_host

#endif
