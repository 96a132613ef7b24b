// morvane-bridge against a client that breaks the protocol: every request
// gets its one answer, naming what was wrong, the bridge serves on, and it
// ends cleanly (exit status 0) at the end of its input.  The bridge is
// started through the platform's child-process service, as the bridge
// session starts it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/simulator.h"
#include "platform/host_services.h"
#include "support/sandbox.h"

namespace {

using nlohmann::json;

constexpr DWORD kWaitMs = 30000;

struct Exchange {
    std::vector<json> answers;  // the final answers (lines with "ok"), in order
    std::string ended;          // "exit status 0", ...
    std::string errors;         // the end of its standard error
};

// Starts a bridge, writes the lines, closes its input and reads everything
// it answers until it ends.
Exchange Talk(const std::vector<std::string>& lines) {
    Exchange exchange;
    char reason[256] = "";
    PlatformChild* child = PlatformStartChild((std::string(MORVANE_BIN_DIR) + "/morvane-bridge").c_str(), reason,
                                              sizeof reason);
    EXPECT_NE(child, nullptr) << reason;
    if (child == nullptr) return exchange;
    std::string input;
    for (const std::string& line : lines) input += line + "\n";
    EXPECT_EQ(PlatformChildWrite(child, input.data(), input.size(), kWaitMs), 1);
    PlatformChildCloseInput(child);
    std::string output;
    std::vector<char> chunk(65536);
    int got = 0;
    while ((got = PlatformChildRead(child, chunk.data(), chunk.size(), kWaitMs)) > 0)
        output.append(chunk.data(), static_cast<size_t>(got));
    EXPECT_EQ(got, 0) << "the bridge stopped answering";
    char how[128] = "";
    EXPECT_TRUE(PlatformChildWait(child, kWaitMs, how, sizeof how));
    exchange.ended = how;
    std::vector<char> errors(4097);
    PlatformChildErrorTail(child, errors.data(), static_cast<DWORD>(errors.size()));
    exchange.errors = errors.data();
    PlatformChildRelease(child);
    for (size_t at = 0; at < output.size();) {
        const size_t end = output.find('\n', at);
        const json line = json::parse(output.substr(at, end - at), nullptr, false);
        EXPECT_FALSE(line.is_discarded()) << output.substr(at, end - at);
        if (line.is_object() && line.contains("ok")) exchange.answers.push_back(line);
        at = end == std::string::npos ? output.size() : end + 1;
    }
    return exchange;
}

const char kHello[] = R"({"id":1,"op":"hello","protocol":1})";
const char kStart[] = R"({"id":2,"op":"start","pairing":"ok"})";

std::string ImportHeader(int records) {
    return R"({"id":5,"op":"import","section":3,"records":)" + std::to_string(records) + "}";
}
std::string TaskLine(const std::string& field, const std::string& value) {
    return json{{"id", 5}, {"record", {{"id", 0}, {"action", "add"}, {"fields", {{field, value}}}}}}.dump();
}

struct Abuse {
    const char* what;
    std::vector<std::string> lines;
    // The final answers: "<id>:ok" or "<id>:<part of the error>" ("null" for no id).
    std::vector<std::string> answers;
};

std::vector<Abuse> Abuses() {
    const std::string longLine = R"({"id":9,"op":"hello","pad":")" + std::string(16u * 1024 * 1024, 'x') + "\"}";
    return {
        {"malformed JSON", {R"({"id":1,"op":"hello")", "not json at all", kHello},
         {"null:malformed JSON", "null:malformed JSON", "1:ok"}},
        {"an unknown operation", {kHello, R"({"id":2,"op":"frobnicate"})", R"({"id":3})", R"({"op":"stop"})"},
         {"1:ok", "2:unknown operation \"frobnicate\"", "3:without \"op\"", "null:without a whole-number \"id\""}},
        {"operations out of order",
         {kStart, kHello, kHello, R"({"id":3,"op":"export","section":2,"stamp":0,"lists":"keep"})", kStart, kStart},
         {"2:\"start\" before \"hello\"", "1:ok", "1:answered already", "3:\"export\" before \"start\"", "2:ok",
          "2:already started"}},
        {"a field id the database does not have",
         {kHello, kStart, ImportHeader(2), TaskLine("2", "Water the plants"), TaskLine("99", "x"),
          R"({"id":6,"op":"export","section":9,"stamp":0,"lists":"keep"})"},
         {"1:ok", "2:ok", "5:the ToDo database has no field \"99\"", "6:no database has section 9"}},
        {"an oversized record and an oversized line",
         {kHello, kStart, ImportHeader(1), TaskLine("2", std::string(49153, 'x')), longLine, kHello},
         {"1:ok", "2:ok", "5:field \"2\" holds 49153 characters", "null:more than the 16777216", "1:answered already"}},
        {"link requests while the session is started, and link records that do not fit",
         {kHello, kStart, R"({"id":3,"op":"read_link"})", R"({"id":4,"op":"close"})",
          R"({"id":5,"op":"write_link","database":6,"fields":3,"deletes":[1],"records":1})",
          R"({"id":5,"link":{"id":0,"values":["a"]}})",
          R"({"id":6,"op":"write_link","database":6,"fields":1,"deletes":[],"records":1})",
          R"({"id":6,"link":{"id":0,"values":[{"hex":"zz"}]}})"},
         {"1:ok", "2:ok", "3:the session is started", "4:ok", "5:record 0 has 1 values for 3 fields",
          "6:field 1: not a value"}},
        {"the client closing in the middle of a request",
         {kHello, kStart, ImportHeader(3), TaskLine("2", "Water the plants")},
         {"1:ok", "2:ok", "5:the input ended after 1 of the 3 records"}},
    };
}

TEST(BridgeProtocol, EveryAbuseGetsItsErrorAnswerAndTheBridgeServesOnAndEndsCleanly) {
    testing_support::Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 0);
    std::string error;
    const std::string device = sandbox.root() + "/device.json";
    ASSERT_TRUE(tethra_sim::DemoImage().Save(device, &error)) << error;
    testing_support::SetEnv("MORVANE_DEVICE", device);
    for (const Abuse& abuse : Abuses()) {
        const Exchange exchange = Talk(abuse.lines);
        EXPECT_EQ(exchange.ended, "exit status 0") << abuse.what << "\n" << exchange.errors;
        ASSERT_EQ(exchange.answers.size(), abuse.answers.size()) << abuse.what;
        for (size_t i = 0; i < abuse.answers.size(); ++i) {
            const json& answer = exchange.answers[i];
            SCOPED_TRACE(std::string(abuse.what) + " answer " + std::to_string(i) + ": " + answer.dump());
            const std::string& expected = abuse.answers[i];
            const std::string text = expected.substr(expected.find(':') + 1);
            EXPECT_EQ(answer.at("id").dump(), expected.substr(0, expected.find(':')));
            if (text == "ok")
                EXPECT_TRUE(answer.value("ok", false));
            else
                EXPECT_NE(answer.value("error", "").find(text), std::string::npos);
        }
    }
    // Nothing of the refused imports reached the device.
    tethra_sim::DeviceImage image;
    ASSERT_TRUE(image.Load(device, &error)) << error;
    EXPECT_EQ(image.Find(6)->records.size(), 2u);
}

}  // namespace
