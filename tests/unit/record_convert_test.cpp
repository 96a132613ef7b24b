// The record converters: link records from the device into working fields and back, built by hand the
// way the device link library hands them over (field infos of 104-byte entries, records whose slots follow
// them, values in a Windows heap); also fed what a misbehaving device or careless caller could hand over.
// (The export tests convert every field of a record of each database; the rows here are the special cases.)
#include "device/simulator.h"
#include "link/tethra.h"
#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"
#include "schema/working_record.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Link type codes: 1 (byte), 5 (date), 6 (time), 7 (date and time) are the link library's own; text is
// copied whatever its code.
constexpr uint32_t kByte = 1, kDate = 5, kTime = 6, kDateTime = 7, kText = 16;

constexpr ConversionOptions kNewModel{0, 0};
constexpr ConversionOptions kOldModel{1, 0};  // no ToDo priority remap
constexpr ConversionOptions kFamilyFirst{0, 1};

// OLE dates: days since 30 December 1899, the fraction the time of day.
constexpr double k31Dec2003 = 37986.0;
constexpr double k15Apr2003 = 37726.0;
constexpr double k1745 = (17 * 60 + 45) / 1440.0;
constexpr double k0930 = (9 * 60 + 30) / 1440.0;

// A heap destroyed with the test.
struct TestHeap {
    HANDLE heap = HeapCreate(0, 1, 0);
    ~TestHeap() { HeapDestroy(heap); }
    HANDLE get() const { return heap; }
};

using Fields = std::vector<std::pair<std::string, uint32_t>>;

// A database's link field list.
class LinkInfo {
public:
    explicit LinkInfo(const Fields& fields) : fields_(fields.size()) {
        for (size_t j = 0; j < fields.size(); ++j) {
            fields_[j] = _tagS_DVXFIELDINFO{sizeof(_tagS_DVXFIELDINFO), {}, fields[j].second};
            strncpy(fields_[j].name, fields[j].first.c_str(), sizeof(fields_[j].name) - 1);
        }
        info_ = _tagS_DVXDBINFO{sizeof(info_), 0, static_cast<uint32_t>(fields_.size()), fields_.data()};
    }
    const _tagS_DVXDBINFO* get() const { return &info_; }
    uint32_t count() const { return info_.fieldCount; }
    int Position(const std::string& name) const {
        for (size_t j = 0; j < fields_.size(); ++j)
            if (name == fields_[j].name) return static_cast<int>(j);
        return -1;
    }

private:
    std::vector<_tagS_DVXFIELDINFO> fields_;
    _tagS_DVXDBINFO info_{};
};

// Bytes of a value; Ole: a date's eight bytes; L: the low width bytes of a number, little-endian, as a string to compare with TextOf.
std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
std::string Ole(double date) { return std::string(reinterpret_cast<const char*>(&date), 8); }
std::string L(uint32_t value, size_t width) {
    std::string b(width, '\0');
    for (size_t k = 0; k < width; ++k) b[k] = static_cast<char>(value >> (8 * k));
    return b;
}

// A record of slots of either kind (WorkingField in a WorkingRecord, or _tagDVXFIELD in a _tagDVXDBREC)
// with owned values, set by position; an absent value has the length 0xFFFFFFFF and no data.
template <typename Slot, typename Record>
class Slots {
public:
    Slots(uint32_t count, uint32_t recordSize, uint32_t recordId) : slots_(count), values_(count) {
        for (Slot& s : slots_) s.size = sizeof(Slot);
        record_.size = recordSize;
        record_.fieldCount = count;
        record_.recordId = recordId;
        record_.fields = slots_.data();
    }
    Slots& Set(size_t k, const std::vector<uint8_t>& bytes, bool absent = false) {
        values_[k] = bytes;
        slots_[k].length = absent ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes.size());
        slots_[k].data = absent || values_[k].empty() ? nullptr : values_[k].data();
        return *this;
    }
    Slots& Text(size_t k, const std::string& text) { return Set(k, Bytes(text)); }
    Record* get() { return &record_; }

private:
    std::vector<Slot> slots_;
    std::vector<std::vector<uint8_t>> values_;
    Record record_{};
};

