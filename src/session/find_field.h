// FindWorkingField: the field lookup against the open database's table.
#ifndef MORVANE_SESSION_FIND_FIELD_H
#define MORVANE_SESSION_FIND_FIELD_H

#include "schema/field_table.h"
#include "schema/working_record.h"
#include <stdint.h>

// FindWorkingFieldIn against the open database's table, the session's
// currentFieldTable: the lookup every field reader and writer uses.
WorkingField* FindWorkingField(const WorkingRecord* record, uint32_t fieldId, const FieldDescriptor** descriptorOut);

#endif
