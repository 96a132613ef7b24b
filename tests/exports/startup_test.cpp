// Loading the adapter, then starting, ending and closing a session through the exports: the pairing
// settled at start-up (this PC's identity, the device's partner and sync time, the user's word before
// taking over a device paired elsewhere), and the per-pass exports that need no open database.
#include "exports/export_world.h"

#include "platform/platform_test.h"

#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <stdio.h>

using namespace export_tests;
using testing_support::AdapterLibrary;
using testing_support::Sandbox;

namespace {

// Loading the adapter as a host does: the trace switch, the application object's first line, the
// state the exports start from, and the names the library exports.

// The registry's trace switch: none traces only the first line, to the debugger; 0 adds the header
// ("QA Debug Log started: <ctime text>" and an empty line); 1 writes it to the file too, with CR LF.
TEST(LoadTrace, TheSwitchChoosesHeaderAndFile) {
    const std::string header =
        "QA Debug Log started: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n";
    for (const int traceSwitch : {-1, 0, 1}) {
        SCOPED_TRACE(traceSwitch);
        Sandbox sandbox;
        sandbox.WriteStandardRegistry(kDataFolder, traceSwitch);
        AdapterLibrary adapter;
        ASSERT_TRUE(adapter.Loaded());
        const std::string debug = sandbox.DebugOutput();
        const std::string expected = (traceSwitch < 0 ? "" : header) + "\\*\\*\\*\\*\\* CMorvaneApp\n";
        EXPECT_TRUE(std::regex_match(debug, std::regex(expected))) << debug;
        std::string file;
        for (char c : debug) file += c == '\n' ? std::string("\r\n") : std::string(1, c);
        if (traceSwitch == 1) {
            EXPECT_EQ(sandbox.TraceLog(), file);
        } else {
            EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath("C:\\QADbgLog.txt")));
        }
    }
}

// The log file is written whether or not anything reads the debugger output.
TEST(LoadTrace, TheFileIsWrittenWithNothingReadingTheDebugger) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, 1);
    testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT");
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    adapter.api().DIZ_API_BeginImport();
    const std::string log = sandbox.TraceLog();
    EXPECT_TRUE(std::regex_match(log, std::regex("QA Debug Log started: [^\r\n]*\r\n\r\n"
                                                 "\\*\\*\\*\\*\\* CMorvaneApp\r\n"
                                                 "\\*\\*\\*\\*\\* DIZ_API_BeginImport\\(\\)\r\n")))
        << log;
    EXPECT_FALSE(testing_support::FileExists(sandbox.debugOutputPath()));
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST(LoadTrace, FileGainsLinesAcrossLoads) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, 1);
    { AdapterLibrary first; ASSERT_TRUE(first.Loaded()); }
    const std::string afterFirst = sandbox.TraceLog();
    ASSERT_EQ(CountOf(afterFirst, "***** CMorvaneApp\r\n"), 1u);
    { AdapterLibrary second; ASSERT_TRUE(second.Loaded()); }
    const std::string afterSecond = sandbox.TraceLog();
    EXPECT_EQ(afterSecond.compare(0, afterFirst.size(), afterFirst), 0) << "nothing is rewritten";
    EXPECT_EQ(CountOf(afterSecond, "QA Debug Log started: "), 2u);
    EXPECT_EQ(CountOf(afterSecond, "***** CMorvaneApp\r\n"), 2u) << afterSecond;
}

// The last error is 0 after loading, reading it keeps it; GetInstallPath gives the data folder as the
// registry holds it, or 0 without one.  Neither writes a trace line.
TEST(LoadedState, LastErrorAndInstallPath) {
    // null: no "DatafilePath"; "": no registry file at all.
    const char* const kFolders[] = {kDataFolder, "C:\\Korvell\\Data", nullptr, ""};
    for (const char* folder : kFolders) {
        SCOPED_TRACE(folder != nullptr ? folder : "none");
        Sandbox sandbox;
        if (folder == nullptr) sandbox.WriteRegistry("Windows Registry Editor Version 5.00\n");
        if (folder != nullptr && *folder != '\0') sandbox.WriteStandardRegistry(folder, -1);
        if (folder != nullptr && *folder == '\0') folder = nullptr;
        AdapterLibrary adapter;
        ASSERT_TRUE(adapter.Loaded());
        for (int read = 0; read < 2; ++read) {
            uint32_t code = 0xDEADBEEF;
            adapter->DIZ_API_GetLastErrorCode(&code);
            EXPECT_EQ(code, 0u);
        }
        char buffer[260] = "";
        EXPECT_EQ(adapter->GetInstallPath(buffer), folder != nullptr ? 1 : 0);
        if (folder != nullptr) {
            EXPECT_STREQ(buffer, folder);
        }
        EXPECT_EQ(sandbox.DebugOutput(), "***** CMorvaneApp\n");
    }
}