// A link record whose slots follow info; values are set by link field name.
class LinkRecord : public Slots<_tagDVXFIELD, _tagDVXDBREC> {
public:
    explicit LinkRecord(const LinkInfo& info) : Slots(info.count(), sizeof(_tagDVXDBREC), 1), info_(info) {}
    LinkRecord& Set(const std::string& name, const std::vector<uint8_t>& bytes, bool absent = false) {
        const int j = info_.Position(name);
        EXPECT_GE(j, 0) << "the device lists no " << name;
        Slots::Set(static_cast<size_t>(j < 0 ? 0 : j), bytes, absent);
        return *this;
    }

private:
    const LinkInfo& info_;
};

// A working record of fieldCount slots; values are set by device field id.
struct WorkRecord : Slots<WorkingField, WorkingRecord> {
    explicit WorkRecord(uint32_t fieldCount) : Slots(fieldCount, kWorkingRecordSize, 0) {}
};

// Readers of a slot's value.
template <typename Slot>
std::string TextOf(const Slot& s) {
    if (s.length == 0xFFFFFFFFu || s.data == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(s.data), s.length);
}
template <typename Slot>
double DateOf(const Slot& s) {
    double v = -12345.0;
    if (s.length == 8 && s.data != nullptr) memcpy(&v, s.data, 8);
    return v;
}

// A slot holds exactly bytes (none: length 0 and no data), or no value.
template <typename Slot>
void ExpectValue(const Slot& s, const std::string& bytes, bool absent) {
    EXPECT_EQ(s.length, absent ? 0xFFFFFFFFu : bytes.size());
    if (bytes.empty()) {
        EXPECT_EQ(s.data, nullptr);
    }
    EXPECT_EQ(TextOf(s), bytes);
}

// The link fields the simulated device lists for each database, with their link types, given in reverse
// so that every lookup has to go by name.
Fields DeviceFields(uint32_t dbId) {
    Fields f;
    const tethra_sim::DeviceImage image = tethra_sim::DemoImage();
    const tethra_sim::Database* db = image.Find(dbId);
    for (size_t j = db == nullptr ? 0 : db->fields.size(); j-- > 0;)
        f.emplace_back(db->fields[j].name, db->fields[j].type);
    return f;
}

using namespace ScheduleField;
namespace T = ToDoField;
namespace M = MemoField;
namespace E = MailField;
namespace Ad = AddressField;

// A value by link field name or device field id, absent when flagged; what a field must then hold: exactly
// these bytes (none: length 0 and no data), no value, only a length of 0 or of the absent value (working
// fields), or an OLE date of eight bytes (link fields).
enum Kind { kBytes, kAbsent, kLengthZero, kLengthAbsent, kDateValue };
template <typename Key>
struct In {
    Key key;
    std::string bytes;
    bool absent = false;
};
template <typename Key>
struct Out {
    Key key;
    std::string bytes;
    Kind kind = kBytes;
    double date = 0;
};
using LinkIn = In<std::string>;
using WorkOut = Out<uint32_t>;
std::string B1(uint8_t v) { return std::string(1, static_cast<char>(v)); }

// Reading: link values by field name, and what working fields then hold.
LinkIn D(const std::string& n, double v) { return {n, Ole(v)}; }
LinkIn Tx(const std::string& n, const std::string& t) { return {n, t}; }
LinkIn By(const std::string& n, uint8_t b) { return {n, B1(b)}; }
LinkIn Ab(const std::string& n) { return {n, "", true}; }

struct ReadRow {
    const char* name;
    uint32_t db;
    std::vector<LinkIn> values;
    std::vector<WorkOut> expected;
    Fields fields = {};  // the device's field list; none: DeviceFields(db)
};

