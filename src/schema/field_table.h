/*
 * The device schema: the adapter's own built-in description of the five
 * device databases it serves, and the link name maps that pair the device
 * link library's named fields ("S_START_DATE", ...) with device field ids.
 *
 * Every value the host reads or writes is addressed by a device field id
 * (the host's field number is that id plus 1).  In all five tables the id
 * of a field equals its position.
 *
 * The tables are constant data; a copy of the open database's FieldTable
 * header is the session's currentFieldTable.
 */
#ifndef MORVANE_SCHEMA_FIELD_TABLE_H
#define MORVANE_SCHEMA_FIELD_TABLE_H

#include <stddef.h>
#include <stdint.h>

// Device database ids of the five databases served.
constexpr uint32_t kScheduleDbId = 1;
constexpr uint32_t kToDoDbId = 6;
constexpr uint32_t kAddressDbId = 7;
constexpr uint32_t kMemoDbId = 8;
constexpr uint32_t kMailDbId = 16;

// Device type codes (FieldDescriptor::fieldType) and the value a WorkingField
// holds for each.  Codes 3, 4, 5 and 7 belong to the same numbering but occur
// in no table.
constexpr uint32_t kFieldTypeFlag = 1;         // 1 byte, 0 = off
constexpr uint32_t kFieldTypeSmallNumber = 2;  // 1 byte, unsigned
constexpr uint32_t kFieldTypeNumber = 6;       // 4 bytes, signed; dates are yyyymmdd
constexpr uint32_t kFieldTypeShortNumber = 8;  // 2 bytes; times of day are hhmm
constexpr uint32_t kFieldTypeText = 9;         // length bytes, no terminator

// Link type codes (the type of a link field in _tagS_DVXDBINFO), a numbering
// of their own.  Every code not listed is a value copied byte for byte.
constexpr uint32_t kLinkTypeByte = 1;
constexpr uint32_t kLinkTypeDate = 5;      // 8-byte OLE date
constexpr uint32_t kLinkTypeTime = 6;      // 8-byte OLE date, time of day only
constexpr uint32_t kLinkTypeDateTime = 7;  // 8-byte OLE date

// LinkFieldName::fieldId of a link field that has no device field of its own.
constexpr uint32_t kLinkOnlyField = 0xFFFFFFFFu;

/*
 * FieldDescriptor, 108 bytes, little-endian:
 *   offset  width  meaning
 *        0      4  size, always 108
 *        4     30  name, NUL-terminated and NUL-padded ("ScheduleID")
 *       34     66  displayName; equal to name except in the Address book
 *      100      4  fieldId
 *      104      4  fieldType (device type code)
 * Every member falls on its natural alignment, so no packing is needed.
 */
struct FieldDescriptor {
    uint32_t size;
    char name[30];
    char displayName[66];
    uint32_t fieldId;
    uint32_t fieldType;
};
static_assert(sizeof(FieldDescriptor) == 108, "FieldDescriptor is 108 bytes");
static_assert(offsetof(FieldDescriptor, name) == 4, "name at 4");
static_assert(offsetof(FieldDescriptor, displayName) == 34, "displayName at 34");
static_assert(offsetof(FieldDescriptor, fieldId) == 100, "fieldId at 100");
static_assert(offsetof(FieldDescriptor, fieldType) == 104, "fieldType at 104");

constexpr uint32_t kFieldDescriptorSize = sizeof(FieldDescriptor);

/*
 * FieldTable, 20 bytes on 32-bit targets:
 *   offset  width  meaning
 *        0      4  size (sizeof(FieldTable): 20 on 32-bit targets)
 *        4      4  reserved, always 0
 *        8      4  fieldCount
 *       12      4  descriptors: fieldCount contiguous FieldDescriptors
 *       16      4  tag, always 10
 */
struct FieldTable {
    uint32_t size;
    uint32_t reserved;
    uint32_t fieldCount;
    const FieldDescriptor* descriptors;
    uint32_t tag;
};
static_assert(offsetof(FieldTable, fieldCount) == 8, "FieldTable fieldCount at 8");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FieldTable) == 20, "FieldTable is 20 bytes on 32-bit targets");
static_assert(offsetof(FieldTable, descriptors) == 12, "FieldTable descriptors at 12");
static_assert(offsetof(FieldTable, tag) == 16, "FieldTable tag at 16");
#endif

constexpr uint32_t kFieldTableTag = 10;

/*
 * LinkFieldName, 36 bytes, one entry of a link name map:
 *   offset  width  meaning
 *        0     32  name of a link field, NUL-padded; all zero when the
 *                  device field has no link counterpart
 *       32      4  fieldId: the device field this entry fills, or
 *                  kLinkOnlyField
 */
struct LinkFieldName {
    char name[32];
    uint32_t fieldId;
};
static_assert(sizeof(LinkFieldName) == 36, "LinkFieldName is 36 bytes");
static_assert(offsetof(LinkFieldName, fieldId) == 32, "LinkFieldName fieldId at 32");

// Everything the adapter knows of one database's schema.
struct DatabaseSchema {
    const FieldTable* table;
    const LinkFieldName* linkNames;
    uint32_t linkNameCount;
};

// Selects the tables of device database dbId.  Returns false and clears
// *schema for any id other than 1, 6, 7, 8 and 16.
bool SelectDatabaseSchema(uint32_t dbId, DatabaseSchema* schema);

// The FieldTable of dbId, or null for an id without tables.
const FieldTable* SelectFieldTable(uint32_t dbId);

// Device field ids, named after the fields of each table.
namespace ScheduleField {
enum : uint32_t {
    ScheduleID, RepeatFlag, FromDate, ToDate, FromTime, ToTime, Description, Location, AllDayFlag, EventFlag,
    AlarmFlag, AlarmTime, AlarmUnit, RepeatPeriod, RepeatCount, NoteMemo, DeleteFlag, Secret, Category,
    SilentLoud, TimeZone, DayPattern, RepeatEndDate, Count
};
}
namespace ToDoField {
enum : uint32_t { DueDate, Description, FinishFlag, Priority, Note, Category, Secret, StartDate, EndDate, Count };
}
namespace AddressField {
enum : uint32_t {
    F_Name, M_Name, L_Name, Phone_B, Phone_H, Phone_M, E_Mail_B, E_Mail_H, E_Mail_O, SMS,
    Pager, Fax_B, Fax_H, Company, Title, ZipCode_B, State_B, City_B, Street_B, CountryReg_B,
    ZipCode_H, State_H, City_H, Street_H, CountryReg_H, URL, Custom1, Custom2, Custom3, Custom4,
    NoteMemo, Category, Secret, Nickname, Spouse, HomeWebPage, Department, Birthday, Aniversary, HomeMb,
    Gendar, F_Name_Yomi, L_Name_Yomi, Company_Yomi, Count
};
}
namespace MemoField {
enum : uint32_t { Title, TimeStamp, NoteText, Category, Secret, Count };
}
namespace MailField {
enum : uint32_t {
    MailAddress, FolderID, Type, MessageID, To, From, Cc, Bcc, Subject, Body,
    SendDate, RecvDate, IsRead, IsSent, IsAttachment, IsSMS, ServiceCenterAddress, OriginationAddress,
    ReferenceNumber, TotalNumber, SerialNumber, PDU, Priority, Replytoaddr, FromMail, AttachmentInfo, Count
};
}

#endif
