// DIZ_API_GetField's frame and general rule: the field id text, missing
// fields, the text of each device type code, and the text copy's bounds.
#include "app/morvane_app.h"
#include "field_record.h"
#include "fields/field_text.h"
#include "fields/get_field.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

using field_testing::FieldRecord;
using field_testing::MadeUpTable;
using field_testing::ReadField;
using testing_support::Sandbox;

namespace {

// A database id without special cases, so every field follows its type.
constexpr uint32_t kPlainDb = 99;

TEST(GetFieldFrame, TracesTheCallAndClearsTheLastError) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId);
    record.SetText(MailField::Subject, "Hello");
    theApp.lastErrorCode = 0x10000004u;
    auto read = ReadField("9");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "Hello");
    EXPECT_TRUE(read.markerIntact);
    EXPECT_EQ(theApp.lastErrorCode, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('9', [OUT])\nReturning 'Hello'\n");
}

TEST(GetFieldFrame, UidIsTheRecordIdInSignedDecimal) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId, {}, 0x80000001u);
    auto read = ReadField("UID");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "-2147483647");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('UID', [OUT])\nReturning '-2147483647'\n");

    FieldRecord todo(kToDoDbId, {}, 1234);
    EXPECT_EQ(ReadField("UID").text, "1234");
}

TEST(GetFieldFrame, IdsThatConvertToZeroAreInvalid) {
    for (const char* id : {"uid", "0", "abc", "", " 0x5"}) {
        Sandbox sandbox;
        FieldRecord record(kScheduleDbId);
        auto read = ReadField(id);
        EXPECT_EQ(read.result, -8) << id;
        EXPECT_EQ(read.text, "") << id;
        EXPECT_TRUE(read.markerIntact) << id;
        EXPECT_EQ(sandbox.DebugOutput(), std::string("***** DIZ_API_GetField('") + id + "', [OUT])\nField ID ('" + id +
                                             "') is invalid in this context (converts to 0)\n");
    }
}

TEST(GetFieldFrame, NegativeIdIsLookedUpAndNotFound) {
    Sandbox sandbox;
    FieldRecord record(kScheduleDbId);
    auto read = ReadField("-3");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('-3', [OUT])\nQuenda field id -4 not found (qdb:1)\n");
}

TEST(GetFieldFrame, IdBeyondTheTableIsNotFound) {
    Sandbox sandbox;
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, "text");
    auto read = ReadField("6");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('6', [OUT])\nQuenda field id 5 not found (qdb:8)\n");
}

TEST(GetFieldFrame, RecordWithoutValuesHasNoFields) {
    Sandbox sandbox;
    FieldRecord record(kToDoDbId);
    record.record().fields = nullptr;  // a record deleted on the device
    auto read = ReadField("2");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_NE(sandbox.DebugOutput().find("Quenda field id 1 not found (qdb:6)\n"), std::string::npos);
}

TEST(GetFieldFrame, NoCurrentRecordFindsNothing) {
    Sandbox sandbox;
    g_session.currentRecord = nullptr;
    g_session.currentDbId = kScheduleDbId;
    g_session.currentFieldTable = *SelectFieldTable(kScheduleDbId);
    EXPECT_EQ(ReadField("7").result, 0);
    EXPECT_EQ(ReadField("UID").text, "");
    EXPECT_NE(sandbox.DebugOutput().find("Quenda field id 6 not found (qdb:1)\n"), std::string::npos);
}

// The general rule, one row per type code and value.
struct GeneralCase {
    uint32_t type;
    enum { kNone, kByte, kNumber, kShort, kText } value;
    int32_t number;
    const char* text;
    const char* expected;
};

const GeneralCase kGeneralCases[] = {
    {1, GeneralCase::kByte, 5, nullptr, "1"},        // 0
    {1, GeneralCase::kByte, 0, nullptr, "0"},
    {1, GeneralCase::kNone, 0, nullptr, "0"},
    {2, GeneralCase::kByte, 200, nullptr, "200"},
    {2, GeneralCase::kNone, 0, nullptr, "2"},
    {6, GeneralCase::kNumber, -42, nullptr, "-42"},  // 5
    {6, GeneralCase::kNumber, 0, nullptr, "0"},
    {8, GeneralCase::kShort, 930, nullptr, "0930"},
    {8, GeneralCase::kShort, -5, nullptr, "-005"},
    {8, GeneralCase::kShort, 12345, nullptr, "12345"},
    {9, GeneralCase::kText, 0, "a\nb", "a\r\nb"},     // 10
    {9, GeneralCase::kNone, 0, nullptr, ""},
    {3, GeneralCase::kText, 0, "x", ""},
    {4, GeneralCase::kNumber, 9, nullptr, ""},
    {5, GeneralCase::kByte, 1, nullptr, ""},
    {7, GeneralCase::kShort, 1, nullptr, ""},        // 15
};