const ReadRow kReadRows[] = {
    {"ScheduleDatesTimesAndFlags", 1,
     {D("S_START_DATE", k31Dec2003), D("S_FIELD_REPEAT_END", 0.0), D("S_END_TIME", k31Dec2003 + k0930),
      D("S_ALARM_TIME", 15 / 1440.0), By("S_ALLDAY_FLAG", 1), {"S_DAYPATTERN", L(0x0102, 2)}},
     {{FromDate, L(20031231, 4)}, {RepeatEndDate, L(0, 4)},  // a date of 0 is the number 0, not an empty field
      {ToTime, L(930, 2)},                                   // the date part is dropped
      {AlarmTime, L(15, 2)}, {AllDayFlag, B1(1)}, {DayPattern, L(0x0102, 2)},
      // Fields the link does not carry, and link fields left empty.
      {ScheduleID, ""}, {AlarmUnit, ""}, {NoteMemo, ""}}},
    {"AbsentValueStaysAbsent", 1, {Ab("S_DESCRIPTION4"), Ab("S_START_DATE"), Ab("S_ALLDAY_FLAG")},
     {{Description, "", kAbsent}, {FromDate, "", kAbsent}, {AllDayFlag, "", kAbsent}}},
    {"MemoTimeStampIsFourteenCharacters", 8,
     {D("S_START_DATETIME", k15Apr2003 + k0930), D("S_CREATION_DATETIME", 1.5)},
     {{MemoField::TimeStamp, "20030415093000"}}},
    {"DateZeroInATextFieldIsTheTextZero", 8, {D("S_START_DATETIME", 0.0)}, {{MemoField::TimeStamp, "0"}}},
    {"DateOutsideTheCalendar", 8, {D("S_START_DATETIME", 1e12)}, {{MemoField::TimeStamp, "Invalid DateTime"}}},
    {"DateBeforeTheCalendar", 6, {D("S_END_DATE", -1e9)}, {{T::DueDate, L(0, 4)}}},
    {"MailReceivedDateReplacesSendDate", 16,
     {D("S_SEND_DATE", k31Dec2003 + k0930), D("S_RECEIVED_DATE", k15Apr2003 + k1745), By("S_PRIORITY", 5)},
     {{E::SendDate, "20030415174500"}, {E::RecvDate, ""}, {E::Priority, B1(5)}}},  // only ToDo's is remapped
    {"EmptyReceivedDateEmptiesTheSendDate", 16, {D("S_SEND_DATE", k31Dec2003), Tx("S_RECEIVED_DATE", "")},
     {{E::SendDate, "", kLengthZero}}},
    {"AbsentReceivedDateMakesTheSendDateAbsent", 16, {D("S_SEND_DATE", k31Dec2003), Ab("S_RECEIVED_DATE")},
     {{E::SendDate, "", kLengthAbsent}}},
    {"AbsentSendDateTakesTheReceivedDate", 16, {Ab("S_SEND_DATE"), D("S_RECEIVED_DATE", k31Dec2003)},
     {{E::SendDate, "20031231000000"}}},
    {"LinkFieldTheDeviceDoesNotListLeavesItsFieldEmpty", 1, {D("S_END_DATE", k31Dec2003), Tx("S_CATEGORY", "Work")},
     {{FromDate, ""}, {ToDate, L(20031231, 4)}, {Category, "Work"}}, {{"S_END_DATE", kDate}, {"S_CATEGORY", kText}}},
    {"LinkNamesAreMatchedWithCase", 6, {Tx("s_description3", "lower"), Tx("S_NOTEMEMO", "upper")},
     {{T::Description, ""}, {T::Note, "upper"}}, {{"s_description3", kText}, {"S_NOTEMEMO", kText}}},
    {"DateFeedingAFlagOrSmallNumberStoresNothing", 6, {D("S_COMPLETED", k31Dec2003), D("S_PRIORITY", k1745)},
     {{T::FinishFlag, ""}, {T::Priority, ""}}, {{"S_COMPLETED", kDate}, {"S_PRIORITY", kTime}}},
    // Unusual pairings follow the device field's type: the date's text read as a number (20031231000000 keeps
    // its low 32 bits), or kept as text.
    {"DateTimeIntoNumberAndTimeIntoText", 6,
     {D("S_START_DATE", k31Dec2003), D("S_DESCRIPTION3", k1745), D("S_END_DATE", k0930)},
     {{T::Description, "1745"}, {T::DueDate, L(930, 4)},
      {T::StartDate, L(static_cast<uint32_t>(20031231000000ULL), 4)}},
     {{"S_START_DATE", kDateTime}, {"S_DESCRIPTION3", kTime}, {"S_END_DATE", kTime}}},
};

TEST(LinkToWorking, EachRecordGivesItsWorkingFields) {
    for (const ReadRow& row : kReadRows) {
        SCOPED_TRACE(row.name);
        LinkInfo info(row.fields.empty() ? DeviceFields(row.db) : row.fields);
        LinkRecord rec(info);
        for (const LinkIn& in : row.values) rec.Set(in.key, Bytes(in.bytes), in.absent);
        TestHeap heap;
        const WorkingField* f = ConvertLinkToWorking(kNewModel, row.db, rec.get(), heap.get(), info.get());
        ASSERT_NE(f, nullptr);
        for (uint32_t i = 0; i < SelectFieldTable(row.db)->fieldCount; ++i) EXPECT_EQ(f[i].size, kWorkingFieldSize);
        for (const WorkOut& out : row.expected) {
            const WorkingField& field = f[out.key];
            SCOPED_TRACE(testing::Message() << "field " << out.key);
            if (out.kind == kLengthZero || out.kind == kLengthAbsent) {
                EXPECT_EQ(field.length, out.kind == kLengthZero ? 0u : 0xFFFFFFFFu);
                continue;
            }
            ExpectValue(field, out.bytes, out.kind == kAbsent);
        }
    }
}

