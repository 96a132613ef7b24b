#include "records/field_map.h"

namespace morvane_host {

namespace {

// Schedule.  The write ids carry the prefixes the adapter reads while a
// record is filled: "2." (repeat flag) clears the pending start and alarm
// times of the previous record, so it goes first; "3." records the start
// date the alarm lead is computed from.  Host field 13 is not written
// back: its id would overwrite the pending alarm date with the alarm unit.
static const HostField kScheduleFields[] = {
    // 0
    {"1",    "1",    "ScheduleID",    WriteRule::kNotSent},
    {"2",    "2.",   "RepeatFlag",    WriteRule::kYesNo},
    {"3",    "3.",   "FromDate",      WriteRule::kPlain},
    {"4",    "4",    "ToDate",        WriteRule::kPlain},
    {"5",    "5",    "FromTime",      WriteRule::kPlain},
    // 5
    {"6",    "6",    "ToTime",        WriteRule::kPlain},
    {"7",    "7",    "Description",   WriteRule::kPlain},
    {"8",    "8",    "Location",      WriteRule::kPlain},
    {"9",    "9",    "AllDayFlag",    WriteRule::kPlain},
    {"10",   "10",   "EventFlag",     WriteRule::kPlain},
    // 10
    {"11",   "11",   "AlarmFlag",     WriteRule::kPlain},
    {"12.D", "12.D", "AlarmTime",     WriteRule::kPlain},
    {"12.T", "12.T", "AlarmTime",     WriteRule::kPlain},
    {"13",   "13",   "AlarmUnit",     WriteRule::kNotSent},
    {"14",   "14",   "RepeatPeriod",  WriteRule::kNotSent},
    // 15
    {"15",   "15",   "RepeatCount",   WriteRule::kNotSent},
    {"16",   "16",   "NoteMemo",      WriteRule::kPlain},
    {"17",   "17",   "DeleteFlag",    WriteRule::kPlain},
    {"18",   "18",   "Secret",        WriteRule::kPlain},
    {"19",   "19",   "Category",      WriteRule::kPlain},
    // 20
    {"20",   "20",   "SilentLoud",    WriteRule::kPlain},
    {"21",   "21",   "TimeZone",      WriteRule::kNotSent},
    {"22",   "22",   "DayPattern",    WriteRule::kPlain},
    {"23",   "23",   "RepeatEndDate", WriteRule::kPlain},
};

static const HostField kToDoFields[] = {
    // 0
    {"1", "1", "DueDate",     WriteRule::kPlain},
    {"2", "2", "Description", WriteRule::kPlain},
    {"3", "3", "FinishFlag",  WriteRule::kPlain},
    {"4", "4", "Priority",    WriteRule::kPlain},
    {"5", "5", "Note",        WriteRule::kPlain},
    // 5
    {"6", "6", "Category",    WriteRule::kPlain},
    {"7", "7", "Secret",      WriteRule::kPlain},
    {"8", "8", "StartDate",   WriteRule::kPlain},
    {"9", "9", "EndDate",     WriteRule::kPlain},
};

static const HostField kAddressFields[] = {
    // 0
    {"1", "1", "F_Name", WriteRule::kPlain},
    {"2", "2", "M_Name", WriteRule::kPlain},
    {"3", "3", "L_Name", WriteRule::kPlain},
    {"4", "4", "Phone_B", WriteRule::kPlain},
    {"5", "5", "Phone_H", WriteRule::kPlain},
    // 5
    {"6", "6", "Phone_M", WriteRule::kPlain},
    {"7", "7", "E_Mail_B", WriteRule::kPlain},
    {"8", "8", "E_Mail_H", WriteRule::kPlain},
    {"9", "9", "E_Mail_O", WriteRule::kPlain},
    {"10", "10", "SMS", WriteRule::kPlain},
    // 10
    {"11", "11", "Pager", WriteRule::kPlain},
    {"12", "12", "Fax_B", WriteRule::kPlain},
    {"13", "13", "Fax_H", WriteRule::kPlain},
    {"14", "14", "Company", WriteRule::kPlain},
    {"15", "15", "Title", WriteRule::kPlain},
    // 15
    {"16", "16", "ZipCode_B", WriteRule::kPlain},
    {"17", "17", "State_B", WriteRule::kPlain},
    {"18", "18", "City_B", WriteRule::kPlain},
    {"19", "19", "Street_B", WriteRule::kPlain},
    {"20", "20", "CountryReg_B", WriteRule::kPlain},
    // 20
    {"21", "21", "ZipCode_H", WriteRule::kPlain},
    {"22", "22", "State_H", WriteRule::kPlain},
    {"23", "23", "City_H", WriteRule::kPlain},
    {"24", "24", "Street_H", WriteRule::kPlain},
    {"25", "25", "CountryReg_H", WriteRule::kPlain},
    // 25
    {"26", "26", "URL", WriteRule::kPlain},
    {"27", "27", "Custom1", WriteRule::kPlain},
    {"28", "28", "Custom2", WriteRule::kPlain},
    {"29", "29", "Custom3", WriteRule::kPlain},
    {"30", "30", "Custom4", WriteRule::kPlain},
    // 30
    {"31", "31", "NoteMemo", WriteRule::kPlain},
    {"32", "32", "Category", WriteRule::kPlain},
    {"33", "33", "Secret", WriteRule::kPlain},
    {"34", "34", "Nickname", WriteRule::kPlain},
    {"35", "35", "Spouse", WriteRule::kPlain},
    // 35
    {"36", "36", "HomeWebPage", WriteRule::kPlain},
    {"37", "37", "Department", WriteRule::kPlain},
    {"38", "38", "Birthday", WriteRule::kPlain},
    {"39", "39", "Aniversary", WriteRule::kPlain},
    {"40", "40", "HomeMb", WriteRule::kPlain},
    // 40
    {"41", "41", "Gendar", WriteRule::kPlain},
    {"42", "42", "F_Name_Yomi", WriteRule::kPlain},
    {"43", "43", "L_Name_Yomi", WriteRule::kPlain},
    {"44", "44", "Company_Yomi", WriteRule::kPlain},
};

// Memo: the title is the first line of the text and must be written before
// the text, which the adapter stores behind it; the time stamp's date half
// comes before its time half.
static const HostField kMemoFields[] = {
    // 0
    {"1",   "1",   "Title",     WriteRule::kPlain},
    {"2.D", "2.D", "TimeStamp", WriteRule::kPlain},
    {"2.T", "2.T", "TimeStamp", WriteRule::kPlain},
    {"3",   "3",   "NoteText",  WriteRule::kPlain},
    {"4",   "4",   "Category",  WriteRule::kPlain},
    // 5
    {"5",   "5",   "Secret",    WriteRule::kPlain},
};

// E-mail: the folder fields are written by the adapter from the folder the
// host sets; the send date's date half comes before its time half.
static const HostField kMailFields[] = {
    // 0
    {"1", "1", "MailAddress", WriteRule::kPlain},
    {"2", "2", "FolderID", WriteRule::kPlain},
    {"3", "3", "Type", WriteRule::kPlain},
    {"4", "4", "MessageID", WriteRule::kPlain},
    {"5", "5", "To", WriteRule::kPlain},
    // 5
    {"6", "6", "From", WriteRule::kPlain},
    {"7", "7", "Cc", WriteRule::kPlain},
    {"8", "8", "Bcc", WriteRule::kPlain},
    {"9", "9", "Subject", WriteRule::kPlain},
    {"10", "10", "Body", WriteRule::kPlain},
    // 10
    {"11.D", "11.D", "SendDate", WriteRule::kPlain},
    {"11.T", "11.T", "SendDate", WriteRule::kPlain},
    {"12", "12", "RecvDate", WriteRule::kPlain},
    {"13", "13", "IsRead", WriteRule::kPlain},
    {"14", "14", "IsSent", WriteRule::kPlain},
    // 15
    {"15", "15", "IsAttachment", WriteRule::kPlain},
    {"16", "16", "IsSMS", WriteRule::kPlain},
    {"17", "17", "ServiceCenterAddress", WriteRule::kPlain},
    {"18", "18", "OriginationAddress", WriteRule::kPlain},
    {"19", "19", "ReferenceNumber", WriteRule::kPlain},
    // 20
    {"20", "20", "TotalNumber", WriteRule::kPlain},
    {"21", "21", "SerialNumber", WriteRule::kPlain},
    {"22", "22", "PDU", WriteRule::kPlain},
    {"23", "23", "Priority", WriteRule::kPlain},
    {"24", "24", "Replytoaddr", WriteRule::kPlain},
    // 25
    {"25", "25", "FromMail", WriteRule::kPlain},
    {"26", "26", "AttachmentInfo", WriteRule::kPlain},
};

#define MORVANE_FIELDS(table) table, static_cast<uint32_t>(sizeof(table) / sizeof(table[0]))

static const HostDatabase kDatabases[] = {
    // 0
    {kScheduleSection, "Schedule",     "schedule", MORVANE_FIELDS(kScheduleFields)},
    {kToDoSection,     "ToDo",         "todo",     MORVANE_FIELDS(kToDoFields)},
    {kAddressSection,  "Address book", "address",  MORVANE_FIELDS(kAddressFields)},
    {kMemoSection,     "Memo",         "memo",     MORVANE_FIELDS(kMemoFields)},
    {kMailSection,     "E-mail",       "mail",     MORVANE_FIELDS(kMailFields)},
};

#undef MORVANE_FIELDS

}  // namespace

const HostDatabase* Databases(uint32_t* count) {
    *count = static_cast<uint32_t>(sizeof(kDatabases) / sizeof(kDatabases[0]));
    return kDatabases;
}

const HostDatabase* FindDatabase(int32_t section) {
    for (const HostDatabase& database : kDatabases)
        if (database.section == section) return &database;
    return nullptr;
}

const HostField* FindField(const HostDatabase& database, const std::string& readId) {
    for (uint32_t i = 0; i < database.fieldCount; ++i)
        if (readId == database.fields[i].readId) return &database.fields[i];
    return nullptr;
}

}  // namespace morvane_host
