#include "host/host_process.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

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
    const std::string path = folder + "/" + database + ".json";
    if (!testing_support::FileExists(path)) return nlohmann::json();
    return nlohmann::json::parse(testing_support::ReadFile(path), nullptr, false);
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

testing::AssertionResult Ran(const HostRun& run, int exitCode, const std::vector<std::string>& texts) {
    if (run.exitCode != exitCode)
        return testing::AssertionFailure() << "exit status " << run.exitCode << ", not " << exitCode << ":\n"
                                           << run.output;
    return HasAll(run.output, texts);
}

tethra_sim::LinkValue ValueOf(const tethra_sim::DeviceImage& image, uint32_t dbId, uint32_t id,
                              const std::string& field) {
    tethra_sim::LinkValue value;
    EXPECT_TRUE(image.GetValue(dbId, id, field, &value)) << "database " << dbId << " record " << id << " " << field;
    return value;
}

std::string FieldOf(const nlohmann::json& record, const std::string& field) {
    if (!record.contains("fields")) return "";
    for (const nlohmann::json& entry : record.at("fields"))
        if (entry.value("field", "") == field) return entry.value("value", "");
    return "";
}

// A link value in terms both handhelds can be compared in.  The PC sends a
// byte field as a 4-byte number, so byte fields compare as numbers.  The
// adapter stores the host's text as the host gives it, CR LF included, so
// line ends compare as LF.  A flag, a number (Secret) or the alarm time the
// first handheld left empty reads as "0" (or as an alarm that is off) and is
// written back as zero, which the link carries as a zero byte, number or the
// time 00:00; so empty compares as zero for those types.
std::string ComparableValue(uint32_t type, const tethra_sim::LinkValue& value) {
    const bool empty = value.absent || value.bytes.empty();
    switch (type) {
    case tethra_sim::kLinkByte:
    case tethra_sim::kLinkNumber: {
        uint32_t number = 0;
        for (size_t i = 0; i < value.bytes.size() && i < 4; ++i) number |= uint32_t{value.bytes[i]} << (8 * i);
        return "number " + std::to_string(number);
    }
    case tethra_sim::kLinkTime:
        return "time " + std::to_string(tethra_sim::OleDateOf(value));
    case tethra_sim::kLinkText: {
        std::string text(value.bytes.begin(), value.bytes.end());
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
        return (value.absent ? "absent " : "text ") + text;
    }
    default:
        return empty ? (value.absent ? "absent" : "empty") : "date " + std::to_string(tethra_sim::OleDateOf(value));
    }
}

}  // namespace host_test
