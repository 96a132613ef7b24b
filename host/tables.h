// Records printed as a readable table: one row per device field that holds
// a value in any record, one column per record.
#ifndef MORVANE_HOST_TABLES_H
#define MORVANE_HOST_TABLES_H

#include <stdio.h>

#include <string>

#include "records/field_map.h"
#include "records/host_record.h"

namespace morvane_host {

// charset: the device's character set (an iconv name).
void PrintRecordsTable(FILE* out, const HostDatabase& database, const DatabaseRecords& records,
                       const std::string& charset = "WINDOWS-1252");

// "added", "changed", "deleted" or "status N".
const char* StatusName(uint32_t status);

}  // namespace morvane_host

#endif
