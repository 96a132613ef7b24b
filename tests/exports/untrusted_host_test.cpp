// A careless or hostile host: null pointers for texts and out-parameters,
// texts of any length, exports called in any order (random RepeatInfo
// bytes and call sequences are fuzz_export_sequence's).  The adapter must
// answer each with a status, write nothing through a null pointer, never
// write past the bounds a host buffer has, and still serve a normal
// session afterwards.  Buffers here are allocated to the
// exact size the host is promised, so that a sanitized build stops at the
// first byte written beyond it.
#include "exports/export_world.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string.h>
#include <string>
#include <vector>

using namespace export_tests;
using testing_support::AdapterExports;

namespace {

// Bounds a host relies on: field text and its terminator, record id text.
constexpr size_t kFieldTextBytes = 49152 + 1;
constexpr size_t kRecordIdBytes = 12;

using Call = std::function<int32_t(const AdapterExports&)>;

// One export call (its text names it), its result and, when not null, a
// trace line it writes.
struct Row {
    const char* what;
    Call call;
    int32_t result;
    const char* line = nullptr;
};
// ROW(result, call) and ROW_LINE(result, line, call): a row of the call
// api.call (a void export followed by ", 0").
#define ROW_LINE(result, line, ...) \
    Row { #__VA_ARGS__, [&](const AdapterExports& a) -> int32_t { return a.__VA_ARGS__; }, result, line }
#define ROW(result, ...) ROW_LINE(result, nullptr, __VA_ARGS__)

// Runs every row in order; a row's line must be among the lines it wrote.
void RunRows(SessionWorld& world, const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(row.result, row.call(world.api())) << "row " << i << ": " << row.what;
        const Lines trace = world.TakeTrace();
        if (row.line != nullptr) {
            EXPECT_TRUE(HasLine(trace, row.line)) << "row " << i << ": " << row.what;
        }
    }
}

// A buffer of exactly n bytes on the heap, filled with 'Z'.
std::unique_ptr<char[]> HostBuffer(size_t n) {
    std::unique_ptr<char[]> buffer(new char[n]);
    memset(buffer.get(), 'Z', n);
    return buffer;
}

std::string FieldText(const AdapterExports& api, const char* id, int32_t* result) {
    std::unique_ptr<char[]> out = HostBuffer(kFieldTextBytes);
    *result = api.DIZ_API_GetField(id, out.get());
    EXPECT_NE(nullptr, memchr(out.get(), '\0', kFieldTextBytes)) << id;
    return std::string(out.get(), strnlen(out.get(), kFieldTextBytes));
}

// A normal export of every Memo record: what any misuse before it must not
// spoil.  Returns the titles read.
std::vector<std::string> ExportMemoTitles(SessionWorld& world) {
    const AdapterExports& api = world.api();
    std::vector<std::string> titles;
    api.DIZ_API_BeginExport(0);
    EXPECT_EQ(0, api.DIZ_API_OpenDatabase(kMemoSection, "", ""));
    uint32_t status = 0;
    for (int32_t r = api.DIZ_API_GetFirstRecord(kMemoSection, 0, &status); r == 0;
         r = api.DIZ_API_GetNextRecord(kMemoSection, 0, &status)) {
        int32_t result = -1;
        titles.push_back(FieldText(api, "1", &result));
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(0, api.DIZ_API_CloseDatabase(kMemoSection, 1, 0));
    return titles;
}

TEST(UntrustedHost, NullPointersAreEmptyTextsAndUnwrittenOutputs) {
    SessionWorld world;
    world.image().AddRecord(kMemoDb, Memo("kept"));
    StartImport(world, kMailSection);
    RunRows(world, {
        ROW_LINE(0, "***** DIZ_API_Initialize('(null)', '(null)')", DIZ_API_Initialize(nullptr, nullptr)),
        ROW(0, DIZ_API_SetFolderID(1)),
        ROW(0, DIZ_API_InsertRecord()),
        ROW_LINE(-8, "***** DIZ_API_PutField('(null)', 'x')", DIZ_API_PutField(nullptr, "x")),
        ROW_LINE(0, "***** DIZ_API_PutField('9', '(null)')", DIZ_API_PutField("9", nullptr)),
        ROW(0, DIZ_API_GetFieldByWriteRec(1, nullptr)),
        ROW(0, DIZ_API_AddRecord(nullptr)),
        ROW(0, DIZ_API_GetRecordID_Attachment(nullptr)),
        ROW_LINE(-10, "***** DIZ_API_DeleteRecord('(null)')", DIZ_API_DeleteRecord(nullptr)),
        ROW_LINE(-11, "***** DIZ_API_FindRecord('(null)')", DIZ_API_FindRecord(nullptr)),
        ROW(0, DIZ_API_CloseDatabase(kMailSection, 1, 0)),
        ROW(0, DIZ_API_QueryFullSync(kMemoSection, 0, nullptr)),
        ROW(0, DIZ_API_BeginExport(0), 0),
        ROW_LINE(0, "***** DIZ_API_OpenDatabase(4, '(null)', '(null)')",
                 DIZ_API_OpenDatabase(kMemoSection, nullptr, nullptr)),
        ROW(0, DIZ_API_GetRecordCount(kMemoSection, 0, nullptr)),
        ROW(0, DIZ_API_GetFirstRecord(kMemoSection, 0, nullptr)),
        ROW_LINE(0, "Returning 'kept note'", DIZ_API_GetField("1", nullptr)),
        ROW_LINE(-8, "***** DIZ_API_GetField('(null)', [OUT])", DIZ_API_GetField(nullptr, nullptr)),
        ROW(0, DIZ_API_GetRepeatInfo(nullptr)),
        ROW(0, DIZ_API_GetFolderID(nullptr)),
        ROW(-7, DIZ_API_GetNextRecord(kMemoSection, 0, nullptr)),
        ROW(0, GetEmailBodyLength(nullptr)),
        ROW(1, GetInstallPath(nullptr)),
        ROW(0, DIZ_API_GetLastErrorCode(nullptr), 0),
    });
    // The mail written without an id buffer reached the device.
    EXPECT_EQ(1u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
}

// Every export, in an order no host should use, on a library that was
// never started; then a normal session.
TEST(UntrustedHost, ExportsInAnyOrderBeforeAndAfterTheSession) {
    SessionWorld world;
    world.PairBothSides();
    world.image().AddRecord(kMemoDb, Memo("first"));
    world.Load();
    char id[kRecordIdBytes] = "";
    RepeatInfo info = {};
    uint32_t out = 0;
    RunRows(world, {
        ROW(0, DIZ_API_Uninitialize()),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(-6, DIZ_API_GetRecordCount(kMemoSection, 0, &out)),
        ROW(-6, DIZ_API_GetFirstRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_GetField("1", HostBuffer(kFieldTextBytes).get())),
        ROW(0, DIZ_API_PutField("1", "x")),
        ROW(0, DIZ_API_SetAlarm()),
        ROW(0, DIZ_API_SetEventFlag()),
        ROW(0, DIZ_API_WriteFolderID(1)),
        ROW(0, DIZ_API_PutRepeatInfo(info)),
        ROW(-12, DIZ_API_AddRecord(id)),
        ROW(-12, DIZ_API_FlushRecord()),
        ROW(0, DIZ_API_GetRepeatInfo(&info)),
        ROW(-4, DIZ_API_GetIdDBRec(1)),
        ROW(0, DIZ_API_ReleaseReadRecord()),
        ROW(-10, DIZ_API_DeleteRecord("1")),
        ROW(-11, DIZ_API_FindRecord("1")),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),  // again
        ROW(0, DIZ_API_QueryFullSync(kMemoSection, 0, &out)),
        ROW(-6, DIZ_API_CancelCheck(kMemoSection)),
        ROW_LINE(-4, "Database not enabled on device: [8]", DIZ_API_OpenDatabase(kMemoSection, "", "")),
    });
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    EXPECT_EQ(std::vector<std::string>{"first note"}, ExportMemoTitles(world));
    // The session closed under an open database with its record cache
    // (found by fuzz_export_sequence: the cache's entries were touched
    // after the private heap holding them was gone).
    RunRows(world, {
        ROW(0, DIZ_API_BeginExport(0), 0),
        ROW(0, DIZ_API_OpenDatabase(kMemoSection, "", "")),
        ROW(0, DIZ_API_GetFirstRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_CloseSyncApp()),
        // After CloseSyncApp:
        ROW_LINE(0, "Quenda field id 0 not found (qdb:8)", DIZ_API_GetField("1", HostBuffer(kFieldTextBytes).get())),
        ROW(-7, DIZ_API_GetNextRecord(kMemoSection, 0, &out)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),
        ROW(0, DIZ_API_CloseDatabase(kMemoSection, 1, 0)),    // twice
        ROW(-12, DIZ_API_FlushRecord()),                       // before any FindRecord
        ROW(0, DIZ_API_CloseSyncApp()),                        // twice
        ROW(0, DIZ_API_Uninitialize()),
        ROW(0, DIZ_API_Uninitialize()),                        // twice
        ROW(-4, DIZ_API_OpenDatabase(kMemoSection, "", "")),  // after Uninitialize
    });
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    EXPECT_EQ(std::vector<std::string>{"first note"}, ExportMemoTitles(world));
}

// A record loaded by id after an open that failed before making its field
// table current: the Schedule table stays, the values are a Memo's (found
// by fuzz_export_sequence: a read past the Memo's slots).
TEST(UntrustedHost, RecordLoadedAfterAFailedOpenIsReadWithinItsSlots) {
    SessionWorld world;
    world.PairBothSides();
    const uint32_t memoId = world.image().AddRecord(kMemoDb, Memo("first"));
    world.Load();
    RepeatInfo info = {};
    RunRows(world, {
        ROW(0, DIZ_API_Initialize("", "")),
        ROW(0, DIZ_API_OpenDatabase(kScheduleSection, "", "")),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(0, DIZ_API_Uninitialize()),
        // Unconnected: the Memo open fails.
        ROW_LINE(-4, "Database not enabled on device: [8]", DIZ_API_OpenDatabase(kMemoSection, "", "")),
        ROW(0, DIZ_API_Initialize("", "")),
        ROW(1, DIZ_API_GetIdDBRec(memoId)),
        // A Schedule field past the Memo's.
        ROW_LINE(0, "Quenda field id 6 not found (qdb:8)", DIZ_API_GetField("7", HostBuffer(kFieldTextBytes).get())),
        ROW(0, DIZ_API_GetRepeatInfo(&info)),
        ROW(0, DIZ_API_CloseSyncApp()),
        ROW(0, DIZ_API_Uninitialize()),
    });
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    EXPECT_EQ(std::vector<std::string>{"first note"}, ExportMemoTitles(world));
}

// Texts far beyond anything a host should send, and device values far
// beyond what a host buffer holds.
TEST(UntrustedHost, TextsOfAnyLengthStayWithinTheHostsBounds) {
    SessionWorld world;
    std::string lines;
    for (int i = 0; i < 40000; ++i) lines += "ab\n";  // 120,000 bytes, 160,000 as host text
    world.image().AddRecord(kMemoDb, {{"S_PAGE_NOTE", tethra_sim::TextValue(std::string(100000, 't') + "\n" + lines)}});
    world.image().AddRecord(kAddressDb,
                            {{"S_NAME", tethra_sim::TextValue(lines)}, {"S_NOTE1", tethra_sim::TextValue(lines)}});
    StartImport(world, kAddressSection);
    const AdapterExports& api = world.api();

    const std::string megabyte(1 << 20, 'm');
    const std::string longId(5000, '7');
    const std::string pointedId = "2." + std::string(5000, 'D');
    ASSERT_EQ(0, api.DIZ_API_InsertRecord());
    EXPECT_EQ(0, api.DIZ_API_PutField("1", megabyte.c_str()));
    std::unique_ptr<char[]> copy = HostBuffer(kFieldTextBytes);
    EXPECT_EQ(0, api.DIZ_API_GetFieldByWriteRec(0, copy.get()));
    EXPECT_EQ(kFieldTextBytes - 1, strlen(copy.get()));
    EXPECT_EQ(0, api.DIZ_API_PutField(longId.c_str(), "x"));
    EXPECT_EQ(0, api.DIZ_API_PutField(pointedId.c_str(), megabyte.c_str()));
    std::unique_ptr<char[]> id = HostBuffer(kRecordIdBytes);
    EXPECT_EQ(0, api.DIZ_API_AddRecord(id.get()));
    EXPECT_EQ(0, api.DIZ_API_CloseDatabase(kAddressSection, 1, 0));
    // Record id texts read as their signed decimal prefix, wrapped to 32
    // bits: FindRecord accepts any id but 0, no such record is on the device.
    const std::vector<std::pair<std::string, int32_t>> recordIds = {
        {"99999999999999999999", 0}, {"-99999999999999999999", 0}, {"4294967296", -11}, {"-2147483649", 0},
        {"+-1", -11},                {" 12", 0},                    {"0x10", -11},       {longId, 0},
    };
    for (const auto& [text, found] : recordIds) {
        EXPECT_EQ(found, api.DIZ_API_FindRecord(text.c_str())) << text;
        EXPECT_EQ(-10, api.DIZ_API_DeleteRecord(text.c_str())) << text;
    }
    for (int32_t section : {kMemoSection, kAddressSection}) {
        api.DIZ_API_BeginExport(0);
        ASSERT_EQ(0, api.DIZ_API_OpenDatabase(section, "", ""));
        uint32_t status = 0;
        for (int32_t r = api.DIZ_API_GetFirstRecord(section, 0, &status); r == 0;
             r = api.DIZ_API_GetNextRecord(section, 0, &status)) {
            for (const char* field : {"1", "3", "31", "UID", longId.c_str(), pointedId.c_str()}) {
                int32_t result = -1;
                const std::string text = FieldText(api, field, &result);
                EXPECT_LE(text.size(), kFieldTextBytes - 1) << field;
                EXPECT_TRUE(result == 0 || result == -8) << field;
            }
        }
        EXPECT_EQ(0, api.DIZ_API_CloseDatabase(section, 1, 0));
    }
}

}  // namespace
