// Every device operation of a whole synchronisation made to fail at each of its calls in turn, each run
// in a forked process (a freshly loaded adapter).  The export during which the device failed must give
// its failure code and last error, nothing may crash or leak, and a clean session on the same device and
// settings afterwards must export every record again.
#include "exports/export_world.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace export_tests;
using testing_support::AdapterExports;

namespace {

// The call number of a fault that only counts.
constexpr uint32_t kNever = 0xFFFFFFFFu;

const char* const kOperations[] = {
    "S_DVXOpenPort", "S_DVXWaitConnection", "S_DVXGetConfig", "S_DVXSetConfig", "S_DVXGetSystemInfo",
    "S_DVXOpenDataBase", "S_DVXGetDBIDList", "S_DVXGetSyncContractInfo", "S_DVXRevokeSyncContract",
    "S_DVXSetSyncTargetMacID", "S_DVXGetSyncTime", "S_DVXSetSyncTime", "S_DVXGetDBInfo", "S_DVXSetDBSyncMode",
    "S_DVXGetAllSyncRecordList", "S_DVXGetFirstSyncRecordData", "S_DVXGetRecordData", "S_DVXPutRecordData",
    "S_DVXDeleteRecordData", "S_DVXIsEnablePutFirstSyncRecordData", "S_DVXPutFirstSyncRecordData",
    "S_DVXCleanUpAllSyncState", "S_DVXCloseDataBase", "S_DVXCloseConnection", "S_DVXClosePort",
};

// What the export during which the device failed gives: its result, and whether the last error is the
// device's.
struct Expected {
    int32_t result;
    bool deviceError;
};

// By export, then by operation ("*": any).  A failure the export rides over gives 0: system information
// has no result, the contract is revoked whatever the device says, a device that does not say whether it
// takes a bulk write gets its records one by one, a failed clean-up does not stop a close, and closing
// the link always succeeds.
const std::map<std::string, std::map<std::string, Expected>> kExpected = {
    {"Initialize", {{"*", {-2, true}}, {"S_DVXGetSystemInfo", {0, false}}, {"S_DVXRevokeSyncContract", {0, false}}}},
    {"OpenDatabase",
     {{"S_DVXOpenDataBase", {-2, true}}, {"S_DVXGetDBInfo", {-4, true}}, {"S_DVXGetSyncContractInfo", {-4, true}},
      {"S_DVXSetDBSyncMode", {-4, true}}, {"S_DVXGetAllSyncRecordList", {-6, true}},
      {"S_DVXGetFirstSyncRecordData", {-6, true}}}},
    {"GetFirstRecord", {{"S_DVXGetRecordData", {-4, true}}}},
    {"GetNextRecord", {{"S_DVXGetRecordData", {-4, true}}}},
    {"AddRecord", {{"S_DVXPutRecordData", {-9, true}}, {"S_DVXIsEnablePutFirstSyncRecordData", {0, false}}}},
    {"FlushRecord", {{"S_DVXPutRecordData", {-12, true}}}},
    {"DeleteRecord", {{"S_DVXDeleteRecordData", {-10, true}}}},
    {"CloseDatabase",
     {{"S_DVXPutFirstSyncRecordData", {-9, true}}, {"S_DVXCleanUpAllSyncState", {0, true}},
      {"S_DVXCloseDataBase", {-3, true}}}},
    {"CloseSyncApp", {{"*", {0, false}}}},
};

// One export call of the session and what it gave.
struct Step {
    std::string name;
    int32_t result = 0;
    uint32_t lastError = 0;
};

// The session a host runs: pairing (a first synchronisation when the device is new to this PC), an
// export and an import of Memo and E-mail, the close.
class Session {
public:
    explicit Session(SessionWorld& world) : api_(world.api()) {}
    using Probe = std::function<void(const Step&)>;