// Only the host's entry points leave the library: DIZ_API_ functions and the two C++ names.
TEST(ExportedNames, OnlyTheApi) {
    const std::string command = "nm -D --defined-only " + AdapterLibrary::DefaultPath();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024], address[64], type[8], name[900];
    while (fgets(line, sizeof line, pipe) != nullptr)
        if (sscanf(line, "%63s %7s %899s", address, type, name) == 3) names.insert(name);
    ASSERT_EQ(pclose(pipe), 0) << command;
    ASSERT_FALSE(names.empty());
    const std::regex api("DIZ_API_[A-Za-z_]+|_Z14GetInstallPathPc|_Z18GetEmailBodyLengthPi");
    for (const std::string& exported : names) EXPECT_TRUE(std::regex_match(exported, api)) << exported;
    EXPECT_EQ(names.count("DIZ_API_GetLastErrorCode"), 1u);
    EXPECT_EQ(names.count("_Z14GetInstallPathPc"), 1u);
}

const char kInit[] = "***** DIZ_API_Initialize('Quenda', 'Outlook')";
const char kOpen[] = "     ------ QAPI.QPC_Open()";
const char kOpenDb[] = "     ------ QAPI.QPC_OpenDataBase()";
const char kInitHeap[] = "+++++ InitHeap() heapRef[0] hHeap[*]";
const char kDbList[] = "     ------ QAPI.QPC_GetDBIDList(&TTDBIDList, &DBIDCount, hHeap)";
const char kInitPcid[] = "+++++ InitPCID()";
const char kContract[] = "     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)";
const char kContractFailed[] = "Error checking device PCID or setting new device PCID.";
const char kAgain[] = "\t\t########## already initialized, jumping out of DIZ_API_Initialize";
const Lines kStartLines = {kInit, kOpen, kOpenDb, kInitHeap, kDbList, kInitPcid};

int32_t Initialize(SessionWorld& world) { return world.api().DIZ_API_Initialize("Quenda", "Outlook"); }

// One row per start-up step that can fail, and one that does not: arranged on the device image before
// loading, or in the platform or the registry once loaded.
struct StartRow {
    const char* name;
    std::function<void(SessionWorld&)> arrange;
    int32_t result;
    uint32_t lastError, connectError;
    Lines trace;  // after kInit
    std::function<void(SessionWorld&)> loaded = nullptr;
};

