// morvane-sync --bridge with a bridge that dies in the middle of an export
// or stops answering (the test aid MORVANE_BRIDGE_FAULT): the run fails
// within the timeout, says what happened with the bridge's last lines of
// standard error, and leaves no export file, whole or half.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "host/host_process.h"

namespace host_test {
namespace {

struct Fault {
    const char* fault;
    const char* timeout;
    std::vector<std::string> report;  // what the run says, in parts
};

TEST(BridgeFault, ADeadOrHungBridgeIsReportedWithinTheTimeoutAndNothingIsWrittenHalf) {
    static const Fault kFaults[] = {
        {"export:die", "30",
         {"morvane-sync: the bridge \"", "\" ended (exit status 3) while serving \"export of Schedule\"",
          "its last lines of standard error:\n    morvane-bridge: MORVANE_BRIDGE_FAULT=export:die: ending while serving \"export\""}},
        {"export:hang", "2",
         {"\" did not answer within 2 s while serving \"export of Schedule\"; stopped (killed by signal 9",
          "MORVANE_BRIDGE_FAULT=export:hang: no longer answering while serving \"export\""}},
        {"start:die", "30", {"ended (exit status 3) while serving \"start\""}},
    };
    HostWorld world;
    const std::string device = world.SaveImage(tethra_sim::DemoImage(), "device.json");
    const std::string bridge = std::string(MORVANE_BIN_DIR) + "/morvane-bridge";
    for (const Fault& fault : kFaults) {
        testing_support::SetEnv("MORVANE_BRIDGE_FAULT", fault.fault);
        const std::string out = world.Path(std::string("out-") + fault.fault);
        const auto start = std::chrono::steady_clock::now();
        const HostRun run = RunHost({"export", "--device", device, "--out", out, "--bridge", bridge,
                                     "--bridge-timeout", fault.timeout});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(Ran(run, 1, fault.report)) << fault.fault;
        EXPECT_LT(seconds, 20.0) << fault.fault;
        std::error_code ignored;
        EXPECT_TRUE(std::filesystem::is_empty(out, ignored)) << fault.fault << ": the export folder holds files";
    }
    testing_support::UnsetEnv("MORVANE_BRIDGE_FAULT");
    // The same run with a bridge that works writes every file.
    EXPECT_TRUE(Ran(RunHost({"export", "--device", device, "--out", world.Path("out"), "--bridge", bridge}), 0));
    EXPECT_EQ(Records(world.Path("out"), "schedule").size(), 3u);
}

}  // namespace
}  // namespace host_test
