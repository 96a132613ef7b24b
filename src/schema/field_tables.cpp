// The five device tables and their link name maps.
#include "schema/field_table.h"

#include <string.h>

namespace {

// Device tables.  In every table a field's id is its position; only the
// Address book gives its fields display names of their own.

static const FieldDescriptor kScheduleFields[] = {
    // 0
    {kFieldDescriptorSize, "ScheduleID",    "ScheduleID",     0, kFieldTypeNumber},
    {kFieldDescriptorSize, "RepeatFlag",    "RepeatFlag",     1, kFieldTypeFlag},
    {kFieldDescriptorSize, "FromDate",      "FromDate",       2, kFieldTypeNumber},
    {kFieldDescriptorSize, "ToDate",        "ToDate",         3, kFieldTypeNumber},
    {kFieldDescriptorSize, "FromTime",      "FromTime",       4, kFieldTypeShortNumber},
    // 5
    {kFieldDescriptorSize, "ToTime",        "ToTime",         5, kFieldTypeShortNumber},
    {kFieldDescriptorSize, "Description",   "Description",    6, kFieldTypeText},
    {kFieldDescriptorSize, "Location",      "Location",       7, kFieldTypeText},
    {kFieldDescriptorSize, "AllDayFlag",    "AllDayFlag",     8, kFieldTypeFlag},
    {kFieldDescriptorSize, "EventFlag",     "EventFlag",      9, kFieldTypeFlag},
    // 10
    {kFieldDescriptorSize, "AlarmFlag",     "AlarmFlag",     10, kFieldTypeFlag},
    {kFieldDescriptorSize, "AlarmTime",     "AlarmTime",     11, kFieldTypeShortNumber},
    {kFieldDescriptorSize, "AlarmUnit",     "AlarmUnit",     12, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "RepeatPeriod",  "RepeatPeriod",  13, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "RepeatCount",   "RepeatCount",   14, kFieldTypeSmallNumber},
    // 15
    {kFieldDescriptorSize, "NoteMemo",      "NoteMemo",      15, kFieldTypeText},
    {kFieldDescriptorSize, "DeleteFlag",    "DeleteFlag",    16, kFieldTypeFlag},
    {kFieldDescriptorSize, "Secret",        "Secret",        17, kFieldTypeNumber},
    {kFieldDescriptorSize, "Category",      "Category",      18, kFieldTypeText},
    {kFieldDescriptorSize, "SilentLoud",    "SilentLoud",    19, kFieldTypeFlag},
    // 20
    {kFieldDescriptorSize, "TimeZone",      "TimeZone",      20, kFieldTypeShortNumber},
    {kFieldDescriptorSize, "DayPattern",    "DayPattern",    21, kFieldTypeShortNumber},
    {kFieldDescriptorSize, "RepeatEndDate", "RepeatEndDate", 22, kFieldTypeNumber},
};

static const FieldDescriptor kToDoFields[] = {
    // 0
    {kFieldDescriptorSize, "DueDate",     "DueDate",      0, kFieldTypeNumber},
    {kFieldDescriptorSize, "Description", "Description",  1, kFieldTypeText},
    {kFieldDescriptorSize, "FinishFlag",  "FinishFlag",   2, kFieldTypeFlag},
    {kFieldDescriptorSize, "Priority",    "Priority",     3, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "Note",        "Note",         4, kFieldTypeText},
    // 5
    {kFieldDescriptorSize, "Category",    "Category",     5, kFieldTypeText},
    {kFieldDescriptorSize, "Secret",      "Secret",       6, kFieldTypeNumber},
    {kFieldDescriptorSize, "StartDate",   "StartDate",    7, kFieldTypeNumber},
    {kFieldDescriptorSize, "EndDate",     "EndDate",      8, kFieldTypeNumber},
};

static const FieldDescriptor kAddressFields[] = {
    // 0
    {kFieldDescriptorSize, "F_Name",       "First Name",                 0, kFieldTypeText},
    {kFieldDescriptorSize, "M_Name",       "Middle Name",                1, kFieldTypeText},
    {kFieldDescriptorSize, "L_Name",       "Last Name",                  2, kFieldTypeText},
    {kFieldDescriptorSize, "Phone_B",      "Phone Business",             3, kFieldTypeText},
    {kFieldDescriptorSize, "Phone_H",      "Phone Home",                 4, kFieldTypeText},
    // 5
    {kFieldDescriptorSize, "Phone_M",      "Phone Mobile",               5, kFieldTypeText},
    {kFieldDescriptorSize, "E_Mail_B",     "E-Mail Business",            6, kFieldTypeText},
    {kFieldDescriptorSize, "E_Mail_H",     "E-Mail Home",                7, kFieldTypeText},
    {kFieldDescriptorSize, "E_Mail_O",     "E-Mail Other",               8, kFieldTypeText},
    {kFieldDescriptorSize, "SMS",          "SMS",                        9, kFieldTypeText},
    // 10
    {kFieldDescriptorSize, "Pager",        "Pager",                     10, kFieldTypeText},
    {kFieldDescriptorSize, "Fax_B",        "Fax Business",              11, kFieldTypeText},
    {kFieldDescriptorSize, "Fax_H",        "Fax Home",                  12, kFieldTypeText},
    {kFieldDescriptorSize, "Company",      "Company Name",              13, kFieldTypeText},
    {kFieldDescriptorSize, "Title",        "Title",                     14, kFieldTypeText},
    // 15
    {kFieldDescriptorSize, "ZipCode_B",    "Zip Code (Business)",       15, kFieldTypeText},
    {kFieldDescriptorSize, "State_B",      "State (Business)",          16, kFieldTypeText},
    {kFieldDescriptorSize, "City_B",       "City (Business)",           17, kFieldTypeText},
    {kFieldDescriptorSize, "Street_B",     "Street (Business)",         18, kFieldTypeText},
    {kFieldDescriptorSize, "CountryReg_B", "Country/Region (Business)", 19, kFieldTypeText},
    // 20
    {kFieldDescriptorSize, "ZipCode_H",    "Zip Code (Home)",           20, kFieldTypeText},
    {kFieldDescriptorSize, "State_H",      "State (Home)",              21, kFieldTypeText},
    {kFieldDescriptorSize, "City_H",       "City (Home)",               22, kFieldTypeText},
    {kFieldDescriptorSize, "Street_H",     "Street (Home)",             23, kFieldTypeText},
    {kFieldDescriptorSize, "CountryReg_H", "Country/Region (Home)",     24, kFieldTypeText},
    // 25
    {kFieldDescriptorSize, "URL",          "URL",                       25, kFieldTypeText},
    {kFieldDescriptorSize, "Custom1",      "Custom Field 1",            26, kFieldTypeText},
    {kFieldDescriptorSize, "Custom2",      "Custom Field 2",            27, kFieldTypeText},
    {kFieldDescriptorSize, "Custom3",      "Custom Field 3",            28, kFieldTypeText},
    {kFieldDescriptorSize, "Custom4",      "Custom Field4",             29, kFieldTypeText},
    // 30
    {kFieldDescriptorSize, "NoteMemo",     "Note Memo",                 30, kFieldTypeText},
    {kFieldDescriptorSize, "Category",     "Category",                  31, kFieldTypeText},
    {kFieldDescriptorSize, "Secret",       "Secret",                    32, kFieldTypeNumber},
    {kFieldDescriptorSize, "Nickname",     "Nickname",                  33, kFieldTypeText},
    {kFieldDescriptorSize, "Spouse",       "Spouse",                    34, kFieldTypeText},
    // 35
    {kFieldDescriptorSize, "HomeWebPage",  "HomeWebPage",               35, kFieldTypeText},
    {kFieldDescriptorSize, "Department",   "Department",                36, kFieldTypeText},
    {kFieldDescriptorSize, "Birthday",     "Birthday",                  37, kFieldTypeNumber},
    {kFieldDescriptorSize, "Aniversary",   "Aniversary",                38, kFieldTypeNumber},
    {kFieldDescriptorSize, "HomeMb",       "HomeMb",                    39, kFieldTypeText},
    // 40
    {kFieldDescriptorSize, "Gendar",       "Gendar",                    40, kFieldTypeText},
    {kFieldDescriptorSize, "F_Name_Yomi",  "F_Name_Yomi",               41, kFieldTypeText},
    {kFieldDescriptorSize, "L_Name_Yomi",  "L_Name_Yomi",               42, kFieldTypeText},
    {kFieldDescriptorSize, "Company_Yomi", "Company_Yomi",              43, kFieldTypeText},
};

static const FieldDescriptor kMemoFields[] = {
    // 0
    {kFieldDescriptorSize, "Title",     "Title",      0, kFieldTypeText},
    {kFieldDescriptorSize, "TimeStamp", "TimeStamp",  1, kFieldTypeText},
    {kFieldDescriptorSize, "NoteText",  "NoteText",   2, kFieldTypeText},
    {kFieldDescriptorSize, "Category",  "Category",   3, kFieldTypeText},
    {kFieldDescriptorSize, "Secret",    "Secret",     4, kFieldTypeNumber},
};

static const FieldDescriptor kMailFields[] = {
    // 0
    {kFieldDescriptorSize, "MailAddress",          "MailAddress",           0, kFieldTypeText},
    {kFieldDescriptorSize, "FolderID",             "FolderID",              1, kFieldTypeNumber},
    {kFieldDescriptorSize, "Type",                 "Type",                  2, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "MessageID",            "MessageID",             3, kFieldTypeText},
    {kFieldDescriptorSize, "To",                   "To",                    4, kFieldTypeText},
    // 5
    {kFieldDescriptorSize, "From",                 "From",                  5, kFieldTypeText},
    {kFieldDescriptorSize, "Cc",                   "Cc",                    6, kFieldTypeText},
    {kFieldDescriptorSize, "Bcc",                  "Bcc",                   7, kFieldTypeText},
    {kFieldDescriptorSize, "Subject",              "Subject",               8, kFieldTypeText},
    {kFieldDescriptorSize, "Body",                 "Body",                  9, kFieldTypeText},
    // 10
    {kFieldDescriptorSize, "SendDate",             "SendDate",             10, kFieldTypeText},
    {kFieldDescriptorSize, "RecvDate",             "RecvDate",             11, kFieldTypeText},
    {kFieldDescriptorSize, "IsRead",               "IsRead",               12, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "IsSent",               "IsSent",               13, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "IsAttachment",         "IsAttachment",         14, kFieldTypeSmallNumber},
    // 15
    {kFieldDescriptorSize, "IsSMS",                "IsSMS",                15, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "ServiceCenterAddress", "ServiceCenterAddress", 16, kFieldTypeText},
    {kFieldDescriptorSize, "OriginationAddress",   "OriginationAddress",   17, kFieldTypeText},
    {kFieldDescriptorSize, "ReferenceNumber",      "ReferenceNumber",      18, kFieldTypeNumber},
    {kFieldDescriptorSize, "TotalNumber",          "TotalNumber",          19, kFieldTypeNumber},
    // 20
    {kFieldDescriptorSize, "SerialNumber",         "SerialNumber",         20, kFieldTypeNumber},
    {kFieldDescriptorSize, "PDU",                  "PDU",                  21, kFieldTypeText},
    {kFieldDescriptorSize, "Priority",             "Priority",             22, kFieldTypeSmallNumber},
    {kFieldDescriptorSize, "Replytoaddr",          "Replytoaddr",          23, kFieldTypeText},
    {kFieldDescriptorSize, "FromMail",             "FromMail",             24, kFieldTypeText},
    // 25
    {kFieldDescriptorSize, "AttachmentInfo",       "AttachmentInfo",       25, kFieldTypeText},
};

// Link name maps.  Entry k fills device field k unless its id says
// otherwise.  An empty name marks a device field without a link counterpart;
// kLinkOnlyField marks a link field without a device field of its own.
// ToDo crosses two dates: "S_COMPLETION_DATE" fills EndDate (8) and
// "S_END_DATE" fills DueDate (0).  In E-mail both "S_SEND_DATE" and
// "S_RECEIVED_DATE" fill SendDate (10), the later entry winning when a
// record is read; RecvDate has no link field.

static const LinkFieldName kScheduleLinkNames[] = {
    // 0
    {"",                     0},
    {"S_REPEAT_FLAG",        1},
    {"S_START_DATE",         2},
    {"S_END_DATE",           3},
    {"S_START_TIME",         4},
    // 5
    {"S_END_TIME",           5},
    {"S_DESCRIPTION4",       6},
    {"S_LOCATION",           7},
    {"S_ALLDAY_FLAG",        8},
    {"S_EVENT_FLAG",         9},
    // 10
    {"S_ALARM_FLAG",        10},
    {"S_ALARM_TIME",        11},
    {"",                    12},
    {"S_REPEAT_PREIOD",     13},
    {"S_REPEAT_COUNT",      14},
    // 15
    {"S_NOTEMEMO",          15},
    {"S_DELETE_FLAG",       16},
    {"S_CONFIDENTIAL1",     17},
    {"S_CATEGORY",          18},
    {"S_SILENT_LOUD",       19},
    // 20
    {"",                    20},
    {"S_DAYPATTERN",        21},
    {"S_FIELD_REPEAT_END",  22},
};

static const LinkFieldName kToDoLinkNames[] = {
    // 0
    {"S_COMPLETION_DATE",   8},
    {"S_DESCRIPTION3",      1},
    {"S_COMPLETED",         2},
    {"S_PRIORITY",          3},
    {"S_NOTEMEMO",          4},
    // 5
    {"S_CATEGORY",          5},
    {"S_CONFIDENTIAL1",     6},
    {"S_START_DATE",        7},
    {"S_END_DATE",          0},
};

static const LinkFieldName kAddressLinkNames[] = {
    // 0
    {"S_FIRST_NAME",          0},
    {"S_MIDDLE_NAME",         1},
    {"S_LAST_NAME",           2},
    {"S_BUSINESS_PHONE",      3},
    {"S_HOME_PHONE",          4},
    // 5
    {"S_PHONE_MOBILE",        5},
    {"S_BUSINESS_EMAIL",      6},
    {"S_HOME_EMAIL",          7},
    {"S_OTHER_EMAIL",         8},
    {"",                      9},
    // 10
    {"S_PHONE_PAGER",        10},
    {"S_BUSINESS_FAX",       11},
    {"S_HOME_FAX",           12},
    {"S_COMPANY",            13},
    {"S_JOB_POSITION",       14},
    // 15
    {"S_BUSINESS_ZIP",       15},
    {"S_STATE_B",            16},
    {"S_CITY_B",             17},
    {"S_STREET_B",           18},
    {"S_COUNTRYREG_B",       19},
    // 20
    {"S_HOME_ZIP",           20},
    {"S_STATE_H",            21},
    {"S_CITY_H",             22},
    {"S_STREET_H",           23},
    {"S_COUNTRYREG_H",       24},
    // 25
    {"S_BUSINESS_WEBPAGE",   25},
    {"",                     26},
    {"",                     27},
    {"",                     28},
    {"",                     29},
    // 30
    {"S_NOTE1",              30},
    {"S_CATEGORY",           31},
    {"S_CONFIDENTIAL1",      32},
    {"S_NICKNAME",           33},
    {"S_SPOUSE",             34},
    // 35
    {"S_HOME_WEBPAGE",       35},
    {"S_DEPARTMENT",         36},
    {"S_BIRTHDAY",           37},
    {"S_ANIVERSARY",         38},
    {"S_HOME_PHONE_MOBILE",  39},
    // 40
    {"S_GENDAR",             40},
    {"S_YOMI_FIRST_NAME",    41},
    {"S_YOMI_LAST_NAME",     42},
    {"S_YOMI_COMPANY",       43},
    {"S_NAME",               kLinkOnlyField},
    // 45
    {"S_YOMI_NAME",          kLinkOnlyField},
    {"S_HOME_PHONE2",        kLinkOnlyField},
    {"S_HOME_ADDRESS",       kLinkOnlyField},
    {"S_BUSINESS_PHONE2",    kLinkOnlyField},
    {"S_BUSINESS_ADDRESS",   kLinkOnlyField},
    // 50
    {"S_ATTACHMENT2",        kLinkOnlyField},
    {"S_YOMI_MIDDLE_NAME",   kLinkOnlyField},
    {"SNYOMI_NAME",          kLinkOnlyField},
    {"SNYOMI_COMPANY",       kLinkOnlyField},
};

static const LinkFieldName kMemoLinkNames[] = {
    // 0
    {"S_PAGE_TITLE",          0},
    {"S_START_DATETIME",      1},
    {"S_PAGE_NOTE",           2},
    {"S_NOTE_CATEGORIES",     3},
    {"S_CONFIDENTIAL1",       4},
    // 5
    {"S_CREATION_DATETIME",  kLinkOnlyField},
};

static const LinkFieldName kMailLinkNames[] = {
    // 0
    {"",                  0},
    {"S_FOLDERID",        1},
    {"S_TYPE",            2},
    {"",                  3},
    {"S_TO",              4},
    // 5
    {"S_FROM",            5},
    {"S_CC",              6},
    {"S_BCC",             7},
    {"S_SUBJECT",         8},
    {"S_BODY",            9},
    // 10
    {"S_SEND_DATE",      10},
    {"S_RECEIVED_DATE",  10},
    {"S_IS_READ",        12},
    {"S_IS_SENT",        13},
    {"S_ATTACHMENT2",    14},
    // 15
    {"S_ISSMS",          15},
    {"",                 16},
    {"",                 17},
    {"",                 18},
    {"",                 19},
    // 20
    {"",                 20},
    {"",                 21},
    {"S_PRIORITY",       22},
    {"",                 23},
    {"",                 24},
    // 25
    {"S_ATTACHMENT3",    25},
    {"S_SIZE",           kLinkOnlyField},
    {"S_MAILID",         kLinkOnlyField},
    {"S_MAILINFO",       kLinkOnlyField},
    {"S_CONFIDENTIAL1",  kLinkOnlyField},
};

template <size_t N>
constexpr FieldTable MakeTable(const FieldDescriptor (&descriptors)[N]) {
    return FieldTable{sizeof(FieldTable), 0, static_cast<uint32_t>(N), descriptors, kFieldTableTag};
}

static const FieldTable kScheduleTable = MakeTable(kScheduleFields);
static const FieldTable kToDoTable = MakeTable(kToDoFields);
static const FieldTable kAddressTable = MakeTable(kAddressFields);
static const FieldTable kMemoTable = MakeTable(kMemoFields);
static const FieldTable kMailTable = MakeTable(kMailFields);

struct SchemaEntry {
    uint32_t dbId;
    const FieldTable* table;
    const LinkFieldName* linkNames;
    uint32_t linkNameCount;
};

#define MORVANE_LINK_MAP(map) map, static_cast<uint32_t>(sizeof(map) / sizeof(map[0]))

static const SchemaEntry kSchemas[] = {
    // 0
    {kScheduleDbId, &kScheduleTable, MORVANE_LINK_MAP(kScheduleLinkNames)},
    {kToDoDbId,     &kToDoTable,     MORVANE_LINK_MAP(kToDoLinkNames)},
    {kAddressDbId,  &kAddressTable,  MORVANE_LINK_MAP(kAddressLinkNames)},
    {kMemoDbId,     &kMemoTable,     MORVANE_LINK_MAP(kMemoLinkNames)},
    {kMailDbId,     &kMailTable,     MORVANE_LINK_MAP(kMailLinkNames)},
};

#undef MORVANE_LINK_MAP

}  // namespace

bool SelectDatabaseSchema(uint32_t dbId, DatabaseSchema* schema) {
    for (const SchemaEntry& entry : kSchemas) {
        if (entry.dbId == dbId) {
            schema->table = entry.table;
            schema->linkNames = entry.linkNames;
            schema->linkNameCount = entry.linkNameCount;
            return true;
        }
    }
    memset(schema, 0, sizeof(*schema));
    return false;
}

const FieldTable* SelectFieldTable(uint32_t dbId) {
    DatabaseSchema schema;
    return SelectDatabaseSchema(dbId, &schema) ? schema.table : nullptr;
}
