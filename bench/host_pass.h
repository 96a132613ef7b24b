// Database passes driven through the exports the way the host drives them
// (bridge/sync_run.cpp): every host field read with DIZ_API_GetField, every
// writable field written with DIZ_API_PutField.
#ifndef MORVANE_BENCH_HOST_PASS_H
#define MORVANE_BENCH_HOST_PASS_H

#include "bench/bench_world.h"

#include <string>
#include <utility>
#include <vector>

namespace morvane_bench {

// One record as the host holds it: (read id, text) of every field read,
// the repeat rule of a Schedule entry, the host folder of a mail.
struct HostRecordTexts {
    std::vector<std::pair<std::string, std::string>> values;
    RepeatInfo repeat = {};
    uint32_t folder = 0;
};

// BeginExport, OpenDatabase, QueryFullSync, GetRecordCount, the walk (once
// per host folder for E-mail) reading every field of every record and
// releasing it, CloseDatabase finishing the pass.  Returns the records
// read, or -1 when an export fails; keeps every record's texts in out when
// out is not null.
int64_t ExportPass(AdapterCopy& adapter, const KindInfo& kind, DIZ_TIME stamp, std::vector<HostRecordTexts>* out);

// Host fields read per record: the record id and every field of the map.
int64_t FieldsRead(const KindInfo& kind);

// The (write id, text) pairs the host writes back for a record it read.
struct HostWrite {
    std::vector<std::pair<std::string, std::string>> puts;
    RepeatInfo repeat = {};
    bool hasRepeat = false;
    uint32_t folder = 0;
};
HostWrite ToWrite(const KindInfo& kind, const HostRecordTexts& record);

// Makes the next import pass a first synchronisation or a normal one: an
// export open with export time 0 (or kStamp), closed without finishing.
bool PrepareImport(AdapterCopy& adapter, const KindInfo& kind, bool firstSync);

// BeginImport, OpenDatabase, BeginImport again (the first-sync queue
// belongs to the database open then), n new records from records in turn
// (InsertRecord, PutField for every field, PutRepeatInfo, AddRecord), and
// CloseDatabase finishing the pass.  False when an export fails.
bool ImportPass(AdapterCopy& adapter, const KindInfo& kind, const std::vector<HostWrite>& records, int64_t n);

}  // namespace morvane_bench

#endif
