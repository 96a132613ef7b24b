// The per-pass exports: direction, the full-sync answer, the device probe
// and the connect-error flag.
#include "exports/session_world.h"

#include <ctime>
#include <gtest/gtest.h>

using namespace session_tests;
using Lines = std::vector<std::string>;

namespace {

const uint32_t kInjected = 0x10000077;

// A started session on a paired device; the trace is taken.
void Start(SessionWorld& world) {
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    world.TakeTrace();
}

// A start-up that fails at the database list, leaving kInjected as the
// last error.
void StartAndFail(SessionWorld& world) {
    world.PairBothSides();
    world.image().FailCall("S_DVXGetDBIDList", 1, kInjected, false);
    world.Load();
    ASSERT_EQ(-2, world.api().DIZ_API_Initialize("", ""));
    ASSERT_EQ(kInjected, world.LastError());
    world.TakeTrace();
}

std::string CtimeText(int32_t value) {
    time_t seconds = value;
    std::string text = std::ctime(&seconds);
    text.pop_back();
    return text;
}

TEST(QueryFullSync, BeforeAnyOpenDatabaseAnswersNoAndClearsTheLastError) {
    SessionWorld world;
    StartAndFail(world);

    uint32_t fullSync = 0xFFFFFFFF;
    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(3, 0x5F5E1000, &fullSync));
    EXPECT_EQ(0u, fullSync);
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Lines({"***** DIZ_API_QueryFullSync(3, 5f5e1000, [OUT])  " + CtimeText(0x5F5E1000), "returning FALSE"}),
              world.TakeTrace());

    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(-1, 0, &fullSync));
    EXPECT_EQ(Lines({"***** DIZ_API_QueryFullSync(-1, 00000000, [OUT])  [FULL SYNC]", "returning FALSE"}),
              world.TakeTrace());
}

TEST(Direction, BeginExportAndImportTraceAndKeepTheLastError) {
    SessionWorld world;
    StartAndFail(world);

    world.api().DIZ_API_BeginExport(0);
    EXPECT_EQ(Lines({"***** DIZ_API_BeginExport(0)  [FULL SYNC]"}), world.TakeTrace());
    EXPECT_EQ(kInjected, world.LastError());

    world.api().DIZ_API_BeginExport(1700000000);
    EXPECT_EQ(Lines({"***** DIZ_API_BeginExport(1700000000)  " + CtimeText(1700000000)}), world.TakeTrace());
    EXPECT_EQ(kInjected, world.LastError());

    world.api().DIZ_API_BeginImport();
    EXPECT_EQ(Lines({"***** DIZ_API_BeginImport()"}), world.TakeTrace());
    EXPECT_EQ(kInjected, world.LastError());
}

TEST(ConnectErrorStatus, StaysZeroAfterASuccessfulStartup) {
    SessionWorld world;
    Start(world);
    EXPECT_EQ(0u, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_TRUE(world.TakeTrace().empty()) << "no trace line";
}

TEST(ConnectErrorStatus, IsOneAfterThePortFailedAndKeepsTheLastError) {
    SessionWorld world;
    world.image().portAvailable = false;
    world.Load();
    ASSERT_EQ(-2, world.api().DIZ_API_Initialize("", ""));
    world.TakeTrace();
    EXPECT_EQ(1u, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_EQ(tethra_sim::kErrPortUnavailable, world.LastError());
    EXPECT_TRUE(world.TakeTrace().empty());
}

// With no database opened, the open database id is 0; sections without a
// database (0 and unknown ones) map to that same 0, and every other
// section is not the open database.
TEST(CancelCheck, AnotherSectionThanTheOpenDatabase) {
    SessionWorld world;
    StartAndFail(world);

    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(0)) << "section 0 is where the check starts";
    EXPECT_TRUE(world.TakeTrace().empty());
    EXPECT_EQ(-6, world.api().DIZ_API_CancelCheck(2));
    EXPECT_EQ(Lines({"Database switched without a new call to OpenDatabase."}), world.TakeTrace());
    EXPECT_EQ(kInjected, world.LastError()) << "the check leaves the last error alone";
    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(2)) << "a repeat is not checked again";
    EXPECT_TRUE(world.TakeTrace().empty());
    EXPECT_EQ(-6, world.api().DIZ_API_CancelCheck(5));
    EXPECT_EQ(-6, world.api().DIZ_API_CancelCheck(2)) << "a section that is new again is checked again";
    world.TakeTrace();
}

TEST(CancelCheck, DeviceThatDoesNotAnswerGivesMinusTwelve) {
    SessionWorld world;
    Start(world);

    // Section 9 is no database: it maps to the open database id 0, which
    // the device does not know.
    EXPECT_EQ(-12, world.api().DIZ_API_CancelCheck(9));
    EXPECT_EQ(tethra_sim::kErrUnknownDatabase, world.LastError());
    char errorLine[64];
    std::snprintf(errorLine, sizeof errorLine, "***** ***** Last Quenda Error: %08x", tethra_sim::kErrUnknownDatabase);
    EXPECT_EQ(Lines({"Unknown database identifier: [9]", "Could not get info on database: [0]", errorLine}),
              world.TakeTrace());
    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(9)) << "also after a failed check";
    EXPECT_TRUE(world.TakeTrace().empty());
}

// A device that answers for database id 0 lets the probe of the session's
// open database (0 until one is opened) succeed.  The injected failure of
// the second probe tells whether the device was asked again.
class CancelCheckRoundTrips : public testing::Test {
protected:
    void SetUp() override {
        tethra_sim::Database zero;
        zero.id = 0;
        zero.fields = tethra_sim::BuiltInFields(1);
        world.image().databases.push_back(zero);
        world.image().FailCall("S_DVXGetDBInfo", 2, kInjected, false);
        Start(world);
    }
    SessionWorld world;
};

TEST_F(CancelCheckRoundTrips, OneDeviceRoundTripPerNewSection) {
    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(6));
    EXPECT_EQ(Lines({"Unknown database identifier: [6]"}), world.TakeTrace());
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(6)) << "the same section does not reach the device";
    EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(6));
    EXPECT_TRUE(world.TakeTrace().empty());

    // A new section asks the device again: this is its second probe.
    EXPECT_EQ(-12, world.api().DIZ_API_CancelCheck(7));
    EXPECT_EQ(kInjected, world.LastError());
    EXPECT_EQ(Lines({"Unknown database identifier: [7]", "Could not get info on database: [0]",
                     "***** ***** Last Quenda Error: 10000077"}),
              world.TakeTrace());
}

}  // namespace
