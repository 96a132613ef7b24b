// The field-reading exports of a freshly loaded adapter, before any
// database is open: what a host gets when it asks too early, and the
// host's e-mail body length found under its C++ name.
#include "support/adapter_library.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

using testing_support::AdapterLibrary;
using testing_support::Sandbox;

namespace {

constexpr char kDataFolder[] = "C:\\Korvell\\Data\\";

// The debugger output written since `mark` characters.
std::string Since(const Sandbox& sandbox, size_t mark) { return sandbox.DebugOutput().substr(mark); }

TEST(FieldExportsBeforeAnyRecord, GetFieldFindsNoField) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, 1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    size_t mark = sandbox.DebugOutput().size();
    char out[64];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(adapter->DIZ_API_GetField("3", out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[1], 'Z');
    EXPECT_EQ(Since(sandbox, mark), "***** DIZ_API_GetField('3', [OUT])\nQuenda field id 2 not found (qdb:0)\n");
    EXPECT_EQ(adapter->DIZ_API_GetField("abc", out), -8);
    uint32_t code = 1;
    adapter->DIZ_API_GetLastErrorCode(&code);
    EXPECT_EQ(code, 0u);
    // The trace file holds the same lines.
    EXPECT_NE(sandbox.TraceLog().find("Field ID ('abc') is invalid in this context (converts to 0)"),
              std::string::npos);
}

TEST(FieldExportsBeforeAnyRecord, RepeatInfoIsEmptyAndFoldersUnchanged) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    size_t mark = sandbox.DebugOutput().size();
    RepeatInfo info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(adapter->DIZ_API_GetRepeatInfo(&info), 0);
    const RepeatInfo zero = {};
    EXPECT_EQ(memcmp(&info, &zero, sizeof info), 0);
    uint32_t folder = 99;
    EXPECT_EQ(adapter->DIZ_API_GetFolderID(&folder), 0);
    EXPECT_EQ(folder, 0u);
    EXPECT_EQ(adapter->DIZ_API_ReadFolderID(), 0);
    EXPECT_EQ(Since(sandbox, mark),
              "***** DIZ_API_GetRepeatInfo()\n***** DIZ_API_GetFolderID\n***** DIZ_API_ReadFolderID()\n"
              "***** DIZ_API_ReadFolderID()\n");
}

TEST(FieldExportsBeforeAnyRecord, NoWriteRecordForTheAttachmentId) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    size_t mark = sandbox.DebugOutput().size();
    char out[16];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(adapter->DIZ_API_GetRecordID_Attachment(out), -11);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(Since(sandbox, mark), "");
}

TEST(FieldExportsBeforeAnyRecord, AFailedInsertStillLeavesAWriteRecordOfIdZero) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    // Without an open database the record gets no slots, but it was begun.
    EXPECT_EQ(adapter->DIZ_API_InsertRecord(), -9);
    char out[16];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(adapter->DIZ_API_GetRecordID_Attachment(out), 0);
    EXPECT_STREQ(out, "0");
    uint32_t code = 1;
    adapter->DIZ_API_GetLastErrorCode(&code);
    EXPECT_EQ(code, 0u) << "the attachment id clears the insert's out-of-memory code";
}

TEST(EmailBodyLengthExport, FoundUnderItsCxxNameAndReadFromTheDataFolder) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, 1);
    std::string bytes(9500, '\x7F');
    bytes[9446] = '\x00';
    bytes[9447] = '\x20';
    bytes[9448] = '\x00';
    bytes[9449] = '\x00';
    testing_support::WriteFile(sandbox.HostPath(std::string(kDataFolder) + "ilsync.psf"), bytes);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    ASSERT_NE(adapter->GetEmailBodyLength, nullptr);
    size_t mark = sandbox.DebugOutput().size();
    int32_t length = 0;
    EXPECT_EQ(adapter->GetEmailBodyLength(&length), 1);
    EXPECT_EQ(length, 0x2000);
    EXPECT_EQ(Since(sandbox, mark), "");
}

TEST(EmailBodyLengthExport, MissingFileGivesFourKilobytes) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    int32_t length = 0;
    EXPECT_EQ(adapter->GetEmailBodyLength(&length), 0);
    EXPECT_EQ(length, 4096);
}

}  // namespace
