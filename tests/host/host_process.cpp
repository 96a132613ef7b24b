#include "host/host_process.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace host_test {

namespace {

// Paths in the sandbox hold no quote; arguments are quoted for the shell.
std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

HostRun RunHost(const std::vector<std::string>& arguments) {
    std::string command = Quoted(std::string(MORVANE_BIN_DIR) + "/morvane-sync");
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    const char* bridge = getenv("MORVANE_TEST_BRIDGE");
    if (bridge != nullptr && *bridge != '\0') command += " --bridge " + Quoted(bridge);
    command += " 2>&1";
    HostRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

HostWorld::HostWorld() {
    sandbox_.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    testing_support::SetEnv("MORVANE_MESSAGEBOX", "ok");
}

std::string HostWorld::SaveImage(const tethra_sim::DeviceImage& image, const std::string& name) const {
    const std::string path = Path(name);
    std::string error;
    EXPECT_TRUE(image.Save(path, &error)) << error;
    return path;
}

tethra_sim::DeviceImage HostWorld::LoadImage(const std::string& path) const {
    tethra_sim::DeviceImage image;
    std::string error;
    EXPECT_TRUE(image.Load(path, &error)) << error;
    return image;
}

nlohmann::json ReadExport(const std::string& folder, const std::string& database) {
    std::ifstream in(folder + "/" + database + ".json");
    if (!in) return nlohmann::json();
    std::stringstream text;
    text << in.rdbuf();
    return nlohmann::json::parse(text.str(), nullptr, false);
}

nlohmann::json Records(const std::string& folder, const std::string& database) {
    const nlohmann::json file = ReadExport(folder, database);
    return file.is_object() ? file.value("records", nlohmann::json::array()) : nlohmann::json::array();
}

testing::AssertionResult HasAll(const std::string& output, const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
        if (output.find(text) == std::string::npos)
            return testing::AssertionFailure() << "no '" << text << "' in\n" << output;
    return testing::AssertionSuccess();
}

std::string FieldOf(const nlohmann::json& record, const std::string& field) {
    if (!record.contains("fields")) return "";
    for (const nlohmann::json& entry : record.at("fields"))
        if (entry.value("field", "") == field) return entry.value("value", "");
    return "";
}

}  // namespace host_test
