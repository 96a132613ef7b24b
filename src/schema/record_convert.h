/*
 * Whole-record conversion between the link schema (the device link
 * library's named fields, slots in the order of the database's link field
 * info, values in link encodings) and the device schema (working fields in
 * the order of the database's FieldTable), through the database's link name
 * map.
 *
 * Link encodings by link type code: 1 a single byte (sent as 4 bytes);
 * 5 date, 6 time of day, 7 date and time, each an 8-byte OLE date; any
 * other code bytes copied unchanged.  A length of 0 is an empty value, a
 * length of kValueAbsent a value the link library reports absent.
 *
 * Both directions allocate the slot array and every value zero-filled from
 * the heap the caller passes, and free nothing: a failed conversion (out of
 * memory) returns null and leaves what it allocated to die with that heap.
 * The device's records are not trusted: a value with a length but no data
 * converts as empty, a value shorter than its link type's width as its
 * zero-extended bytes, link field names are compared within their 96
 * bytes, and a record with fewer slots than its field info leaves the
 * fields of the missing slots empty.
 */
#ifndef MORVANE_SCHEMA_RECORD_CONVERT_H
#define MORVANE_SCHEMA_RECORD_CONVERT_H

#include "link/device_link.h"
#include "link/tethra.h"
#include "platform/win32api.h"
#include "schema/working_record.h"
#include <stdint.h>

// What the conversions read of the device link: the two flags it learns
// from the device's system information when the link is opened.
struct ConversionOptions {
    // Device of the old model: no ToDo priority remap.
    uint32_t noMerge;
    // Address book "S_NAME" is composed family name first.
    uint32_t familyNameFirst;
};

inline ConversionOptions ConversionOptionsOf(const CDeviceLink& link) {
    return ConversionOptions{link.noMerge, link.familyNameFirst};
}

// Builds the working field array (one slot per descriptor of dbId's
// FieldTable) of linkRecord, whose slots follow linkInfo.  Dates, times and
// date-times become yyyymmdd / hhmm numbers or yyyymmddhhmmss text by the
// device field's type; the ToDo priority byte is remapped from the device's
// 0-5 scale to the host's 1-3 unless noMerge.  When two map entries fill
// the same device field the later wins (E-mail "S_RECEIVED_DATE" over
// "S_SEND_DATE"); when the later one is empty or absent, only the length
// changes, and since every value buffer holds a zero byte past the value's
// length, the value left behind still ends inside its buffer.  Null for a
// dbId without tables or when memory runs out.
WorkingField* ConvertLinkToWorking(const ConversionOptions& options, uint32_t dbId, const _tagDVXDBREC* linkRecord,
                                   HANDLE heap, const _tagS_DVXDBINFO* linkInfo);

inline WorkingField* ConvertLinkToWorking(const CDeviceLink& link, uint32_t dbId, const _tagDVXDBREC* linkRecord,
                                          HANDLE heap, const _tagS_DVXDBINFO* linkInfo) {
    return ConvertLinkToWorking(ConversionOptionsOf(link), dbId, linkRecord, heap, linkInfo);
}

// Where each link name map entry of one database takes its value from: the
// descriptor and link field positions the entry resolves to, found by name
// once per link field list instead of for every record.  Entries that
// convert nothing (link-only, unnamed, or naming a field the list lacks)
// have no step; the others keep the map's order, so a later entry still
// replaces what an earlier one stored.
// What a step makes of a value, decided by the link type and the device
// field's type when the plan is made.
enum class LinkStepKind : uint8_t {
    kCopy,             // the bytes as they are
    kCopyPriority,     // a byte value for the ToDo Priority, remapped unless noMerge
    kDateText,         // a date as its text
    kDateNumber,       // a date as a 4-byte number
    kDateShortNumber,  // a date as a 2-byte number
    kDateIgnored,      // a date for a field that cannot hold one: the slot keeps what it had
};
struct LinkPlanStep {
    uint32_t descriptor;  // position in the database's FieldTable
    uint32_t linkField;   // position in the link field list and in a link record's slots
    uint32_t linkType;    // the link field's type code
    LinkStepKind kind;
};
constexpr uint32_t kMaxLinkPlanSteps = 128;
struct LinkFieldPlan {
    // What the plan was made from.  dbId 0: no plan.
    uint32_t dbId = 0;
    const _tagS_DVXFIELDINFO* linkFields = nullptr;
    uint32_t linkFieldCount = 0;
    const FieldTable* table = nullptr;
    uint32_t stepCount = 0;
    LinkPlanStep steps[kMaxLinkPlanSteps];
};

// Resolves dbId's link name map against linkInfo into *plan.  False (and no
// plan) for a dbId without tables or a map longer than a plan holds.
bool BuildLinkFieldPlan(uint32_t dbId, const _tagS_DVXDBINFO* linkInfo, LinkFieldPlan* plan);

// Whether plan was made for dbId and this very link field list.
inline bool LinkFieldPlanFits(const LinkFieldPlan& plan, uint32_t dbId, const _tagS_DVXDBINFO* linkInfo) {
    return plan.dbId != 0 && plan.dbId == dbId && linkInfo != nullptr && plan.linkFields == linkInfo->fields &&
           plan.linkFieldCount == linkInfo->fieldCount;
}

// ConvertLinkToWorking through a plan made for the link field list that
// linkRecord's slots follow.
WorkingField* ConvertLinkToWorkingByPlan(const ConversionOptions& options, const LinkFieldPlan& plan,
                                         const _tagDVXDBREC* linkRecord, HANDLE heap);

// Builds the link field array (one slot per field of linkInfo) of the
// working record.  Numbers and text holding dates, times and date-times
// become OLE dates (eight zero bytes when they do not form a valid date);
// type 1 link fields get 4-byte values; the ToDo priority is remapped to
// the device's scale unless noMerge; Address book "S_NAME" and
// "S_YOMI_NAME" are composed from the name parts.  Every link field no map
// entry fills is sent empty; only absent device values are sent absent.
// Null for a dbId without tables or when memory runs out.
_tagDVXFIELD* ConvertToLinkRecord(const ConversionOptions& options, uint32_t dbId, const WorkingRecord* record,
                                  HANDLE heap, const _tagS_DVXDBINFO* linkInfo);

inline _tagDVXFIELD* ConvertToLinkRecord(const CDeviceLink& link, uint32_t dbId, const WorkingRecord* record,
                                         HANDLE heap, const _tagS_DVXDBINFO* linkInfo) {
    return ConvertToLinkRecord(ConversionOptionsOf(link), dbId, record, heap, linkInfo);
}

#endif