// The device's five ToDo priorities fold onto the host's three and back; an old model keeps them as they are.
TEST(RecordConvert, ToDoPriorityFoldsAndUnfolds) {
    const uint8_t toWorking[][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}, {200, 3}};
    LinkInfo info(DeviceFields(6));
    const int j = info.Position("S_PRIORITY");
    for (const auto& pc : toWorking) {
        LinkRecord rec(info);
        rec.Set("S_PRIORITY", {pc[0]});
        TestHeap heap;
        const WorkingField* fresh = ConvertLinkToWorking(kNewModel, 6, rec.get(), heap.get(), info.get());
        const WorkingField* old = ConvertLinkToWorking(kOldModel, 6, rec.get(), heap.get(), info.get());
        ASSERT_TRUE(fresh != nullptr && old != nullptr);
        EXPECT_EQ(TextOf(fresh[ToDoField::Priority]), B1(pc[1])) << int(pc[0]);
        EXPECT_EQ(TextOf(old[ToDoField::Priority]), B1(pc[0])) << int(pc[0]);
    }
    const uint8_t toLink[][2] = {{0, 2}, {1, 2}, {2, 3}, {3, 4}, {5, 4}};
    for (const auto& pc : toLink) {
        WorkRecord rec(ToDoField::Count);
        rec.Set(ToDoField::Priority, {pc[0]});
        TestHeap heap;
        const _tagDVXFIELD* fresh = ConvertToLinkRecord(kNewModel, 6, rec.get(), heap.get(), info.get());
        const _tagDVXFIELD* old = ConvertToLinkRecord(kOldModel, 6, rec.get(), heap.get(), info.get());
        ASSERT_TRUE(fresh != nullptr && old != nullptr);
        EXPECT_EQ(TextOf(fresh[j]), L(pc[1], 4)) << int(pc[0]);
        EXPECT_EQ(TextOf(old[j]), L(pc[0], 4)) << int(pc[0]);
    }
}

// Every failing allocation fails the conversion: reading, the one block; storing, the array, three texts
// and a date, then "S_NAME" and "S_YOMI_NAME".
TEST(RecordConvert, UnknownDatabaseOrNoMemoryGivesNull) {
    LinkInfo schedule(DeviceFields(1)), address(DeviceFields(7));
    LinkRecord rec(schedule);
    rec.Set("S_DESCRIPTION4", Bytes("x")).Set("S_START_DATE", Bytes(Ole(k31Dec2003)));
    WorkRecord work(AddressField::Count);
    work.Text(AddressField::F_Name, "F").Text(AddressField::L_Name, "L").Text(AddressField::F_Name_Yomi, "f");
    work.Set(AddressField::Birthday, Bytes(L(19701210, 4)));
    TestHeap heap;
    for (uint32_t dbId : {0u, 2u, 15u, 17u}) {
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, dbId, rec.get(), heap.get(), schedule.get()), nullptr) << dbId;
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, dbId, work.get(), heap.get(), address.get()), nullptr) << dbId;
    }
    {
        // A record's slots and values are one block.
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", 1, 0);
        EXPECT_EQ(ConvertLinkToWorking(kNewModel, 1, rec.get(), fresh.get(), schedule.get()), nullptr);
        PlatformClearFaults();
    }
    for (unsigned nth = 1; nth <= 7; ++nth) {
        TestHeap fresh;
        PlatformFailCall("HeapAlloc", nth, 0);
        EXPECT_EQ(ConvertToLinkRecord(kNewModel, 7, work.get(), fresh.get(), address.get()), nullptr) << nth;
        PlatformClearFaults();
    }
    EXPECT_NE(ConvertLinkToWorking(kNewModel, 1, rec.get(), heap.get(), schedule.get()), nullptr);
    EXPECT_NE(ConvertToLinkRecord(kNewModel, 7, work.get(), heap.get(), address.get()), nullptr);
}

