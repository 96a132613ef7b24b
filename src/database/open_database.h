/*
 * Opening a database: what DIZ_API_OpenDatabase does once its export has
 * written the opening line and cleared the last error.
 */
#ifndef MORVANE_DATABASE_OPEN_DATABASE_H
#define MORVANE_DATABASE_OPEN_DATABASE_H

#include <stdint.h>

// Makes the database of section current (currentDbId, currentFieldTable,
// TTdbInfo) and, in an export, decides whether it is read in full and
// builds the record cache once per DIZ_API_BeginExport.  Returns 0; -2 when
// the link's working database cannot be opened; -4 for an unknown section,
// a database the device lacks, a failed device question or no memory; -6
// when the device's record list cannot be read.
int32_t OpenDatabase(int32_t section);

#endif
