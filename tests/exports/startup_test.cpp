// Starting, ending and closing a session through the exports, against the
// simulated device: results, last errors, trace lines, and what the
// settings file and the device hold afterwards.
#include "exports/session_world.h"

#include "platform/platform_test.h"

#include <functional>
#include <gtest/gtest.h>

using namespace session_tests;
using Lines = std::vector<std::string>;

namespace {

const Lines kInitializeLine = {"***** DIZ_API_Initialize('Quenda', 'Outlook')"};
const Lines kOpenLine = {"     ------ QAPI.QPC_Open()"};
const Lines kOpenDatabaseLine = {"     ------ QAPI.QPC_OpenDataBase()"};
const Lines kInitHeapLine = {"+++++ InitHeap() heapRef[0] hHeap[*]"};
const Lines kDatabaseListLine = {"     ------ QAPI.QPC_GetDBIDList(&TTDBIDList, &DBIDCount, hHeap)"};
const Lines kInitPcidLine = {"+++++ InitPCID()"};
const Lines kContractLine = {"     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)"};

std::string DeviceErrorLine(uint32_t code) {
    char line[64];
    std::snprintf(line, sizeof line, "***** ***** Last Quenda Error: %08x", code);
    return line;
}

// Every line of a successful start-up of a paired device whose last sync
// time agrees with this PC's.
Lines PairedStartupLines() {
    return Join(Join(Join(Join(kInitializeLine, kOpenLine), Join(kOpenDatabaseLine, kInitHeapLine)),
                     Join(kDatabaseListLine, kInitPcidLine)),
                kContractLine);
}

int32_t Initialize(SessionWorld& world) { return world.api().DIZ_API_Initialize("Quenda", "Outlook"); }

TEST(Startup, PairedDeviceStartsAndStampsANewSyncTime) {
    SessionWorld world;
    world.PairBothSides();
    world.Load();

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(PairedStartupLines(), world.TakeTrace());
    EXPECT_EQ(0u, world.api().DIZ_API_GetConnectErrorStatus());

    EXPECT_EQ(0, world.api().DIZ_API_CloseSyncApp());
    EXPECT_EQ(Lines({"***** DIZ_API_CloseSyncApp()", "     ------ QAPI.QPC_Close()",
                     "+++++ ReleaseHeap(1) heapRef[1] hHeap[*]"}),
              world.TakeTrace());
    // The heap is gone already: ending the session only traces.
    EXPECT_EQ(0, world.api().DIZ_API_Uninitialize());
    EXPECT_EQ(Lines({"***** DIZ_API_Uninitialize", "+++++ ReleaseHeap(0) heapRef[0] hHeap[*]"}), world.TakeTrace());

    std::string stamped = world.Setting("SyncTime");
    EXPECT_EQ(14u, stamped.size());
    EXPECT_NE(kLastSyncTime, stamped);
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(stamped, device.syncTime);
    EXPECT_EQ(kPairedIdText, IdText(device.pcId));
}

// One row per step of the start-up that can fail.
struct FailingStep {
    const char* name;
    // Arranges the failure: on the device image before loading, or in the
    // platform once the library is loaded.
    std::function<void(SessionWorld&)> arrange;
    uint32_t lastError;
    Lines traceAfterInitialize;
};

const uint32_t kInjected = 0x10000077;

std::vector<FailingStep> FailingSteps() {
    return {
        /* 0 */ {"port", [](SessionWorld& w) { w.image().portAvailable = false; }, tethra_sim::kErrPortUnavailable,
                 Join(kOpenLine, {"QPC_Open failed.", DeviceErrorLine(tethra_sim::kErrPortUnavailable)})},
        /* 1 */ {"wait", [](SessionWorld& w) { w.image().attached = false; }, tethra_sim::kErrNoDevice,
                 Join(kOpenLine, {"QPC_Open failed.", DeviceErrorLine(tethra_sim::kErrNoDevice)})},
        /* 2 */ {"working database",
                 [](SessionWorld& w) { w.image().FailCall("S_DVXOpenDataBase", 1, kInjected, false); }, kInjected,
                 Join(Join(kOpenLine, kOpenDatabaseLine), {"S_DVXOpenDataBase failed.", DeviceErrorLine(kInjected)})},
        /* 3 */ {"heap", nullptr, 0x10000004,
                 Join(Join(kOpenLine, kOpenDatabaseLine),
                      Join(kInitHeapLine, {"!!!!!!!  Heap initialization failed!", "Heap initialization failed.",
                                           "***** ***** Manually setting Quenda Error: 10000004"}))},
        /* 4 */ {"database list",
                 [](SessionWorld& w) { w.image().FailCall("S_DVXGetDBIDList", 1, kInjected, false); }, kInjected,
                 Join(Join(Join(kOpenLine, kOpenDatabaseLine), Join(kInitHeapLine, kDatabaseListLine)),
                      {"Failed getting DB ID list", DeviceErrorLine(kInjected)})},
        /* 5 */ {"empty list", [](SessionWorld& w) { w.image().databases.clear(); }, 0,
                 Join(Join(Join(kOpenLine, kOpenDatabaseLine), Join(kInitHeapLine, kDatabaseListLine)),
                      {"DB ID list retrieved, but it is empty."})},
        /* 6 */ {"contract",
                 [](SessionWorld& w) { w.image().FailCall("S_DVXGetSyncContractInfo", 1, kInjected, false); },
                 kInjected,
                 Join(Join(Join(kOpenLine, kOpenDatabaseLine), Join(kInitHeapLine, kDatabaseListLine)),
                      Join(Join(kInitPcidLine, kContractLine),
                           {DeviceErrorLine(kInjected), "Error checking device PCID or setting new device PCID."}))},
    };
}

class StartupFailure : public testing::TestWithParam<size_t> {};

TEST_P(StartupFailure, ReturnsMinusTwoWithItsErrorAndTrace) {
    const FailingStep step = FailingSteps()[GetParam()];
    SCOPED_TRACE(step.name);
    SessionWorld world;
    world.PairBothSides();
    if (step.arrange) step.arrange(world);
    world.Load();
    if (!step.arrange) PlatformFailCall("HeapCreate", 1, 0);

    EXPECT_EQ(-2, Initialize(world));
    EXPECT_EQ(step.lastError, world.LastError());
    EXPECT_EQ(step.lastError, world.LastError()) << "reading the last error does not change it";
    EXPECT_EQ(Join(kInitializeLine, step.traceAfterInitialize), world.TakeTrace());
    // The failed start-up still counts as one until the host ends it.
    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Join(kInitializeLine, {"\t\t########## already initialized, jumping out of DIZ_API_Initialize"}),
              world.TakeTrace());
    // Nothing of the pairing was touched.
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));
}