// Storing: working values by device field id, and what link fields then hold.
using WorkIn = In<uint32_t>;
using LinkOut = Out<std::string>;
WorkIn Num(uint32_t id, int32_t v) { return {id, L(static_cast<uint32_t>(v), 4)}; }
WorkIn Sh(uint32_t id, int16_t v) { return {id, L(static_cast<uint16_t>(v), 2)}; }
WorkIn By(uint32_t id, uint8_t v) { return {id, B1(v)}; }
WorkIn Tx(uint32_t id, const std::string& t) { return {id, t}; }
WorkIn Ab(uint32_t id) { return {id, "", true}; }
LinkOut Ex(const std::string& n, const std::string& b) { return {n, b}; }
LinkOut Dt(const std::string& n, double d) { return {n, "", kDateValue, d}; }
LinkOut Zero(const std::string& n) { return {n, std::string(8, '\0')}; }
LinkOut None(const std::string& n) { return {n, "", kAbsent}; }

struct StoreRow {
    const char* name;
    uint32_t db;
    std::vector<WorkIn> values;
    std::vector<LinkOut> expected;
    ConversionOptions options = kNewModel;
    Fields fields = {};  // the device's field list; none: DeviceFields(db)
};

// A memo whose time stamp text is text, and what the link date becomes (negative: eight zero bytes).
StoreRow Stamp(const char* text, double date) {
    return {text, 8, {Tx(M::TimeStamp, text)}, {date < 0 ? Zero("S_START_DATETIME") : Dt("S_START_DATETIME", date)}};
}
// An address whose names are given, and the full name the link gets.
StoreRow Name(const char* first, const char* middle, const char* last, ConversionOptions options, const char* full) {
    return {full, 7, {Tx(Ad::F_Name, first), Tx(Ad::M_Name, middle), Tx(Ad::L_Name, last)}, {Ex("S_NAME", full)},
            options};
}

