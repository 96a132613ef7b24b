// Settling the pairing at start-up: this PC's identity in the settings
// file, the device's partner and sync time, the user's word before taking
// over a device paired elsewhere, and what both sides hold afterwards.
#include "exports/session_world.h"

#include <gtest/gtest.h>

using namespace session_tests;
using Lines = std::vector<std::string>;

namespace {

const uint8_t kOtherPc[8] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
const char kOlderDeviceTime[] = "20231224180000";
const uint32_t kInjected = 0x10000077;

const Lines kStartLines = {"***** DIZ_API_Initialize('', '')",
                           "     ------ QAPI.QPC_Open()",
                           "     ------ QAPI.QPC_OpenDataBase()",
                           "+++++ InitHeap() heapRef[0] hHeap[*]",
                           "     ------ QAPI.QPC_GetDBIDList(&TTDBIDList, &DBIDCount, hHeap)",
                           "+++++ InitPCID()"};
const Lines kContractLine = {"     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)"};
const Lines kRenewLines = {"PCID is out of date.  Setting PCID_resync to true.",
                           "     ------ QAPI.QPC_RevokeSyncContract()"};
const Lines kTargetLine = {"     ------ QAPI.QPC_SetSyncTargetMacID(PCID, appendInfo)"};
const char kContractFailed[] = "Error checking device PCID or setting new device PCID.";

std::string DeviceErrorLine(uint32_t code) {
    char line[64];
    std::snprintf(line, sizeof line, "***** ***** Last Quenda Error: %08x", code);
    return line;
}

// Start-up of a device that was paired with kPairedId; this PC's settings
// file holds settingsText (none when empty).
void StartWorld(SessionWorld& world, const std::string& settingsText, Utility utility = Utility::kStandard) {
    world.image().SetPairing(kPairedId, kLastSyncTime);
    if (!settingsText.empty()) world.WriteSettings(settingsText);
    world.InstallUtility(utility);
}

int32_t Initialize(SessionWorld& world) { return world.api().DIZ_API_Initialize("", ""); }

std::string Settings(const std::string& pcid, const std::string& syncTime = kLastSyncTime) {
    return "[Synchronization]\r\nPCID=" + pcid + "\r\nSyncTime=" + syncTime + "\r\n";
}

// Stored identities that do not count: a new one is made and stored before
// the device is asked.  The contract check is made to fail so that the
// identity InitPCID stored is the one left in the file.
struct UnusableId {
    const char* name;
    std::string settings;  // "" = no settings file
};

const UnusableId kUnusableIds[] = {
    /* 0 */ {"no settings file", ""},
    /* 1 */ {"no PCID key", "[Synchronization]\r\nSyncTime=20240131235959\r\n"},
    /* 2 */ {"all zero", Settings("0000000000000000")},
    /* 3 */ {"15 digits", Settings("123456789ABCDEF")},
    /* 4 */ {"not hexadecimal", Settings("123456789ABCDEFG")},
    /* 5 */ {"blank inside", Settings("12345678 9ABCDEF0")},
    /* 6 */ {"empty", Settings("")},
};

class UnusableStoredId : public testing::TestWithParam<size_t> {};

TEST_P(UnusableStoredId, IsReplacedByANewIdentityBeforeTheDeviceIsAsked) {
    const UnusableId& row = kUnusableIds[GetParam()];
    SCOPED_TRACE(row.name);
    SessionWorld world;
    StartWorld(world, row.settings);
    world.image().FailCall("S_DVXGetSyncContractInfo", 1, kInjected, false);
    world.Load();

    EXPECT_EQ(-2, Initialize(world));
    const std::string stored = world.Setting("PCID");
    ASSERT_EQ(16u, stored.size());
    EXPECT_NE("0000000000000000", stored);
    EXPECT_EQ(Join(Join(kStartLines, NewPcidLines(stored)),
                   Join(kContractLine, {DeviceErrorLine(kInjected), kContractFailed})),
              world.TakeTrace());
}

INSTANTIATE_TEST_SUITE_P(Rows, UnusableStoredId, testing::Range<size_t>(0, std::size(kUnusableIds)));

// Stored identities that count, as this PC's identity towards a device
// paired with kPairedId: the pairing stands and the text is kept as it was.
const char* const kUsableIds[] = {
    /* 0 */ "123456789ABCDEF0",
    /* 1 */ "123456789abcdef0",
    /* 2 */ "123456789aBcDeF0 and more",
};

class UsableStoredId : public testing::TestWithParam<size_t> {};

TEST_P(UsableStoredId, IsTakenAsItIs) {
    const std::string stored = kUsableIds[GetParam()];
    SessionWorld world;
    StartWorld(world, Settings(stored));
    world.Load();

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(Join(kStartLines, kContractLine), world.TakeTrace());
    EXPECT_EQ(stored, world.Setting("PCID"));
}

INSTANTIATE_TEST_SUITE_P(Rows, UsableStoredId, testing::Range<size_t>(0, std::size(kUsableIds)));

TEST(Pairing, EqualTimesKeepThePairingAndStampBothSides) {
    SessionWorld world;
    StartWorld(world, Settings(kPairedIdText));
    world.Load();

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Join(kStartLines, kContractLine), world.TakeTrace());
    world.api().DIZ_API_CloseSyncApp();