std::vector<StartRow> StartRows() {
    using W = SessionWorld&;
    const Lines throughList = {kOpen, kOpenDb, kInitHeap, kDbList};
    return {
        {"paired", [](W) {}, 0, 0, 0, Join({throughList, {kInitPcid, kContract}})},
        {"port", [](W w) { w.image().portAvailable = false; }, -2, tethra_sim::kErrPortUnavailable, 1,
         {kOpen, "QPC_Open failed.", DeviceErrorLine(tethra_sim::kErrPortUnavailable)}},
        {"wait", [](W w) { w.image().attached = false; }, -2, tethra_sim::kErrNoDevice, 1,
         {kOpen, "QPC_Open failed.", DeviceErrorLine(tethra_sim::kErrNoDevice)}},
        {"working database", [](W w) { w.image().FailCall("S_DVXOpenDataBase", 1, kInjected, false); }, -2, kInjected,
         0, {kOpen, kOpenDb, "S_DVXOpenDataBase failed.", DeviceErrorLine(kInjected)}},
        // The registry loses the data folder after loading: the device's refusal, with its error (none).
        {"data folder", [](W) {}, -2, 0, 0, {kOpen, kOpenDb, "S_DVXOpenDataBase failed.", DeviceErrorLine(0)},
         [](W w) { w.sandbox().WriteRegistry("Windows Registry Editor Version 5.00\n\n"
                                             "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n"
                                             "\"QA_Trace\"=dword:00000001\n"); }},
        {"heap", [](W) {}, -2, 0x10000004, 0,
         {kOpen, kOpenDb, kInitHeap, "!!!!!!!  Heap initialization failed!", "Heap initialization failed.",
          "***** ***** Manually setting Quenda Error: 10000004"},
         [](W) { PlatformFailCall("HeapCreate", 1, 0); }},
        {"database list", [](W w) { w.image().FailCall("S_DVXGetDBIDList", 1, kInjected, false); }, -2, kInjected, 0,
         Join({throughList, {"Failed getting DB ID list", DeviceErrorLine(kInjected)}})},
        {"empty list", [](W w) { w.image().databases.clear(); }, -2, 0, 0,
         Join({throughList, {"DB ID list retrieved, but it is empty."}})},
        // A device that gives no list behind its count.
        {"list without entries",
         [](W w) { w.image().FailCall("S_DVXGetDBIDList", 1, kInjected, false, tethra_sim::FaultEffect::kNullLists); },
         -2, 0, 0, Join({throughList, {"DB ID list retrieved, but it is empty."}})},
        {"contract", [](W w) { w.image().FailCall("S_DVXGetSyncContractInfo", 1, kInjected, false); }, -2, kInjected,
         0, Join({throughList, {kInitPcid, kContract, DeviceErrorLine(kInjected), kContractFailed}})},
    };
}

class Startup : public testing::TestWithParam<size_t> {};

TEST_P(Startup, GivesItsResultErrorAndTraceAndThenCountsAsStarted) {
    const StartRow row = StartRows()[GetParam()];
    SCOPED_TRACE(row.name);
    SessionWorld world;
    world.PairBothSides();
    row.arrange(world);
    world.Load();
    if (row.loaded) row.loaded(world);

    EXPECT_EQ(row.result, Initialize(world));
    EXPECT_EQ(row.lastError, world.LastError());
    EXPECT_EQ(row.connectError, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_EQ(row.lastError, world.LastError()) << "reading the last error or the connect error changes neither";
    EXPECT_EQ(Join({{kInit}, row.trace}), world.TakeTrace());
    // Failed or not, the start-up counts as one until the host ends it.
    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Lines({kInit, kAgain}), world.TakeTrace());
    if (row.result != 0) {
        EXPECT_EQ(kPairedIdText, world.Setting("PCID")) << "nothing of the pairing was touched";
        EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, Startup, testing::Range<size_t>(0, StartRows().size()));

TEST(Restart, ConnectErrorStaysSetAfterALaterSuccess) {
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
    EXPECT_EQ(Join({kStartLines, {kContract}}), world.TakeTrace());
    EXPECT_EQ(1u, world.api().DIZ_API_GetConnectErrorStatus());
    EXPECT_EQ(0u, world.LastError());
}

// Uninitialize alone keeps port and working database open for the next start-up (the pairing stands);
// CloseSyncApp closes the link, the working database stays open in the session's view.
TEST(Restart, AfterUninitializeWithAndWithoutCloseSyncApp) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close);
        SessionWorld world;
        world.PairBothSides();
        world.Load();
        ASSERT_EQ(0, Initialize(world));
        if (close) world.api().DIZ_API_CloseSyncApp();
        world.TakeTrace();
        EXPECT_EQ(0, world.api().DIZ_API_Uninitialize());
        const std::string release = std::string("+++++ ReleaseHeap(0) heapRef[") + (close ? "0" : "1") + "] hHeap[*]";
        EXPECT_EQ(Lines({"***** DIZ_API_Uninitialize", release}), world.TakeTrace());
        EXPECT_EQ(0, Initialize(world));
        const Lines rest = {kInitHeap, kDbList, kInitPcid, kContract};
        EXPECT_EQ(close ? Join({{kInit, kOpen}, rest}) : Join({{kInit}, rest}), world.TakeTrace());
        EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    }
}

// A start-up that failed at the database list, leaving kInjected as the last error.
void StartAndFail(SessionWorld& world) {
    world.PairBothSides();
    world.image().FailCall("S_DVXGetDBIDList", 1, kInjected, false);
    world.Load();
    ASSERT_EQ(-2, Initialize(world));
    world.TakeTrace();
}

