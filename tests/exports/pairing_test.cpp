// Settling the pairing at start-up: this PC's identity in the settings
// file, the device's partner and sync time, the user's word before taking
// over a device paired elsewhere, and what both sides hold afterwards.
#include "exports/export_world.h"

#include <gtest/gtest.h>

using namespace export_tests;

namespace {

const uint8_t kOtherPc[8] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
const char kOlderDeviceTime[] = "20231224180000";

const Lines kStartLines = {"***** DIZ_API_Initialize('', '')",
                           "     ------ QAPI.QPC_Open()",
                           "     ------ QAPI.QPC_OpenDataBase()",
                           "+++++ InitHeap() heapRef[0] hHeap[*]",
                           "     ------ QAPI.QPC_GetDBIDList(&TTDBIDList, &DBIDCount, hHeap)",
                           "+++++ InitPCID()"};
const char kContract[] = "     ------ QAPI.QPC_GetSyncContractInfo(...all DBID...)";
const Lines kRenewLines = {"PCID is out of date.  Setting PCID_resync to true.",
                           "     ------ QAPI.QPC_RevokeSyncContract()"};
const char kTarget[] = "     ------ QAPI.QPC_SetSyncTargetMacID(PCID, appendInfo)";
const char kContractFailed[] = "Error checking device PCID or setting new device PCID.";

std::string Settings(const std::string& pcid) {
    return "[Synchronization]\r\nPCID=" + pcid + "\r\nSyncTime=" + kLastSyncTime + "\r\n";
}

// A device paired with kPairedId; this PC's settings file holds settings
// (none when empty).
void Prepare(SessionWorld& world, const std::string& settings, Utility utility = Utility::kStandard) {
    world.image().SetPairing(kPairedId, kLastSyncTime);
    if (!settings.empty()) world.WriteSettings(settings);
    world.InstallUtility(utility);
}

int32_t Initialize(SessionWorld& world) { return world.api().DIZ_API_Initialize("", ""); }

// Stored identities: one that does not count is replaced by a new one,
// stored before the device is asked (the contract check is made to fail so
// that the identity InitPCID stored is the one left in the file); one that
// counts is taken as this PC's, towards a device paired with kPairedId,
// and kept as its text was.
struct StoredId {
    const char* name;
    std::string settings;  // "" = no settings file
    bool usable;
};

const StoredId kStoredIds[] = {
    /* 0 */ {"no settings file", "", false},
    {"no PCID key", "[Synchronization]\r\nSyncTime=20240131235959\r\n", false},
    {"all zero", Settings("0000000000000000"), false},
    {"15 digits", Settings("123456789ABCDEF"), false},
    {"not hexadecimal", Settings("123456789ABCDEFG"), false},
    /* 5 */ {"blank inside", Settings("12345678 9ABCDEF0"), false},
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
    } else {
        ASSERT_EQ(16u, stored.size());
        EXPECT_NE("0000000000000000", stored);
        EXPECT_EQ(Join({kStartLines, NewPcidLines(stored), {kContract, DeviceErrorLine(kInjected), kContractFailed}}),
                  world.TakeTrace());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredPcid, testing::ValuesIn(kStoredIds));

TEST(Pairing, EqualTimesKeepThePairingAndStampBothSides) {
    SessionWorld world;
    Prepare(world, Settings(kPairedIdText));
    world.Load();

    EXPECT_EQ(0, Initialize(world));
    EXPECT_EQ(0u, world.LastError());
    EXPECT_EQ(Join({kStartLines, {kContract}}), world.TakeTrace());
    world.api().DIZ_API_CloseSyncApp();
    const tethra_sim::DeviceImage device = world.Device();
    EXPECT_EQ(kPairedIdText, IdText(device.pcId));
    EXPECT_EQ(kPairedIdText, world.Setting("PCID"));
    EXPECT_EQ(14u, device.syncTime.size());
    EXPECT_NE(kLastSyncTime, device.syncTime);
    EXPECT_EQ(device.syncTime, world.Setting("SyncTime"));
    for (const tethra_sim::Database& db : device.databases) EXPECT_FALSE(db.syncEnabled) << db.id;
}

// A device whose sync time differs from this PC's is renewed without a
// question; one paired with another PC only with the user's word, asked by
// the utility library in the data folder unless its question is blank.
struct Renewal {
    const char* name;
    bool otherPc;  // else the same PC with an older time on the device
    Utility utility;
    const char* answer;
    bool renewed;
};

const Renewal kRenewals[] = {
    /* 0 */ {"older device time, Cancel", false, Utility::kStandard, "cancel", true},
    {"another PC, standard texts, OK", true, Utility::kStandard, "ok", true},
    {"another PC, standard texts, Cancel", true, Utility::kStandard, "cancel", false},
    {"another PC, no utility library, OK", true, Utility::kNone, "ok", true},
    {"another PC, no utility library, Cancel", true, Utility::kNone, "cancel", false},
    /* 5 */ {"another PC, a blank question, Cancel", true, Utility::kBlankQuestion, "cancel", true},
};

class Renew : public testing::TestWithParam<Renewal> {};

TEST_P(Renew, OnlyWithTheUsersWord) {
    const Renewal& row = GetParam();
    SCOPED_TRACE(row.name);
    SessionWorld world;
    Prepare(world, Settings(kPairedIdText), row.utility);
    if (row.otherPc) world.image().SetPairing(kOtherPc, kLastSyncTime);
    if (!row.otherPc) world.image().syncTime = kOlderDeviceTime;
    testing_support::SetEnv("MORVANE_MESSAGEBOX", row.answer);
    world.Load();

    EXPECT_EQ(row.renewed ? 0 : -2, Initialize(world));
    EXPECT_EQ(row.renewed ? 0u : 0x10000001u, world.LastError());
    const std::string pcid = world.Setting("PCID");
    if (row.renewed) {
        // The device's new partner and sync time are this PC's new ones; the
        // old contract was revoked.
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

INSTANTIATE_TEST_SUITE_P(Rows, Renew, testing::ValuesIn(kRenewals));

// Device operations of the contract check that fail: the start-up fails
// with the device's error; what the renewal did before stays done.
enum class DeviceIdAfter { kPaired, kRevoked, kRenewed };

struct ContractFault {
    const char* name;
    const char* operation;
    bool timesDiffer;
    Lines traceAfterContract;  // "@new": the new identity's lines
    DeviceIdAfter deviceId;
};

const ContractFault kContractFaults[] = {
    /* 0 */ {"reading the device's time", "S_DVXGetSyncTime", false, {DeviceErrorLine(kInjected)},
             DeviceIdAfter::kPaired},
    {"stamping the time", "S_DVXSetSyncTime", false, {DeviceErrorLine(kInjected)}, DeviceIdAfter::kPaired},
    {"pairing anew", "S_DVXSetSyncTargetMacID", true,
     Join({kRenewLines, {"@new", kTarget, "QV_DVXSetSyncTargetMacID failed", DeviceErrorLine(kInjected)}}),
     DeviceIdAfter::kRevoked},
    {"stamping after pairing anew", "S_DVXSetSyncTime", true,
     Join({kRenewLines, {"@new", kTarget, DeviceErrorLine(kInjected)}}), DeviceIdAfter::kRenewed},
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
    EXPECT_EQ(row.deviceId != DeviceIdAfter::kPaired, stored != kPairedIdText) << "a new identity stays stored";
    EXPECT_EQ(kLastSyncTime, world.Setting("SyncTime"));

    world.api().DIZ_API_CloseSyncApp();
    const std::string expectedId = row.deviceId == DeviceIdAfter::kPaired    ? std::string(kPairedIdText)
                                   : row.deviceId == DeviceIdAfter::kRevoked ? std::string("0000000000000000")
                                                                             : stored;
    EXPECT_EQ(expectedId, IdText(world.Device().pcId));
}

INSTANTIATE_TEST_SUITE_P(Rows, ContractFailure, testing::ValuesIn(kContractFaults));

}  // namespace
