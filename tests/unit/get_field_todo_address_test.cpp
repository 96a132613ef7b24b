// Reading ToDo and Address book fields: dates where 0 means none, the
// completion date of finished tasks, priorities, categories, secrecy.
#include "field_record.h"
#include "fields/get_field.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

using field_testing::FieldRecord;
using field_testing::ReadField;
using testing_support::Sandbox;

namespace {

TEST(GetFieldToDo, DatesOfZeroAreEmpty) {
    Sandbox sandbox;
    FieldRecord record(kToDoDbId);
    record.SetNumber(ToDoField::DueDate, 0);
    record.SetNumber(ToDoField::StartDate, 20030415);
    auto due = ReadField("1");
    EXPECT_EQ(due.result, 0);
    EXPECT_EQ(due.text, "");
    EXPECT_EQ(ReadField("8").text, "20030415");
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('1', [OUT])\nReturning ''\n"
              "***** DIZ_API_GetField('8', [OUT])\nReturning '20030415'\n");
}

TEST(GetFieldToDo, DateWithoutValueEndsWithoutReturningLine) {
    Sandbox sandbox;
    FieldRecord record(kToDoDbId);
    record.SetAbsent(ToDoField::DueDate);
    EXPECT_EQ(ReadField("1").text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('1', [OUT])\n");
}

TEST(GetFieldToDo, CompletionDateOnlyForFinishedTasks) {
    struct {
        bool finishSet;
        uint8_t finish;
        const char* expected;
    } cases[] = {
        {true, 1, "20030501"},
        {true, 0, ""},
        {true, 2, ""},  // only a first byte of exactly 1 counts
        {false, 0, ""},
    };
    for (const auto& c : cases) {
        FieldRecord record(kToDoDbId);
        record.SetNumber(ToDoField::EndDate, 20030501);
        if (c.finishSet) record.SetByte(ToDoField::FinishFlag, c.finish);
        auto read = ReadField("9");
        EXPECT_EQ(read.result, 0);
        EXPECT_EQ(read.text, c.expected) << int(c.finish);
    }
}

TEST(GetFieldToDo, CompletionDateWithoutFinishFlagField) {
    Sandbox sandbox;
    FieldRecord record(kToDoDbId, {ToDoField::FinishFlag});
    record.SetNumber(ToDoField::EndDate, 20030501);
    auto read = ReadField("9");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('9', [OUT])\nQuenda field id 8 not found (qdb:6)\n");
}

TEST(GetFieldToDo, CompletionDateZeroIsEmptyWhateverTheFlag) {
    Sandbox sandbox;
    FieldRecord record(kToDoDbId, {ToDoField::FinishFlag});
    record.SetNumber(ToDoField::EndDate, 0);
    EXPECT_EQ(ReadField("9").text, "");
    EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('9', [OUT])\nReturning ''\n");
}

TEST(GetFieldToDo, PriorityIsOneLower) {
    struct {
        int stored;  // -1: no value
        const char* expected;
    } cases[] = {{3, "2"}, {2, "1"}, {1, "0"}, {0, "0"}, {-1, "1"}, {200, "199"}};
    for (const auto& c : cases) {
        Sandbox sandbox;
        FieldRecord record(kToDoDbId);
        if (c.stored >= 0) record.SetByte(ToDoField::Priority, static_cast<uint8_t>(c.stored));
        EXPECT_EQ(ReadField("4").text, c.expected) << c.stored;
        int raw = c.stored >= 0 ? c.stored : 2;
        EXPECT_EQ(sandbox.DebugOutput(), "***** DIZ_API_GetField('4', [OUT])\nPriority field raw:  " +
                                             std::to_string(raw) + "\nPriority field returned:  " + c.expected +
                                             "\nReturning '" + c.expected + "'\n");
    }
}

TEST(GetFieldToDo, CategoryIsCopiedRawAndUndefinedIsEmpty) {
    FieldRecord record(kToDoDbId);
    record.SetText(ToDoField::Category, "Undefined");
    EXPECT_EQ(ReadField("6").text, "");
    record.SetText(ToDoField::Category, "Work\nHome");
    EXPECT_EQ(ReadField("6").text, "Work\nHome");
    record.SetText(ToDoField::Category, "Undefined2");
    EXPECT_EQ(ReadField("6").text, "Undefined2");
    record.SetAbsent(ToDoField::Category);
    EXPECT_EQ(ReadField("6").text, "");
    // The note is ordinary text with its line feeds converted.
    record.SetText(ToDoField::Note, "a\nb");
    EXPECT_EQ(ReadField("5").text, "a\r\nb");
}

TEST(GetFieldToDo, SecretAndFinishFlag) {
    FieldRecord record(kToDoDbId);
    EXPECT_EQ(ReadField("7").text, "0");
    record.SetNumber(ToDoField::Secret, 1);
    EXPECT_EQ(ReadField("7").text, "1");
    record.SetByte(ToDoField::FinishFlag, 1);
    EXPECT_EQ(ReadField("3").text, "1");
}

TEST(GetFieldAddress, CategorySecretAndDates) {
    FieldRecord record(kAddressDbId);
    record.SetText(AddressField::Category, "Undefined");
    record.SetNumber(AddressField::Secret, 0x100);  // only the first byte counts
    record.SetNumber(AddressField::Birthday, 0);
    record.SetNumber(AddressField::Aniversary, 19991231);
    EXPECT_EQ(ReadField("32").text, "");
    EXPECT_EQ(ReadField("33").text, "0");
    EXPECT_EQ(ReadField("38").text, "");
    EXPECT_EQ(ReadField("39").text, "19991231");
    record.SetText(AddressField::Category, "Friends\n");
    EXPECT_EQ(ReadField("32").text, "Friends\n");
}

TEST(GetFieldAddress, TextFieldsConvertLineFeeds) {
    FieldRecord record(kAddressDbId);
    record.SetText(AddressField::F_Name, "Ann");
    record.SetText(AddressField::Street_B, "1 Main St\nSuite 2");
    EXPECT_EQ(ReadField("1").text, "Ann");
    EXPECT_EQ(ReadField("19").text, "1 Main St\r\nSuite 2");
    EXPECT_EQ(ReadField("10").text, "");  // SMS has no link field
}

}  // namespace