TEST(PassExports, DirectionTracesAndKeepsTheLastErrorQueryFullSyncClearsIt) {
    SessionWorld world;
    StartAndFail(world);
    world.api().DIZ_API_BeginExport(0);
    world.api().DIZ_API_BeginExport(kStamp);
    world.api().DIZ_API_BeginImport();
    EXPECT_EQ(Lines({"***** DIZ_API_BeginExport(0)  [FULL SYNC]",
                     "***** DIZ_API_BeginExport(1700000000)  " + CtimeText(kStamp), "***** DIZ_API_BeginImport()"}),
              world.TakeTrace());
    EXPECT_EQ(kInjected, world.LastError());

    // Before any open database the answer is no.
    uint32_t fullSync = 0xFFFFFFFF;
    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(3, 0x5F5E1000, &fullSync));
    EXPECT_EQ(0u, fullSync);
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(0, world.api().DIZ_API_QueryFullSync(-1, 0, &fullSync));
    EXPECT_EQ(Lines({"***** DIZ_API_QueryFullSync(3, 5f5e1000, [OUT])  " + CtimeText(0x5F5E1000), "returning FALSE",
                     "***** DIZ_API_QueryFullSync(-1, 00000000, [OUT])  [FULL SYNC]", "returning FALSE"}),
              world.TakeTrace());
}

// With no database opened the open database id is 0, as for sections without a database; every other
// section is another.  A repeat is not checked again, a section new again is; the last error stays.
TEST(CancelCheck, AnotherSectionThanTheOpenDatabase) {
    SessionWorld world;
    StartAndFail(world);
    const std::pair<int32_t, int32_t> kChecks[] = {{0, 0}, {2, -6}, {2, 0}, {5, -6}, {2, -6}};
    for (const auto& [section, result] : kChecks) {
        EXPECT_EQ(result, world.api().DIZ_API_CancelCheck(section)) << section;
        EXPECT_EQ(result == 0 ? Lines() : Lines({"Database switched without a new call to OpenDatabase."}),
                  world.TakeTrace());
        EXPECT_EQ(kInjected, world.LastError());
    }
}

// Sections 6 and 7 name no database: they map to id 0, which the device does not know, or knows (then
// the second probe fails, to tell whether the device was asked again).
TEST(CancelCheck, ProbesTheDeviceOncePerNewSection) {
    for (const bool knowsZero : {false, true}) {
        SCOPED_TRACE(knowsZero);
        SessionWorld world;
        if (knowsZero) {
            tethra_sim::Database zero;
            zero.fields = tethra_sim::BuiltInFields(1);
            world.image().databases.push_back(zero);
            world.image().FailCall("S_DVXGetDBInfo", 2, kInjected, false);
        }
        StartPaired(world);
        const uint32_t error = knowsZero ? kInjected : tethra_sim::kErrUnknownDatabase;
        const Lines failed = {"Unknown database identifier: [7]", "Could not get info on database: [0]",
                              DeviceErrorLine(error)};
        if (knowsZero) {
            EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(6));
            EXPECT_EQ(Lines({"Unknown database identifier: [6]"}), world.TakeTrace());
            EXPECT_EQ(0u, world.LastError());
            EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(6)) << "the same section does not reach the device";
            EXPECT_TRUE(world.TakeTrace().empty());
        }
        EXPECT_EQ(-12, world.api().DIZ_API_CancelCheck(7));
        EXPECT_EQ(error, world.LastError());
        EXPECT_EQ(failed, world.TakeTrace());
        EXPECT_EQ(0, world.api().DIZ_API_CancelCheck(7)) << "also after a failed check";
        EXPECT_TRUE(world.TakeTrace().empty());
    }
}

const uint8_t kOtherPc[8] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
const char kOlderDeviceTime[] = "20231224180000";

const Lines kRenewLines = {"PCID is out of date.  Setting PCID_resync to true.",
                           "     ------ QAPI.QPC_RevokeSyncContract()"};
const char kTarget[] = "     ------ QAPI.QPC_SetSyncTargetMacID(PCID, appendInfo)";

std::string Settings(const std::string& pcid) {
    return "[Synchronization]\r\nPCID=" + pcid + "\r\nSyncTime=" + kLastSyncTime + "\r\n";
}