TEST(GetFieldGeneralRule, EachTypeCodeGivesItsText) {
    int row = 0;
    for (const GeneralCase& c : kGeneralCases) {
        Sandbox sandbox;
        FieldRecord record(MadeUpTable{kPlainDb, {c.type}});
        if (c.value == GeneralCase::kByte) record.SetByte(0, static_cast<uint8_t>(c.number));
        if (c.value == GeneralCase::kNumber) record.SetNumber(0, c.number);
        if (c.value == GeneralCase::kShort) record.SetShort(0, static_cast<int16_t>(c.number));
        if (c.value == GeneralCase::kText) record.SetText(0, c.text);
        auto read = ReadField("1");
        EXPECT_EQ(read.result, 0) << "row " << row;
        EXPECT_EQ(read.text, c.expected) << "row " << row;
        EXPECT_TRUE(read.markerIntact) << "row " << row;
        EXPECT_NE(sandbox.DebugOutput().find(std::string("Returning '") + c.expected + "'\n"), std::string::npos)
            << "row " << row;
        ++row;
    }
}

TEST(GetFieldGeneralRule, NumberWithoutValueEndsWithoutReturningLine) {
    Sandbox sandbox;
    FieldRecord record(MadeUpTable{kPlainDb, {6}});
    record.SetAbsent(0);
    auto read = ReadField("1");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('1', [OUT])\n");
}

TEST(GetFieldGeneralRule, UnknownTypeCodesAreInvalid) {
    for (uint32_t type : {0u, 10u, 255u}) {
        Sandbox sandbox;
        FieldRecord record(MadeUpTable{kPlainDb, {9, type}});
        record.SetByte(1, 1);
        auto read = ReadField("2");
        EXPECT_EQ(read.result, -8) << type;
        EXPECT_EQ(read.text, "") << type;
        EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('2', [OUT])\nData Type not used in any known Quenda "
                                         "mapping: " + std::to_string(type) + "\n");
    }
}

TEST(GetFieldGeneralRule, SelectorIsIgnoredByFieldsWithoutHalves) {
    FieldRecord record(MadeUpTable{kPlainDb, {6}});
    record.SetNumber(0, 20031231);
    EXPECT_EQ(ReadField("1.D").text, "20031231");
    EXPECT_EQ(ReadField(" 1xyz").text, "20031231");
}

// The text copy: line feeds, carriage returns, NUL bytes.
struct CrLfCase {
    std::string source;
    const char* expected;
};

TEST(GetFieldTextCopy, LineFeedsBecomeCrLf) {
    const CrLfCase cases[] = {
        {"one\ntwo", "one\r\ntwo"},        // 0
        {"one\r\ntwo", "one\r\ntwo"},
        {"\n\n", "\r\n\r\n"},
        {"a\r\r\nb", "a\r\r\nb"},
        {"a\rb\nc", "a\rb\r\nc"},
        {std::string("ab\0\ncd", 6), "ab"},  // 5
        {"end\n", "end\r\n"},
    };
    int row = 0;
    for (const CrLfCase& c : cases) {
        FieldRecord record(MadeUpTable{kPlainDb, {9}});
        record.SetText(0, c.source);
        auto read = ReadField("1");
        EXPECT_EQ(read.text, c.expected) << "row " << row;
        EXPECT_TRUE(read.markerIntact) << "row " << row;
        ++row;
    }
}

TEST(GetFieldTextCopy, SourceIsCutAtItsLimit) {
    FieldRecord record(MadeUpTable{kPlainDb, {9}});
    record.SetText(0, std::string(50000, 'x'));
    auto read = ReadField("1");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, std::string(kFieldSourceLimit, 'x'));
    EXPECT_TRUE(read.markerIntact);
}

TEST(GetFieldTextCopy, TextReachingTheStopEndsThere) {
    // 4,096 line feeds make the 45,055 source bytes exactly 49,151 characters.
    FieldRecord record(MadeUpTable{kPlainDb, {9}});
    record.SetText(0, std::string(4096, '\n') + std::string(kFieldSourceLimit - 4096, 'x'));
    auto read = ReadField("1");
    EXPECT_EQ(read.text.size(), 49151u);
    EXPECT_EQ(read.text.substr(0, 4), "\r\n\r\n");
    EXPECT_EQ(read.text.back(), 'x');
    EXPECT_TRUE(read.markerIntact);
}

TEST(GetFieldTextCopy, CrLfAtTheStopOverrunsByOne) {
    // After 49,150 characters a last line feed writes its CR and LF in one
    // step: 49,152 characters and the NUL, the whole host buffer.
    FieldRecord record(MadeUpTable{kPlainDb, {9}});
    record.SetText(0, std::string(4096, '\n') + std::string(kFieldSourceLimit - 4097, 'x') + "\n");
    auto read = ReadField("1");
    ASSERT_EQ(read.text.size(), kFieldTextLimit);
    EXPECT_EQ(read.text.substr(read.text.size() - 3), "x\r\n");
    EXPECT_TRUE(read.markerIntact);
}

TEST(GetFieldTextCopy, OnlyLineFeedsStopAtTheLimit) {
    FieldRecord record(MadeUpTable{kPlainDb, {9}});
    record.SetText(0, std::string(kFieldSourceLimit, '\n'));
    auto read = ReadField("1");
    ASSERT_EQ(read.text.size(), kFieldTextLimit);
    std::string expected;
    for (uint32_t i = 0; i < kFieldTextLimit / 2; ++i) expected += "\r\n";
    EXPECT_EQ(read.text, expected);
    EXPECT_TRUE(read.markerIntact);
}

TEST(GetFieldTextCopy, AbsentTextIsEmpty) {
    Sandbox sandbox;
    FieldRecord record(MadeUpTable{kPlainDb, {9}});
    record.SetAbsent(0);
    auto read = ReadField("1");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('1', [OUT])\nReturning ''\n");
}

}  // namespace
