// A device record as one text for the state store, and the comparisons the
// engine makes between device records.
#ifndef MORVANE_ENGINE_RECORD_TEXT_H
#define MORVANE_ENGINE_RECORD_TEXT_H

#include <stdint.h>

#include <string>

#include "records/host_record.h"

namespace morvane_engine {

using morvane_host::HostRecord;

// One line per host field ("id=value", with backslash, CR and LF escaped),
// then the repeat rule and the mail folder when the record has them.
std::string RecordToText(const HostRecord& record);
// The record RecordToText wrote; false when the text is not one.
bool TextToRecord(const std::string& text, HostRecord* record);

// Whether two records of a section say the same to the device: every host
// field that is written back, the repeat rule and the folder.  Fields the
// adapter fills itself are left out; values are compared exactly.
bool SameDeviceFields(int32_t section, const HostRecord& a, const HostRecord& b);

// Whether a record the device holds now shows every change a write made to
// it (from `before` to `sent`): none of the fields, nor the repeat rule or
// folder, that the write changed is back at its value from before.
bool ShowsEveryChange(int32_t section, const HostRecord& before, const HostRecord& sent, const HostRecord& now);

// Whether two records are likely one record edited, not two: more than
// half of the fields that tell its database's records apart (a contact's
// names and company, an event's description, start date and time, ...)
// that either names are the same.  A handheld reset after its last sync
// gives the ids of the state's records to new ones.
bool LikelySameRecord(int32_t section, const HostRecord& was, const HostRecord& now);

// A short text naming a record for the person running a sync (a name, a
// subject, a title) in UTF-8, its texts read in the handheld's character
// set; "" when it has none.
std::string RecordLabel(int32_t section, const HostRecord& record, const std::string& charset);

}  // namespace morvane_engine

#endif