INSTANTIATE_TEST_SUITE_P(EachStep, StartupFailure, testing::Range<size_t>(0, 7));

TEST(Startup, SecondInitializeAfterSuccessOnlyAnswers) {
    SessionWorld world;
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, Initialize(world));
    world.TakeTrace();

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(Join(kInitializeLine, {"\t\t########## already initialized, jumping out of DIZ_API_Initialize"}),
              world.TakeTrace());
}

TEST(Startup, ConnectErrorStaysSetAfterALaterSuccess) {
    SessionWorld world;
    world.PairBothSides();
    world.image().FailCall("S_DVXWaitConnection", 1, tethra_sim::kErrNoDevice, false);
    world.Load();
    EXPECT_EQ(0u, world.api().DIZ_API_GetConnectErrorStatus());

    EXPECT_EQ(-2, Initialize(world));
    EXPECT_EQ(1u, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_EQ(0, world.api().DIZ_API_Uninitialize());
    world.TakeTrace();

    // The port stayed open: this attempt only waits for the device again.
    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(PairedStartupLines(), world.TakeTrace());
    EXPECT_EQ(1u, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_EQ(0u, world.LastError()) << "the connect-error status leaves the last error alone";
}

TEST(Startup, UninitializeWithoutCloseKeepsTheLinkForTheNextStartup) {
    SessionWorld world;
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, Initialize(world));
    world.TakeTrace();
    EXPECT_EQ(0, world.api().DIZ_API_Uninitialize());
    EXPECT_EQ(Lines({"***** DIZ_API_Uninitialize", "+++++ ReleaseHeap(0) heapRef[1] hHeap[*]"}), world.TakeTrace());

    // No port, no working database: both are still open.  Both sides hold
    // the time the first start-up stamped, so the pairing stands.
    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(Join(Join(kInitializeLine, kInitHeapLine), Join(Join(kDatabaseListLine, kInitPcidLine), kContractLine)),
              world.TakeTrace());
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
}

TEST(Startup, CloseSyncAppClosesTheLinkSoTheNextStartupOpensItAgain) {
    SessionWorld world;
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, Initialize(world));
    world.api().DIZ_API_CloseSyncApp();
    world.api().DIZ_API_Uninitialize();
    world.TakeTrace();

    // The working database stays open in the session's view until a
    // database is closed, so only the link is opened again.
    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(Join(Join(kInitializeLine, kOpenLine), Join(Join(kInitHeapLine, kDatabaseListLine),
                                                          Join(kInitPcidLine, kContractLine))),
              world.TakeTrace());
}

TEST(Startup, WorkingDatabaseWithoutDataFolderFails) {
    SessionWorld world;
    world.PairBothSides();
    world.Load();
    // The registry loses the folder after loading: the settings file and
    // the working database can no longer be found.
    world.sandbox().WriteRegistry("Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n"
                                  "\"QA_Trace\"=dword:00000001\n");

    EXPECT_EQ(-2, Initialize(world));
    Lines trace = world.TakeTrace();
    ASSERT_EQ(5u, trace.size());
    EXPECT_EQ(Join(Join(kInitializeLine, kOpenLine), Join(kOpenDatabaseLine, {"S_DVXOpenDataBase failed."})),
              Lines(trace.begin(), trace.begin() + 4));
    EXPECT_EQ(DeviceErrorLine(world.LastError()), trace[4]);
}

}  // namespace