const StoreRow kStoreRows[] = {
    {"ScheduleDatesAndTimesBecomeOleDates", 1,
     {Num(FromDate, 20031231), Num(RepeatEndDate, 0), Sh(FromTime, 1745), Sh(ToTime, 0), Sh(AlarmTime, -1),
      Num(ScheduleID, 77), By(AllDayFlag, 1), Sh(DayPattern, 0x41)},
     {Dt("S_START_DATE", k31Dec2003), Ex("S_FIELD_REPEAT_END", ""),  // date 0 is no date
      Dt("S_START_TIME", k1745),                                     // 17:45 on 30 December 1899
      Zero("S_END_TIME"),                                            // time 0 is midnight, not empty
      Dt("S_ALARM_TIME", 1 / 1440.0),                                // time -1 reads as 00:01
      Ex("S_ALLDAY_FLAG", L(1, 4)), Ex("S_DAYPATTERN", L(0x41, 4)),  // a byte field takes up to 4 bytes
      Ex("S_LOCATION", "")}},
    {"DateNumberGivesTheSameValueAsDateOrDateTime", 6, {Num(T::DueDate, 20031231), Num(T::StartDate, 20031231)},
     {Dt("S_END_DATE", k31Dec2003), Dt("S_START_DATE", k31Dec2003)}, kNewModel,
     {{"S_END_DATE", kDate}, {"S_START_DATE", kDateTime}}},
    {"ToDoWithoutDueDateSendsEightZeroBytes", 6, {Num(T::DueDate, -1)}, {Zero("S_END_DATE")}},
    // Date-time texts and their validity; a short text is padded.
    Stamp("200304150930", k15Apr2003 + k0930), Stamp("20030415093059", k15Apr2003 + k0930 + 59 / 86400.0),
    {"AllZeroStampIsNoDate", 8, {Tx(M::TimeStamp, "00000000000000")}, {Ex("S_START_DATETIME", "")}},
    Stamp("000000000000", -1), Stamp("20031331000000", -1), Stamp("20030230000000", -1),
    Stamp("19000229000000", -1),  // 1900 is not a leap year
    Stamp("20000229000000", 36585.0), Stamp("20030415240000", -1), Stamp("20030415236000", -1),
    Stamp("00991231000000", -1),  // before year 100
    Stamp("2003", -1),
    {"EmptyAndAbsentValuesKeepTheirKind", 16, {Tx(E::Subject, ""), Ab(E::Body), Ab(E::SendDate), Ab(E::IsRead)},
     {Ex("S_SUBJECT", ""), None("S_BODY"), None("S_SEND_DATE"), None("S_RECEIVED_DATE"), None("S_IS_READ")}},
    {"TypeOneFieldTakesAtMostFourBytes", 6, {Tx(T::Description, "abcdefgh"), Num(T::Secret, 0x01020304)},
     {Ex("S_DESCRIPTION3", "abcd"), Ex("S_CONFIDENTIAL1", L(0x01020304, 4))}, kNewModel,
     {{"S_DESCRIPTION3", kByte}, {"S_CONFIDENTIAL1", kByte}}},
    // The address book composes the full name from its parts.
    Name("F", "", "L", kNewModel, "L, F"), Name("F", "", "", kNewModel, "F "), Name("", "", "L", kNewModel, "L"),
    Name("", "M", "L", kNewModel, "M L"), Name("F", "M", "", kNewModel, "F M "), Name("", "", "", kNewModel, ""),
    Name("F", "M", "L", kFamilyFirst, "L M F"), Name("F", "", "L", kFamilyFirst, "L F"),
    Name("", "", "L", kFamilyFirst, "L "),
    {"AbsentNamePartSendsTheFullNameEmpty", 7, {Ab(Ad::F_Name), Tx(Ad::L_Name, "L"), Tx(Ad::M_Name, "M")},
     {Ex("S_NAME", ""), None("S_FIRST_NAME")}},
    {"ReadingOfTheFirstNameOnly", 7, {Tx(Ad::F_Name_Yomi, "taro")}, {Ex("S_YOMI_NAME", "taro")}},
    {"AbsentReadingOfTheLastName", 7, {Tx(Ad::F_Name_Yomi, "taro"), Ab(Ad::L_Name_Yomi)}, {Ex("S_YOMI_NAME", "")}},
    // The full name field is found without regard to case; the last match counts.
    {"FullNameFieldIsFoundWithoutRegardToCase", 7, {Tx(Ad::F_Name, "F"), Tx(Ad::L_Name, "L")},
     {Ex("S_Name", ""), Ex("s_name", "L, F"), Ex("S_NAMES", "")}, kNewModel,
     {{"S_FIRST_NAME", kText}, {"S_LAST_NAME", kText}, {"S_MIDDLE_NAME", kText}, {"S_Name", kText},
      {"s_name", kText}, {"S_NAMES", kText}}},
    {"OnlyAddressBookComposesNames", 6, {Tx(T::Description, "x")}, {Ex("S_NAME", "")}, kNewModel,
     {{"S_DESCRIPTION3", kText}, {"S_NAME", kText}}},
    {"AddressBookLinkOnlyFieldsAreSentEmpty", 7, {Tx(Ad::F_Name, "Ada"), Tx(Ad::Custom1, "c1"), Tx(Ad::SMS, "sms")},
     {Ex("S_HOME_PHONE2", ""), Ex("S_BUSINESS_ADDRESS", ""), Ex("S_ATTACHMENT2", ""), Ex("SNYOMI_NAME", "")}},
};

TEST(WorkingToLink, EachRecordGivesItsLinkFields) {
    for (const StoreRow& row : kStoreRows) {
        SCOPED_TRACE(row.name);
        WorkRecord rec(SelectFieldTable(row.db)->fieldCount);
        for (const WorkIn& in : row.values) rec.Set(in.key, Bytes(in.bytes), in.absent);
        TestHeap heap;
        LinkInfo info(row.fields.empty() ? DeviceFields(row.db) : row.fields);
        const _tagDVXFIELD* slots = ConvertToLinkRecord(row.options, row.db, rec.get(), heap.get(), info.get());
        ASSERT_NE(slots, nullptr);
        for (uint32_t j = 0; j < info.count(); ++j) EXPECT_EQ(slots[j].size, kLinkFieldSize) << j;
        for (const LinkOut& out : row.expected) {
            SCOPED_TRACE(out.key);
            const int j = info.Position(out.key);
            ASSERT_GE(j, 0);
            if (out.kind == kDateValue) {
                EXPECT_EQ(slots[j].length, 8u);
                EXPECT_NEAR(DateOf(slots[j]), out.date, 1e-9);
                continue;
            }
            ExpectValue(slots[j], out.bytes, out.kind == kAbsent);
        }
    }
}

