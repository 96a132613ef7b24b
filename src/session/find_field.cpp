// FindWorkingField against the open database's table.  The table-taking
// search it calls is the schema's, so that code using only that one does
// not need the session.
#include "session/find_field.h"

#include "session/sync_session.h"

WorkingField* FindWorkingField(const WorkingRecord* record, uint32_t fieldId, const FieldDescriptor** descriptorOut) {
    return FindWorkingFieldIn(g_session.currentFieldTable, record, fieldId, descriptorOut);
}
