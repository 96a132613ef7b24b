// FindWorkingField against the open database's table.  Kept apart from the
// table-taking search so that code using only that one does not need the
// session.
#include "schema/working_record.h"
#include "session/sync_session.h"

WorkingField* FindWorkingField(const WorkingRecord* record, uint32_t fieldId, const FieldDescriptor** descriptorOut) {
    return FindWorkingFieldIn(g_session.currentFieldTable, record, fieldId, descriptorOut);
}