// A device paired with kPairedId; this PC's settings file holds settings (none when empty).
void Prepare(SessionWorld& world, const std::string& settings, Utility utility = Utility::kStandard) {
    world.image().SetPairing(kPairedId, kLastSyncTime);
    if (!settings.empty()) world.WriteSettings(settings);
    world.InstallUtility(utility);
}

// A stored identity that does not count is replaced before the device is asked (the contract check
// fails, so the file keeps what InitPCID stored); one that counts is kept as its text was.  With equal
// sync times the pairing stands, both sides get a new time, every database is out of sync until opened.
struct StoredId {
    const char* name;
    std::string settings;  // "" = no settings file
    bool usable;
};
void PrintTo(const StoredId& row, std::ostream* out) { *out << row.name; }

const StoredId kStoredIds[] = {
    {"no settings file", "", false},
    {"no PCID key", "[Synchronization]\r\nSyncTime=20240131235959\r\n", false},
    {"all zero", Settings("0000000000000000"), false},
    {"15 digits", Settings("123456789ABCDEF"), false},
    {"not hexadecimal", Settings("123456789ABCDEFG"), false},
    {"blank inside", Settings("12345678 9ABCDEF0"), false},
    {"empty", Settings(""), false},
    {"upper case", Settings(kPairedIdText), true},
    {"lower case", Settings("123456789abcdef0"), true},
    {"mixed case and more", Settings("123456789aBcDeF0 and more"), true},
};

class StoredPcid : public testing::TestWithParam<StoredId> {};

