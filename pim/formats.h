// Each format's conversions, behind the section-keyed functions of pim.h:
// vCard for the Address book (address_*.cpp), iCalendar for Schedule, ToDo
// and Memo (calendar_*.cpp), RFC 5322 messages for E-mail (mail_*.cpp).
// Their contracts are those of pim.h.
#ifndef MORVANE_PIM_FORMATS_H
#define MORVANE_PIM_FORMATS_H

#include "pim/pim.h"

namespace morvane_pim {

bool AddressToItem(const HostRecord& record, const std::string& uid, const Settings& settings, Item* item,
                   Problem* problem);
bool ItemToAddress(const Item& item, const std::string& name, const Settings& settings, HostRecord* record,
                   std::string* uid, std::vector<std::string>* warnings, Problem* problem);
bool MergeAddress(const Item& base, const HostRecord& record, const Settings& settings, Item* merged,
                  Problem* problem, const HostRecord* lastSynced = nullptr);

// section: Schedule (VEVENT), ToDo (VTODO) or Memo (VJOURNAL).
bool CalendarToItem(int32_t section, const HostRecord& record, const std::string& uid, const Settings& settings,
                    Item* item, Problem* problem);
bool ItemToCalendar(int32_t section, const Item& item, const std::string& name, const Settings& settings,
                    HostRecord* record, std::string* uid, std::vector<std::string>* warnings, Problem* problem);
bool MergeCalendar(int32_t section, const Item& base, const HostRecord& record, const Settings& settings,
                   Item* merged, Problem* problem, const HostRecord* lastSynced = nullptr);
// The section whose component an iCalendar item holds: Schedule (VEVENT),
// ToDo (VTODO) or Memo (VJOURNAL), the first one found; 0 for none.  A
// collection may hold events and tasks together: ItemToCalendar fails with
// a reason starting "not a " for an item of another section.
int32_t CalendarItemKind(const std::string& text);

bool MailToItem(const HostRecord& record, const std::string& uid, const Settings& settings, Item* item,
                Problem* problem);
bool ItemToMail(const Item& item, const std::string& name, const Settings& settings, HostRecord* record,
                std::string* uid, std::vector<std::string>* warnings, Problem* problem);
bool MergeMail(const Item& base, const HostRecord& record, const Settings& settings, Item* merged, Problem* problem,
               const HostRecord* lastSynced = nullptr);

}  // namespace morvane_pim

#endif
