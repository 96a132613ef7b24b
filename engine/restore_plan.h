// What restore writes into each database of the handheld to give it the
// content of a backup: records the handheld holds with the same id and
// every value the same stay; every other record of the handheld goes and
// every other record of the backup comes.  Pure: no device, no files.
#ifndef MORVANE_ENGINE_RESTORE_PLAN_H
#define MORVANE_ENGINE_RESTORE_PLAN_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "records/link_image.h"

namespace morvane_engine {

using morvane_host::LinkDatabase;
using morvane_host::LinkRecord;

struct RestoreStep {
    const LinkDatabase* device = nullptr;  // the database as the handheld holds it now
    std::vector<uint32_t> deletes;
    std::vector<LinkRecord> adds;  // values in the handheld's field order
    size_t kept = 0;
};

// One step per database of the backup, in its order.  Fields are matched by
// name, so a handheld that lists its fields in another order still gets
// every value in its place.  A database or field of the backup that the
// handheld lacks, or a field it gives another type, is refused (false with
// the reason in *error): the backup cannot be put back exactly.  A field
// of the handheld's that the backup lacks stays empty in the records added.
bool PlanRestore(const std::vector<LinkDatabase>& device, const std::vector<LinkDatabase>& backup,
                 std::vector<RestoreStep>* steps, std::string* error);

}  // namespace morvane_engine

#endif
