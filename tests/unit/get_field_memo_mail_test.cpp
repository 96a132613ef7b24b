// Reading Memo and E-mail fields: the memo's title and text from its lines,
// time stamps in halves, the read flag, priorities.
#include "field_record.h"
#include "fields/get_field.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

using field_testing::FieldRecord;
using field_testing::ReadField;
using testing_support::Sandbox;

namespace {

TEST(GetFieldMemo, TitleIsTheFirstLineAndTextTheRest) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::Title, "stored title");
    record.SetText(MemoField::NoteText, "Shopping\nmilk\neggs");
    EXPECT_EQ(ReadField("1").text, "Shopping");
    EXPECT_EQ(ReadField("1").text, "Shopping");
    auto text = ReadField("3");
    EXPECT_EQ(text.result, 0);
    EXPECT_EQ(text.text, "milk\r\neggs");
    EXPECT_TRUE(text.markerIntact);
}

TEST(GetFieldMemo, TextReadShortensTheMemoForLaterReads) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, "Shopping\nmilk\neggs");
    EXPECT_EQ(ReadField("3").text, "milk\r\neggs");
    EXPECT_EQ(record.Slot(MemoField::NoteText).length, 18u);  // the stored length stays
    EXPECT_EQ(ReadField("1").text, "milk");
    EXPECT_EQ(ReadField("3").text, "eggs");
}

TEST(GetFieldMemo, MemoWithoutLineFeedIsAllTitle) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, "Call Bob");
    EXPECT_EQ(ReadField("1").text, "Call Bob");
    EXPECT_EQ(ReadField("3").text, "");
    EXPECT_EQ(ReadField("1").text, "Call Bob");
}

TEST(GetFieldMemo, TitleKeepsTheCarriageReturnBeforeItsLineFeed) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, "Title\r\nBody\r\nmore");
    EXPECT_EQ(ReadField("1").text, "Title\r");
    EXPECT_EQ(ReadField("3").text, "Body\r\nmore");
}

TEST(GetFieldMemo, MemoWithoutTextGivesEmptyTitleAndText) {
    Sandbox sandbox;
    FieldRecord record(kMemoDbId);
    record.SetAbsent(MemoField::NoteText);
    EXPECT_EQ(ReadField("1").text, "");
    EXPECT_EQ(ReadField("3").text, "");
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('1', [OUT])\nReturning ''\n***** DIZ_API_GetField('3', [OUT])\nReturning ''\n");
}

TEST(GetFieldMemo, FirstLineBeyondTheReadLimitLeavesNoText) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, std::string(kFieldSourceLimit, 'a') + "\nrest");
    auto title = ReadField("1");
    EXPECT_EQ(title.text, std::string(kFieldSourceLimit, 'a'));
    EXPECT_TRUE(title.markerIntact);
    EXPECT_EQ(ReadField("3").text, "");
}

TEST(GetFieldMemo, LongTitleIsCutToTheHostBuffer) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::NoteText, std::string(60000, 't'));
    auto title = ReadField("1");
    EXPECT_EQ(title.text.size(), kFieldTextLimit);
    EXPECT_TRUE(title.markerIntact);
}

TEST(GetFieldMemo, TimeStampInHalves) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::TimeStamp, "20030415123000");
    EXPECT_EQ(ReadField("2.D").text, "20030415");
    EXPECT_EQ(ReadField("2.T").text, "1230");
    auto other = ReadField("2.X");
    EXPECT_EQ(other.result, 0);
    EXPECT_EQ(other.text, "");
}

TEST(GetFieldMemo, TimeStampNeedsAPointOnlyWhenItHasAValue) {
    {
        Sandbox sandbox;
        FieldRecord record(kMemoDbId);
        record.SetText(MemoField::TimeStamp, "20030415123000");
        auto read = ReadField("2");
        EXPECT_EQ(read.result, -8);
        EXPECT_EQ(read.text, "");
        EXPECT_EQ(sandbox.DebugOutput(),
                  "***** DIZ_API_GetField('2', [OUT])\nInvalid field format (1) in memo/ timestamp field\n");
    }
    FieldRecord record(kMemoDbId);
    auto read = ReadField("2");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
}

TEST(GetFieldMemo, CategoryIsAlwaysEmptyAndSecretIsAFlag) {
    FieldRecord record(kMemoDbId);
    record.SetText(MemoField::Category, "Work");
    record.SetNumber(MemoField::Secret, 1);
    EXPECT_EQ(ReadField("4").text, "");
    EXPECT_EQ(ReadField("5").text, "1");
}

TEST(GetFieldMail, SendDateInHalves) {
    FieldRecord record(kMailDbId);
    record.SetText(MailField::SendDate, "20031231235959");
    EXPECT_EQ(ReadField("11.D").text, "20031231");
    EXPECT_EQ(ReadField("11.T").text, "2359");
    EXPECT_EQ(ReadField("11.Q").text, "");
}

TEST(GetFieldMail, SendDateNeedsAPointEvenWithoutValue) {
    Sandbox sandbox;
    FieldRecord record(kMailDbId);
    auto read = ReadField("11");
    EXPECT_EQ(read.result, -8);
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('11', [OUT])\nInvalid field format (1) in memo/ timestamp field\n");
    auto dated = ReadField("11.D");
    EXPECT_EQ(dated.result, 0);
    EXPECT_EQ(dated.text, "");
}

TEST(GetFieldMail, SendDateKeptUnderAnEmptyReceivedDateIsGiven) {
    FieldRecord record(kMailDbId);
    record.SetText(MailField::SendDate, "20030415093000");
    record.Slot(MailField::SendDate).length = 0;
    EXPECT_EQ(ReadField("11.D").text, "20030415");
    EXPECT_EQ(ReadField("11.T").text, "0930");
    record.Slot(MailField::SendDate).length = kValueAbsent;
    EXPECT_EQ(ReadField("11.T").text, "0930");
}

TEST(GetFieldMail, ShortSendDateGivesWhatItHas) {
    FieldRecord record(kMailDbId);
    record.SetText(MailField::SendDate, "0");
    EXPECT_EQ(ReadField("11.D").text, "0");
    EXPECT_EQ(ReadField("11.T").text, "");
}

TEST(GetFieldMail, ReadFlagNeedsTheFolderField) {
    {
        FieldRecord record(kMailDbId);
        EXPECT_EQ(ReadField("13").text, "0");
        record.SetByte(MailField::IsRead, 1);
        EXPECT_EQ(ReadField("13").text, "1");
    }
    Sandbox sandbox;
    FieldRecord record(kMailDbId, {MailField::FolderID});
    record.SetByte(MailField::IsRead, 1);
    auto read = ReadField("13");
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(sandbox.DebugOutput(),
              "***** DIZ_API_GetField('13', [OUT])\nin alarm special case: Folder id not found\n");
}

TEST(GetFieldMail, PriorityTypeAndReceivedDate) {
    FieldRecord record(kMailDbId);
    record.SetByte(MailField::Priority, 0);
    EXPECT_EQ(ReadField("23").text, "0");
    record.SetByte(MailField::Priority, 3);
    EXPECT_EQ(ReadField("23").text, "2");
    EXPECT_EQ(ReadField("3").text, "2");  // Type without value
    record.SetText(MailField::RecvDate, "x\ny");
    EXPECT_EQ(ReadField("12").text, "x\r\ny");
    record.SetNumber(MailField::FolderID, 0);
    EXPECT_EQ(ReadField("2").text, "0");
}

}  // namespace