TEST_P(StoredPcid, IsTakenAsItIsOrReplacedBeforeTheDeviceIsAsked) {
    const StoredId& row = GetParam();
    SessionWorld world;
    Prepare(world, row.settings);
    if (!row.usable) world.image().FailCall("S_DVXGetSyncContractInfo", 1, kInjected, false);
    world.Load();

    EXPECT_EQ(row.usable ? 0 : -2, Initialize(world));
    const std::string stored = world.Setting("PCID");
    if (row.usable) {
        EXPECT_EQ(Join({kStartLines, {kContract}}), world.TakeTrace());
        EXPECT_EQ(row.settings, Settings(stored));
        EXPECT_EQ(0u, world.LastError());
        world.api().DIZ_API_CloseSyncApp();
        const tethra_sim::DeviceImage device = world.Device();
        EXPECT_EQ(kPairedIdText, IdText(device.pcId));
        EXPECT_EQ(14u, device.syncTime.size());
        EXPECT_NE(kLastSyncTime, device.syncTime);
        EXPECT_EQ(device.syncTime, world.Setting("SyncTime"));
        for (const tethra_sim::Database& db : device.databases) EXPECT_FALSE(db.syncEnabled) << db.id;
    } else {
        ASSERT_EQ(16u, stored.size());
        EXPECT_NE("0000000000000000", stored);
        EXPECT_EQ(Join({kStartLines, NewPcidLines(stored), {kContract, DeviceErrorLine(kInjected), kContractFailed}}),
                  world.TakeTrace());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredPcid, testing::ValuesIn(kStoredIds), RowName());

// A device whose sync time differs is renewed without a question; one paired with another PC only with
// the user's word, asked by the utility library in the data folder unless its question is blank.
struct Renewal {
    const char* name;
    bool otherPc;  // else the same PC with an older time on the device
    Utility utility;
    const char* answer;
    bool renewed;
};
void PrintTo(const Renewal& row, std::ostream* out) { *out << row.name; }

const Renewal kRenewals[] = {
    {"older device time, Cancel", false, Utility::kStandard, "cancel", true},
    {"another PC, standard texts, OK", true, Utility::kStandard, "ok", true},
    {"another PC, standard texts, Cancel", true, Utility::kStandard, "cancel", false},
    {"another PC, no utility library, OK", true, Utility::kNone, "ok", true},
    {"another PC, no utility library, Cancel", true, Utility::kNone, "cancel", false},
    {"another PC, a blank question, Cancel", true, Utility::kBlankQuestion, "cancel", true},
};

class Renew : public testing::TestWithParam<Renewal> {};

TEST_P(Renew, OnlyWithTheUsersWord) {
    const Renewal& row = GetParam();
    SCOPED_TRACE(row.name);
    SessionWorld world;
    Prepare(world, Settings(kPairedIdText), row.utility);
    if (row.otherPc) world.image().SetPairing(kOtherPc, kLastSyncTime);
    else world.image().syncTime = kOlderDeviceTime;
    testing_support::SetEnv("MORVANE_MESSAGEBOX", row.answer);
    world.Load();

    EXPECT_EQ(row.renewed ? 0 : -2, Initialize(world));
    EXPECT_EQ(row.renewed ? 0u : 0x10000001u, world.LastError());
    const std::string pcid = world.Setting("PCID");
    if (row.renewed) {
        // The device's new partner and sync time are this PC's new ones; the old contract was revoked.
        ASSERT_EQ(16u, pcid.size());
        EXPECT_NE(kPairedIdText, pcid);
        EXPECT_EQ(Join({kStartLines, {kContract}, kRenewLines, NewPcidLines(pcid), {kTarget}}), world.TakeTrace());
    } else {
        // The refusal has no line of its own; neither side changes.
        EXPECT_EQ(Join({kStartLines, {kContract, kContractFailed}}), world.TakeTrace());
        EXPECT_EQ(kPairedIdText, pcid);
        EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));
    }
    world.api().DIZ_API_CloseSyncApp();
    const tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(row.renewed ? pcid : IdText(kOtherPc), IdText(device.pcId));
    EXPECT_EQ(row.renewed, device.syncTime != kLastSyncTime);
    if (row.renewed) {
        EXPECT_EQ(device.syncTime, world.Setting("SyncTime"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Renew, testing::ValuesIn(kRenewals), RowName());

// A failing operation of the contract check fails the start-up with the device's error; what the
// renewal did before stays done.
struct ContractFault {
    const char* name;
    const char* operation;
    bool timesDiffer;
    Lines traceAfterContract;  // "@new": the new identity's lines
    const char* deviceId;      // the device's partner afterwards; "@new": the new identity
};
void PrintTo(const ContractFault& row, std::ostream* out) { *out << row.name; }

const ContractFault kContractFaults[] = {
    {"reading the device's time", "S_DVXGetSyncTime", false, {DeviceErrorLine(kInjected)}, kPairedIdText},
    {"stamping the time", "S_DVXSetSyncTime", false, {DeviceErrorLine(kInjected)}, kPairedIdText},
    {"pairing anew", "S_DVXSetSyncTargetMacID", true,
     Join({kRenewLines, {"@new", kTarget, "QV_DVXSetSyncTargetMacID failed", DeviceErrorLine(kInjected)}}),
     "0000000000000000"},
    {"stamping after pairing anew", "S_DVXSetSyncTime", true,
     Join({kRenewLines, {"@new", kTarget, DeviceErrorLine(kInjected)}}), "@new"},
};

class ContractFailure : public testing::TestWithParam<ContractFault> {};

TEST_P(ContractFailure, FailsTheStartupAndKeepsWhatWasDone) {
    const ContractFault& row = GetParam();
    SCOPED_TRACE(row.name);
    SessionWorld world;
    Prepare(world, Settings(kPairedIdText));
    if (row.timesDiffer) world.image().syncTime = kOlderDeviceTime;
    world.image().FailCall(row.operation, 1, kInjected, false);
    world.Load();

    EXPECT_EQ(-2, Initialize(world));
    EXPECT_EQ(kInjected, world.LastError());
    const std::string stored = world.Setting("PCID");
    Lines expected = Join({kStartLines, {kContract}});
    for (const std::string& line : row.traceAfterContract)
        expected = Join({expected, line == "@new" ? NewPcidLines(stored) : Lines{line}});
    EXPECT_EQ(Join({expected, {kContractFailed}}), world.TakeTrace());
    EXPECT_EQ(row.deviceId != std::string(kPairedIdText), stored != kPairedIdText) << "a new identity stays stored";
    EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));

    world.api().DIZ_API_CloseSyncApp();
    EXPECT_EQ(row.deviceId == std::string("@new") ? stored : row.deviceId, IdText(world.Device().pcId));
}

INSTANTIATE_TEST_SUITE_P(Rows, ContractFailure, testing::ValuesIn(kContractFaults), RowName());

}  // namespace
