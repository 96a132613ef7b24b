// The device's link field lists and the value helpers of the simulator API.
#include "device/ole_date.h"
#include "device/simulator.h"

#include <cstring>

namespace tethra_sim {

namespace {

struct FieldRow {
    const char* name;
    uint32_t type;
};

// Schedule (database 1).
static const FieldRow kScheduleFields[] = {
    {"S_DESCRIPTION4", kLinkText},      {"S_LOCATION", kLinkText},
    {"S_START_DATE", kLinkDate},        {"S_END_DATE", kLinkDate},
    {"S_START_TIME", kLinkTime},        // 5
    {"S_END_TIME", kLinkTime},          {"S_ALLDAY_FLAG", kLinkByte},
    {"S_EVENT_FLAG", kLinkByte},        {"S_ALARM_FLAG", kLinkByte},
    {"S_ALARM_TIME", kLinkTime},        // 10
    {"S_REPEAT_FLAG", kLinkByte},       {"S_REPEAT_PREIOD", kLinkByte},
    {"S_REPEAT_COUNT", kLinkByte},      {"S_DAYPATTERN", kLinkByte},
    {"S_FIELD_REPEAT_END", kLinkDate},  // 15
    {"S_NOTEMEMO", kLinkText},          {"S_DELETE_FLAG", kLinkByte},
    {"S_CONFIDENTIAL1", kLinkNumber},   {"S_CATEGORY", kLinkText},
    {"S_SILENT_LOUD", kLinkByte},       // 20
};

// ToDo (database 6).
static const FieldRow kTodoFields[] = {
    {"S_DESCRIPTION3", kLinkText},     {"S_START_DATE", kLinkDate},
    {"S_END_DATE", kLinkDate},         {"S_COMPLETED", kLinkByte},
    {"S_COMPLETION_DATE", kLinkDate},  // 5
    {"S_PRIORITY", kLinkByte},         {"S_NOTEMEMO", kLinkText},
    {"S_CATEGORY", kLinkText},         {"S_CONFIDENTIAL1", kLinkNumber},
};

// Address book (database 7): the composed names come first on the device.
static const FieldRow kAddressFields[] = {
    {"S_NAME", kLinkText},               {"S_YOMI_NAME", kLinkText},
    {"S_FIRST_NAME", kLinkText},         {"S_MIDDLE_NAME", kLinkText},
    {"S_LAST_NAME", kLinkText},          // 5
    {"S_BUSINESS_PHONE", kLinkText},     {"S_HOME_PHONE", kLinkText},
    {"S_PHONE_MOBILE", kLinkText},       {"S_BUSINESS_EMAIL", kLinkText},
    {"S_HOME_EMAIL", kLinkText},         // 10
    {"S_OTHER_EMAIL", kLinkText},        {"S_PHONE_PAGER", kLinkText},
    {"S_BUSINESS_FAX", kLinkText},       {"S_HOME_FAX", kLinkText},
    {"S_COMPANY", kLinkText},            // 15
    {"S_JOB_POSITION", kLinkText},       {"S_BUSINESS_ZIP", kLinkText},
    {"S_STATE_B", kLinkText},            {"S_CITY_B", kLinkText},
    {"S_STREET_B", kLinkText},           // 20
    {"S_COUNTRYREG_B", kLinkText},       {"S_HOME_ZIP", kLinkText},
    {"S_STATE_H", kLinkText},            {"S_CITY_H", kLinkText},
    {"S_STREET_H", kLinkText},           // 25
    {"S_COUNTRYREG_H", kLinkText},       {"S_BUSINESS_WEBPAGE", kLinkText},
    {"S_NOTE1", kLinkText},              {"S_CATEGORY", kLinkText},
    {"S_CONFIDENTIAL1", kLinkNumber},    // 30
    {"S_NICKNAME", kLinkText},           {"S_SPOUSE", kLinkText},
    {"S_HOME_WEBPAGE", kLinkText},       {"S_DEPARTMENT", kLinkText},
    {"S_BIRTHDAY", kLinkDate},           // 35
    {"S_ANIVERSARY", kLinkDate},         {"S_HOME_PHONE_MOBILE", kLinkText},
    {"S_GENDAR", kLinkText},             {"S_YOMI_FIRST_NAME", kLinkText},
    {"S_YOMI_LAST_NAME", kLinkText},     // 40
    {"S_YOMI_COMPANY", kLinkText},       {"S_HOME_PHONE2", kLinkText},
    {"S_HOME_ADDRESS", kLinkText},       {"S_BUSINESS_PHONE2", kLinkText},
    {"S_BUSINESS_ADDRESS", kLinkText},   // 45
    {"S_ATTACHMENT2", kLinkText},        {"S_YOMI_MIDDLE_NAME", kLinkText},
    {"SNYOMI_NAME", kLinkText},          {"SNYOMI_COMPANY", kLinkText},
};

// Memo (database 8).
static const FieldRow kMemoFields[] = {
    {"S_PAGE_TITLE", kLinkText},          {"S_PAGE_NOTE", kLinkText},
    {"S_START_DATETIME", kLinkDateTime},  {"S_CREATION_DATETIME", kLinkDateTime},
    {"S_NOTE_CATEGORIES", kLinkText},     // 5
    {"S_CONFIDENTIAL1", kLinkNumber},
};

// E-mail (databases 16 and 15, one list); "S_FOLDERID" is not the first.
static const FieldRow kMailFields[] = {
    {"S_MAILID", kLinkNumber},         {"S_FOLDERID", kLinkNumber},
    {"S_TYPE", kLinkByte},             {"S_TO", kLinkText},
    {"S_FROM", kLinkText},             // 5
    {"S_CC", kLinkText},               {"S_BCC", kLinkText},
    {"S_SUBJECT", kLinkText},          {"S_BODY", kLinkText},
    {"S_SEND_DATE", kLinkDateTime},    // 10
    {"S_RECEIVED_DATE", kLinkDateTime}, {"S_IS_READ", kLinkByte},
    {"S_IS_SENT", kLinkByte},          {"S_ATTACHMENT2", kLinkByte},
    {"S_ISSMS", kLinkByte},            // 15
    {"S_PRIORITY", kLinkByte},         {"S_ATTACHMENT3", kLinkText},
    {"S_SIZE", kLinkNumber},           {"S_MAILINFO", kLinkText},
    {"S_CONFIDENTIAL1", kLinkNumber},  // 20
};

template <size_t N>
std::vector<LinkField> ToList(const FieldRow (&rows)[N]) {
    std::vector<LinkField> list;
    for (const FieldRow& row : rows) list.push_back({row.name, row.type});
    return list;
}

LinkValue LittleEndian(uint32_t value, size_t width) {
    LinkValue v;
    for (size_t i = 0; i < width; ++i) v.bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return v;
}

LinkValue DoubleValue(double d) {
    LinkValue v;
    v.bytes.resize(sizeof d);
    std::memcpy(v.bytes.data(), &d, sizeof d);
    return v;
}

}  // namespace

std::vector<LinkField> BuiltInFields(uint32_t dbId) {
    switch (dbId) {
    case 1: return ToList(kScheduleFields);
    case 6: return ToList(kTodoFields);
    case 7: return ToList(kAddressFields);
    case 8: return ToList(kMemoFields);
    case 15:
    case 16: return ToList(kMailFields);
    default: return {};
    }
}

LinkValue TextValue(const std::string& text) {
    LinkValue v;
    v.bytes.assign(text.begin(), text.end());
    return v;
}

LinkValue ByteValue(uint8_t value) { return LittleEndian(value, 1); }
LinkValue ShortValue(int16_t value) { return LittleEndian(static_cast<uint16_t>(value), 2); }
LinkValue NumberValue(int32_t value) { return LittleEndian(static_cast<uint32_t>(value), 4); }

LinkValue DateValue(int year, int month, int day) { return DoubleValue(OleDate(year, month, day, 0, 0, 0)); }
LinkValue TimeValue(int hour, int minute, int second) { return DoubleValue(OleDate(1899, 12, 30, hour, minute, second)); }
LinkValue DateTimeValue(int year, int month, int day, int hour, int minute, int second) {
    return DoubleValue(OleDate(year, month, day, hour, minute, second));
}

LinkValue AbsentValue() {
    LinkValue v;
    v.absent = true;
    return v;
}

double OleDate(int year, int month, int day, int hour, int minute, int second) {
    return CivilToOle(CivilTime{year, month, day, hour, minute, second});
}

double OleDateOf(const LinkValue& value) {
    double d = 0;
    if (value.absent || value.bytes.size() != sizeof d) return 0;
    std::memcpy(&d, value.bytes.data(), sizeof d);
    return d;
}

}  // namespace tethra_sim