// Untrusted values: each value buffer is exactly as long as its slot says, so a sanitized build also
// catches any read past a value's end.  Lengths a device could claim for a value it gave no bytes for:
const uint32_t kLengthsWithoutData[] = {1, 4, 8, 0x7FFFFFFFu, 0xFFFFFFFEu};

// Both directions: the value is empty, later fields are still copied.
TEST(UntrustedValues, ValueWithoutDataIsEmpty) {
    LinkInfo schedule({{"S_DESCRIPTION4", kText}, {"S_START_DATE", kDate}, {"S_ALLDAY_FLAG", kByte}});
    LinkInfo todo({{"S_DESCRIPTION3", kText}, {"S_PRIORITY", kByte}, {"S_END_DATE", kDate}, {"S_CATEGORY", kText}});
    for (uint32_t length : kLengthsWithoutData) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        std::vector<_tagDVXFIELD> slots(3, _tagDVXFIELD{sizeof(_tagDVXFIELD), length, nullptr});
        _tagDVXDBREC record{sizeof(record), 3, 1, slots.data()};
        TestHeap heap;
        WorkingField* fields = ConvertLinkToWorking(kNewModel, 1, &record, heap.get(), schedule.get());
        ASSERT_NE(fields, nullptr);
        for (uint32_t id : {ScheduleField::Description, ScheduleField::FromDate, ScheduleField::AllDayFlag})
            ExpectValue(fields[id], "", false);

        WorkRecord host(ToDoField::Count);
        host.Text(ToDoField::Category, "Home");
        for (uint32_t id : {ToDoField::Description, ToDoField::Priority, ToDoField::DueDate})
            host.get()->fields[id] = WorkingField{kWorkingFieldSize, length, nullptr};
        _tagDVXFIELD* sent = ConvertToLinkRecord(kNewModel, 6, host.get(), heap.get(), todo.get());
        ASSERT_NE(sent, nullptr);
        for (int j = 0; j < 3; ++j) ExpectValue(sent[j], "", false);
        EXPECT_EQ(TextOf(sent[3]), "Home");
    }
}

// A date shorter than its eight bytes converts as its zero-extended value.
TEST(UntrustedValues, ShortDateReadsAsZeroExtended) {
    LinkInfo info({{"S_START_DATE", kDate}, {"S_DESCRIPTION4", kText}});
    const std::vector<uint8_t> full = Bytes(Ole(k31Dec2003 + 0.5));
    for (size_t length = 1; length < 8; ++length) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        std::vector<uint8_t> value(full.begin(), full.begin() + static_cast<long>(length));
        LinkRecord shortRecord(info), extendedRecord(info);
        shortRecord.Set("S_START_DATE", value);
        value.resize(8, 0);
        extendedRecord.Set("S_START_DATE", value);
        TestHeap heap;
        WorkingField* fromShort = ConvertLinkToWorking(kNewModel, 1, shortRecord.get(), heap.get(), info.get());
        WorkingField* fromExtended = ConvertLinkToWorking(kNewModel, 1, extendedRecord.get(), heap.get(), info.get());
        ASSERT_TRUE(fromShort != nullptr && fromExtended != nullptr);
        EXPECT_EQ(fromShort[ScheduleField::FromDate].length, 4u);
        EXPECT_EQ(TextOf(fromShort[ScheduleField::FromDate]), TextOf(fromExtended[ScheduleField::FromDate]));
    }
}

// A link field name that fills all its bytes matches nothing and hides no field after it: it is sent empty.
TEST(UntrustedValues, NameWithoutTerminatingZero) {
    LinkInfo info({{"S_DESCRIPTION4", kText}, {"S_CATEGORY", kText}});
    std::vector<_tagS_DVXFIELDINFO> fields(info.get()->fields, info.get()->fields + 2);
    memset(fields[0].name, 'S', sizeof(fields[0].name));
    _tagS_DVXDBINFO unterminated{sizeof(_tagS_DVXDBINFO), 1, 2, fields.data()};
    TestHeap heap;
    WorkRecord host(ScheduleField::Count);
    host.Text(ScheduleField::Description, "Lunch").Text(ScheduleField::Category, "Work");
    _tagDVXFIELD* sent = ConvertToLinkRecord(kNewModel, 1, host.get(), heap.get(), &unterminated);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent[0].length, 0u);
    EXPECT_EQ(TextOf(sent[1]), "Work");
}

}  // namespace