    const tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(kPairedIdText, IdText(device.pcId));
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    EXPECT_NE(kLastSyncTime, device.syncTime);
    EXPECT_EQ(device.syncTime, world.Setting("SyncTime"));
    for (const tethra_sim::Database& db : device.databases) EXPECT_FALSE(db.syncEnabled) << db.id;
}

// The device's new partner and sync time are this PC's new ones; the old
// contract was revoked.
void ExpectRenewed(SessionWorld& world, const Lines& traceBeforeContract) {
    const std::string renewed = world.Setting("PCID");
    ASSERT_EQ(16u, renewed.size());
    EXPECT_NE(kPairedIdText, renewed);
    EXPECT_EQ(Join(Join(traceBeforeContract, Join(kContractLine, kRenewLines)), Join(NewPcidLines(renewed), kTargetLine)),
              world.TakeTrace());
    world.api().DIZ_API_CloseSyncApp();
    const tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(renewed, IdText(device.pcId));
    EXPECT_EQ(14u, device.syncTime.size());
    EXPECT_EQ(device.syncTime, world.Setting("SyncTime"));
    EXPECT_NE(kLastSyncTime, device.syncTime);
}

TEST(Pairing, DifferentTimesRenewWithoutAsking) {
    SessionWorld world;
    StartWorld(world, Settings(kPairedIdText));
    world.image().syncTime = kOlderDeviceTime;
    world.Load();  // the sandbox answers Cancel to any question

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    ExpectRenewed(world, kStartLines);
}

TEST(Pairing, AnotherPcAndCancelLeavesBothSidesAlone) {
    SessionWorld world;
    StartWorld(world, Settings(kPairedIdText));
    world.image().SetPairing(kOtherPc, kLastSyncTime);
    world.Load();

    EXPECT_EQ(-2, Initialize(world));
    EXPECT_EQ(0x10000001u, world.LastError());
    // The refusal has no line of its own.
    EXPECT_EQ(Join(Join(kStartLines, kContractLine), {kContractFailed}), world.TakeTrace());
    world.api().DIZ_API_CloseSyncApp();

    const tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(IdText(kOtherPc), IdText(device.pcId));
    EXPECT_EQ(kLastSyncTime, device.syncTime);
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));
}

// Whether the user is asked, by the utility library in the data folder:
// with the answer Cancel only a start-up that asked fails.
struct Question {
    const char* name;
    Utility utility;
    const char* answer;
    bool asked;
};

const Question kQuestions[] = {
    /* 0 */ {"standard texts, OK", Utility::kStandard, "ok", true},
    /* 1 */ {"standard texts, Cancel", Utility::kStandard, "cancel", true},
    /* 2 */ {"no utility library, OK", Utility::kNone, "ok", true},
    /* 3 */ {"no utility library, Cancel", Utility::kNone, "cancel", true},
    /* 4 */ {"a blank question, Cancel", Utility::kBlankQuestion, "cancel", false},
};

