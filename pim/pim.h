// The PIM formats: conversions between a host record of the handheld (its
// host field texts, repeat rule and mail folder, in the device's single-byte
// character set) and the items people's programs keep on a PC, in UTF-8:
//   Address book  vCard 3.0 (reads 2.1, 3.0 and 4.0)       one .vcf file
//   Schedule      VCALENDAR with one VEVENT (and VTIMEZONE) one .ics file
//   ToDo          VCALENDAR with one VTODO                  one .ics file
//   Memo          VCALENDAR with one VJOURNAL               one .ics file
//   E-mail        an RFC 5322 message, its Maildir folder and seen flag
// Nothing here talks to the adapter; every failure is a false return with
// the reason, and nothing throws.
#ifndef MORVANE_PIM_PIM_H
#define MORVANE_PIM_PIM_H

#include <stdint.h>

#include <string>
#include <vector>

#include "records/host_record.h"

namespace morvane_pim {

using morvane_host::HostRecord;

struct Settings {
    std::string timezone;                     // the handheld's zone (an Olson name); empty: the system's
    std::string deviceCharset = "WINDOWS-1252";  // iconv name of the device's texts
    // When the conversion runs (seconds since 1970, UTC): a calendar item
    // the handheld changed takes it as its DTSTAMP and LAST-MODIFIED.  0
    // leaves them as they were.
    int64_t now = 0;
};

// One PC item.  For mail, folder is the host folder (1 received, 2 outbox,
// 3 sent, 4 saved) and seen the Maildir "S" flag; other items leave both.
struct Item {
    std::string text;
    uint32_t folder = 0;
    bool seen = false;
};

// Where a conversion failed: the item's name (its file) and line, 0 when
// no line applies.
struct Problem {
    std::string name;
    uint32_t line = 0;
    std::string reason;
    std::string ToString() const;  // "name:line: reason"
};

// A new item for a device record that has none yet.  uid is the item's UID
// (for mail, the base of its Message-ID).  Converting the same record twice
// gives the same bytes.
bool RecordToItem(int32_t section, const HostRecord& record, const std::string& uid, const Settings& settings,
                  Item* item, Problem* problem);

// The device record an item stands for: every host field the item maps to
// (a field the item has no value for is present and empty), the repeat
// rule and mail folder.  A property the device can hold only in part (a
// richer rule, a time in another zone, a character outside the device's
// character set) is brought to its nearest form, with a line naming the
// item in *warnings.  *uid gets the item's UID (for mail, its Message-ID).
bool ItemToRecord(int32_t section, const Item& item, const std::string& name, const Settings& settings,
                  HostRecord* record, std::string* uid, std::vector<std::string>* warnings, Problem* problem);

// The last synchronised item with a device record's changes: only the
// properties that come from host fields whose values differ from the
// device's record as last synchronised (lastSynced; when not given, the
// item's own device form, ItemToRecord of base) are rewritten; everything
// else, including what the device cannot hold, stays as it was, byte for
// byte where the property is untouched.  The record as last synchronised
// keeps a setting changed since (the device's character set, the zone)
// from reading as a device edit of every field it touches, and spares a
// calendar item's repeat rule the search for its nearest device form; a
// message's fields that follow from its folder and read flag are always
// compared with its own device form where the record puts it.
bool MergeRecord(int32_t section, const Item& base, const HostRecord& record, const Settings& settings,
                 Item* merged, Problem* problem, const HostRecord* lastSynced = nullptr);

// Whether a vCard stands for a group of contacts (4.0's KIND:group, Apple's
// X-ADDRESSBOOKSERVER-KIND:group), not someone the handheld could list:
// such items are another program's, never sent to the handheld.
bool IsContactGroup(const std::string& text);

// A hash of what an item says: blind to PRODID, DTSTAMP, LAST-MODIFIED and
// REV, to the order of properties and to line folding, so that an item
// another program merely re-serialised keeps its hash.  Hex text.
std::string ContentHash(int32_t section, const Item& item);

// The fields that identify a record when two sides are matched by content
// (a slow synchronisation): the mapped fields, normalised (trimmed, line
// ends and case folded), as one text.  Equal keys are the same record.
std::string MatchKey(int32_t section, const HostRecord& record);

// The record as the handheld holds it once the adapter has written it: the
// fields the adapter fills its own way whatever it was sent given the value
// it gives them, so that the device fields a sync keeps for a record it
// wrote are those the handheld will read back.
HostRecord AsWritten(int32_t section, HostRecord record);

// The system's time zone (TZ, /etc/localtime, /etc/timezone) as an Olson
// name, "UTC" when none of them names one: the handheld's zone when
// Settings::timezone is empty.
std::string SystemTimeZone();
// Whether name is a time zone the conversions know (an Olson name, or UTC).
bool IsKnownTimeZone(const std::string& name);

// The file name extension of a section's items: ".vcf", ".ics", "" for mail.
const char* ItemExtension(int32_t section);

}  // namespace morvane_pim

#endif