    void Run(const Probe& probe, bool withImport) {
        probe_ = probe;
        Call("Initialize", [&] { return api_.DIZ_API_Initialize("", ""); });
        for (int32_t section : {kMemoSection, kMailSection}) Export(section);
        if (withImport) {
            Import(kMemoSection);
            Import(kMailSection);
        }
        Call("CloseSyncApp", [&] { return api_.DIZ_API_CloseSyncApp(); });
        Call("Uninitialize", [&] { return api_.DIZ_API_Uninitialize(); });
    }

private:
    int32_t Call(const std::string& name, const std::function<int32_t()>& call) {
        Step step{name};
        step.result = call();
        api_.DIZ_API_GetLastErrorCode(&step.lastError);
        probe_(step);
        return step.result;
    }

    void Export(int32_t section) {
        uint32_t value = 0;
        Call("BeginExport", [&] { return api_.DIZ_API_BeginExport(kStamp), 0; });
        Call("QueryFullSync", [&] { return api_.DIZ_API_QueryFullSync(section, kStamp, &value); });
        Call("OpenDatabase", [&] { return api_.DIZ_API_OpenDatabase(section, "", ""); });
        Call("GetRecordCount", [&] { return api_.DIZ_API_GetRecordCount(section, 0, &value); });
        const auto first = [&] { return api_.DIZ_API_GetFirstRecord(section, 0, &value); };
        const auto next = [&] { return api_.DIZ_API_GetNextRecord(section, 0, &value); };
        // A record that could not be fetched is passed over, as a host does.
        for (int32_t r = Call("GetFirstRecord", first); r == 0 || r == -4; r = Call("GetNextRecord", next)) {
            char text[49153];
            Call("GetField", [&] { return api_.DIZ_API_GetField("1", text); });
            Call("ReleaseReadRecord", [&] { return api_.DIZ_API_ReleaseReadRecord(); });
        }
        Call("CloseDatabase", [&] { return api_.DIZ_API_CloseDatabase(section, 1, 0); });
    }

    void Import(int32_t section) {
        char id[12] = "";
        Call("BeginImport", [&] { return api_.DIZ_API_BeginImport(), 0; });
        Call("OpenDatabase", [&] { return api_.DIZ_API_OpenDatabase(section, "", ""); });
        if (section == kMailSection) Call("SetFolderID", [&] { return api_.DIZ_API_SetFolderID(1); });
        Call("InsertRecord", [&] { return api_.DIZ_API_InsertRecord(); });
        Call("PutField", [&] { return api_.DIZ_API_PutField("1", "swept"); });
        Call("AddRecord", [&] { return api_.DIZ_API_AddRecord(id); });
        Call("FindRecord", [&] { return api_.DIZ_API_FindRecord("1"); });
        Call("PutField", [&] { return api_.DIZ_API_PutField("1", "changed"); });
        Call("FlushRecord", [&] { return api_.DIZ_API_FlushRecord(); });
        Call("DeleteRecord", [&] { return api_.DIZ_API_DeleteRecord("2"); });
        Call("CloseDatabase", [&] { return api_.DIZ_API_CloseDatabase(section, 1, 0); });
    }