class AnotherPc : public testing::TestWithParam<size_t> {};

TEST_P(AnotherPc, RenewsOnlyWithTheUsersWord) {
    const Question& row = kQuestions[GetParam()];
    SCOPED_TRACE(row.name);
    SessionWorld world;
    StartWorld(world, Settings(kPairedIdText), row.utility);
    world.image().SetPairing(kOtherPc, kLastSyncTime);
    testing_support::SetEnv("MORVANE_MESSAGEBOX", row.answer);
    world.Load();

    const bool refused = row.asked && std::string(row.answer) == "cancel";
    EXPECT_EQ(refused ? -2 : 0, Initialize(world));
    EXPECT_EQ(refused ? 0x10000001u : 0u, world.LastError());
    if (refused) {
        EXPECT_EQ(Join(Join(kStartLines, kContractLine), {kContractFailed}), world.TakeTrace());
        EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    } else {
        ExpectRenewed(world, kStartLines);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, AnotherPc, testing::Range<size_t>(0, std::size(kQuestions)));

// Device operations of the contract check that fail: the start-up fails
// with the device's error; what the renewal did before stays done.
enum class DeviceIdAfter { kPaired, kRevoked, kRenewed };

struct ContractFault {
    const char* name;
    const char* operation;
    bool timesDiffer;
    Lines traceAfterContract;
    DeviceIdAfter deviceId;
};

const ContractFault kContractFaults[] = {
    /* 0 */ {"reading the device's time", "S_DVXGetSyncTime", false, {DeviceErrorLine(kInjected)},
             DeviceIdAfter::kPaired},
    /* 1 */ {"stamping the time", "S_DVXSetSyncTime", false, {DeviceErrorLine(kInjected)}, DeviceIdAfter::kPaired},
    /* 2 */ {"pairing anew", "S_DVXSetSyncTargetMacID", true,
             Join(kRenewLines, {"@new", kTargetLine[0], "QV_DVXSetSyncTargetMacID failed", DeviceErrorLine(kInjected)}),
             DeviceIdAfter::kRevoked},
    /* 3 */ {"stamping after pairing anew", "S_DVXSetSyncTime", true,
             Join(kRenewLines, {"@new", kTargetLine[0], DeviceErrorLine(kInjected)}), DeviceIdAfter::kRenewed},
};

class ContractFailure : public testing::TestWithParam<size_t> {};

TEST_P(ContractFailure, FailsTheStartupAndKeepsWhatWasDone) {
    const ContractFault& row = kContractFaults[GetParam()];
    SCOPED_TRACE(row.name);
    SessionWorld world;
    StartWorld(world, Settings(kPairedIdText));
    if (row.timesDiffer) world.image().syncTime = kOlderDeviceTime;
    world.image().FailCall(row.operation, 1, kInjected, false);
    world.Load();

    EXPECT_EQ(-2, Initialize(world));
    EXPECT_EQ(kInjected, world.LastError());
    const std::string stored = world.Setting("PCID");
    Lines expected = Join(kStartLines, kContractLine);
    for (const std::string& line : row.traceAfterContract)
        expected = line == "@new" ? Join(expected, NewPcidLines(stored)) : Join(expected, {line});
    EXPECT_EQ(Join(expected, {kContractFailed}), world.TakeTrace());
    EXPECT_EQ(row.deviceId != DeviceIdAfter::kPaired, stored != kPairedIdText) << "a new identity stays stored";
    EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));

    world.api().DIZ_API_CloseSyncApp();
    const tethra_sim::DeviceImage device = world.Device();
    const std::string expectedId = row.deviceId == DeviceIdAfter::kPaired    ? std::string(kPairedIdText)
                                   : row.deviceId == DeviceIdAfter::kRevoked ? std::string("0000000000000000")
                                                                             : stored;
    EXPECT_EQ(expectedId, IdText(device.pcId));
}

INSTANTIATE_TEST_SUITE_P(Rows, ContractFailure, testing::Range<size_t>(0, std::size(kContractFaults)));

}  // namespace
