/*
 * Pieces of a record the host reads as a whole: the repeat rule of a
 * Schedule event, the folder of an e-mail, the id of the record being
 * written, and the host's own e-mail body length.  These are the works of
 * DIZ_API_GetRepeatInfo, DIZ_API_ReadFolderID, DIZ_API_GetFolderID,
 * DIZ_API_GetRecordID_Attachment and GetEmailBodyLength.
 */
#ifndef MORVANE_FIELDS_RECORD_INFO_H
#define MORVANE_FIELDS_RECORD_INFO_H

#include "exports/morvane_api.h"

#include <stdint.h>

// DIZ_API_ReadFolderID's result for a device folder outside 0-3.
constexpr int32_t kResultBadFolder = -999;
// Day-pattern bit of each host week day, the host's first day first; the
// device's bit 0x80 has no host day.
constexpr uint16_t kWeekDayBits[7] = {0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

// Traces "***** DIZ_API_GetRepeatInfo()", clears the last error and fills
// *info from the current Schedule record: the repeat rule while the
// session's recordRepeats is set (Schedule field 2 was read as "Yes"),
// else the event's start and end dates.  A missing field ends the filling
// where it is.  Always 0.
int32_t FillRepeatInfo(RepeatInfo* info);

// Traces "***** DIZ_API_ReadFolderID()" (the last error stays) and, in the
// E-mail database, sets the session's hostFolderId to the current record's
// device folder + 1 (no value counts as device folder 0).  0, or
// kResultBadFolder for a device folder outside 0-3 (hostFolderId stays).
int32_t ReadFolderId();

// Traces "***** DIZ_API_GetFolderID", clears the last error, runs
// ReadFolderId and gives hostFolderId in *folder.  0, or -11 (*folder
// untouched) when ReadFolderId failed.
int32_t GetFolderId(uint32_t* folder);

// Clears the last error (no trace) and writes the write record's id as
// signed decimal text into out (at least 12 bytes).  -11 and empty text
// while no write record was ever prepared.
int32_t GetWriteRecordId(char* out);

// The e-mail body length the host keeps in its file "ilsync.psf" in the
// data-file folder: the little-endian 32-bit number at byte 9,446.  1 when
// the file opened for reading and update; 0 with 4096 when it did not.  A
// file too short to hold the number also gives 4096.  No trace, and the
// last error stays.
int32_t ReadEmailBodyLength(int32_t* length);

#endif