    const AdapterExports& api_;
    Probe probe_;
};

// The demo handheld, paired with this PC or new to it.
void SetUpDevice(SessionWorld& world, bool paired) {
    world.image() = tethra_sim::DemoImage();
    // No trace file: hundreds of sessions run here.
    world.sandbox().WriteStandardRegistry(kDataFolder, -1);
    world.InstallUtility(Utility::kStandard);
    if (paired) {
        // Databases in sync with this PC: changes only, records put one by one.
        world.PairBothSides();
        for (uint32_t dbId : {kMemoDb, kCompanionDb, kMailDb}) Settle(world.image(), dbId);
        world.image().ChangeRecord(kMemoDb, world.image().Find(kMemoDb)->records.front().id, Memo("changed"));
    }
    testing_support::SetEnv("MORVANE_MESSAGEBOX", "ok");
}

// Runs body in a child process; returns what it wrote, and how it ended unless by a normal exit 0.
std::string InChild(const std::function<std::string()>& body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const std::string report = body();
        if (write(pipeEnds[1], report.data(), report.size()) < 0) _exit(3);
        close(pipeEnds[1]);
        exit(0);  // a normal exit, so that a leak check runs
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += " [child ended: " + std::to_string(status) + "]";
    return report;
}

// The calls of every operation in a session without faults.
std::map<std::string, uint32_t> CountAllCalls(bool paired) {
    std::istringstream report(InChild([paired] {
        SessionWorld world;
        SetUpDevice(world, paired);
        for (const char* op : kOperations) world.image().FailCall(op, kNever, kInjected, false);
        world.Load();
        Session(world).Run([](const Step&) {}, true);
        std::string counts;
        for (const char* op : kOperations) counts += std::to_string(CallsSeen(op)) + " ";
        return counts;
    }));
    std::map<std::string, uint32_t> counts;
    for (const char* op : kOperations) report >> counts[op];
    return counts;
}

// What is wrong with step, the export during which operation failed.
std::string Judge(const std::string& operation, const Step& step) {
    const Expected* want = nullptr;
    const auto byExport = kExpected.find(step.name);
    if (byExport != kExpected.end()) {
        auto row = byExport->second.find(operation);
        if (row == byExport->second.end()) row = byExport->second.find("*");
        if (row != byExport->second.end()) want = &row->second;
    }
    char seen[128];
    snprintf(seen, sizeof seen, "%s gave %d, last error %08x", step.name.c_str(), step.result, step.lastError);
    if (want == nullptr) return std::string("not in the table: ") + seen + "; ";
    const bool errorRight = step.lastError == (want->deviceError ? kInjected : 0u);
    if (step.result == want->result && errorRight) return "";
    return std::string("expected ") + std::to_string(want->result) + ", " + seen + "; ";
}

// One session with the call-th call of operation failing, then a clean session on what it left behind;
// "" when all held.
std::string FaultRun(const std::string& operation, uint32_t call, bool paired) {
    SessionWorld world;
    SetUpDevice(world, paired);
    // The fault goes once it fires; a second that never fires counts the calls, to know when it fired.
    world.image().FailCall(operation, call, kInjected, false);
    world.image().FailCall(operation, kNever, kInjected, false);
    world.Load();
    std::string problems;
    bool fired = false;
    Session(world).Run(
        [&](const Step& step) {
            if (fired || CallsSeen(operation) < call) return;
            fired = true;
            problems += Judge(operation, step);
        },
        true);
    if (!fired) problems += "the fault never fired; ";

    tethra_sim::DeviceImage device = world.Device();
    device.faults.clear();
    std::string error;
    if (!device.Save(world.devicePath(), &error)) return problems + error;
    Session(world).Run(
        [&](const Step& step) {
            const bool ended = step.result == -7 && step.name.find("Record") != std::string::npos;
            if (step.result != 0 && !ended) {
                problems += "afterwards " + step.name + " gave " + std::to_string(step.result) + "; ";
            }
        },
        false);
    return problems;
}

void Sweep(bool paired, const std::vector<std::string>& mustSweep) {
    const std::map<std::string, uint32_t> counts = CountAllCalls(paired);
    for (const std::string& operation : mustSweep) {
        EXPECT_GT(counts.count(operation) ? counts.at(operation) : 0u, 0u) << operation;
    }
    size_t runs = 0;
    for (const auto& [operation, calls] : counts) {
        const std::string& failing = operation;  // before C++20 a lambda cannot capture a structured binding
        for (uint32_t call = 1; call <= calls; ++call, ++runs) {
            EXPECT_EQ("", InChild([&] { return FaultRun(failing, call, paired); }))
                << operation << " call " << call << (paired ? " (paired)" : " (first synchronisation)");
        }
    }
    EXPECT_GT(runs, 20u);
    ::testing::Test::RecordProperty("runs", static_cast<int>(runs));
}

TEST(FaultSweep, EveryDeviceCallOfAPairedSession) {
    Sweep(true, {"S_DVXGetAllSyncRecordList", "S_DVXGetRecordData", "S_DVXPutRecordData", "S_DVXDeleteRecordData"});
}

TEST(FaultSweep, EveryDeviceCallOfAFirstSynchronisation) {
    Sweep(false, {"S_DVXSetSyncTargetMacID", "S_DVXGetFirstSyncRecordData", "S_DVXPutFirstSyncRecordData"});
}

}  // namespace
