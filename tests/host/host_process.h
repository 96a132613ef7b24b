// Runs morvane-sync as a process of its own inside a Sandbox, and reads
// back what it left: its output, its export files and the device images.
#ifndef MORVANE_TESTS_HOST_HOST_PROCESS_H
#define MORVANE_TESTS_HOST_HOST_PROCESS_H

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "device/simulator.h"
#include "support/sandbox.h"

namespace host_test {

struct HostRun {
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

// Runs build/bin/morvane-sync with the arguments (the sandbox's
// environment is inherited).  With MORVANE_TEST_BRIDGE set, the run goes
// through a bridge started with that command: CTest runs every host test
// both ways ("bridge." tests), and both must give the same results.
HostRun RunHost(const std::vector<std::string>& arguments);

// A sandbox with "DatafilePath" set and tracing on, in which the pairing
// question is answered OK.
class HostWorld {
public:
    HostWorld();
    const testing_support::Sandbox& sandbox() const { return sandbox_; }
    // <root>/<name>: a device image file or an export folder.
    std::string Path(const std::string& name) const { return sandbox_.root() + "/" + name; }
    // Saves the image as <root>/<name> and returns its path.
    std::string SaveImage(const tethra_sim::DeviceImage& image, const std::string& name) const;
    tethra_sim::DeviceImage LoadImage(const std::string& path) const;

private:
    testing_support::Sandbox sandbox_;
};

// An export file of the folder, parsed; null JSON when it is missing.
nlohmann::json ReadExport(const std::string& folder, const std::string& database);
// The records of an export file (empty when it is missing).
nlohmann::json Records(const std::string& folder, const std::string& database);
// The value of a host field of a record in an export file ("" when absent).
std::string FieldOf(const nlohmann::json& record, const std::string& field);
// output holds every one of texts; the first one missing otherwise.
testing::AssertionResult HasAll(const std::string& output, const std::vector<std::string>& texts);
// The run ended with exitCode and its output holds every one of texts;
// otherwise what it did, with its output.
testing::AssertionResult Ran(const HostRun& run, int exitCode, const std::vector<std::string>& texts = {});
// A link field's value in an image (a failure when the record lacks it).
tethra_sim::LinkValue ValueOf(const tethra_sim::DeviceImage& image, uint32_t dbId, uint32_t id,
                              const std::string& field);
// A link value in terms a handheld's own record and the same record written
// by the PC through the adapter compare in (see host_process.cpp).
std::string ComparableValue(uint32_t type, const tethra_sim::LinkValue& value);

}  // namespace host_test

#endif
