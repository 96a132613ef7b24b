// The trace log of a whole synchronisation, compared line by line with the
// log checked in as tests/host/data/session_trace.txt.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "host/host_process.h"

namespace host_test {
namespace {

using nlohmann::json;
using tethra_sim::TextValue;

const char kExpectedLog[] = MORVANE_SOURCE_DIR "/tests/host/data/session_trace.txt";
const char kActualLog[] = MORVANE_TEST_DATA "/session_trace.actual.txt";

// The masking step.  What differs from run to run becomes a fixed mark and
// the rest of every line is compared as it stands:
//   - local times as ctime writes them ("Sun Dec  6 03:58:04 2026") -> <time>
//   - the export's stamp, in decimal ("DIZ_API_BeginExport(1796529484)",
//     "null SyncStamp 1796529484") and in hexadecimal ("(4, 6b14dd4c, [OUT])") -> <stamp>
//   - the bytes of a new PC identity ("New PCID[0] = f4.") -> xx
//   - the handle of a live heap ("hHeap[80791b50]") -> hHeap[*]
//   - the log's CR LF line ends -> LF, as the expected log is checked in
std::string Masked(const std::string& log) {
    static const std::pair<std::regex, const char*> kMasks[] = {
        {std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}"), "<time>"},
        {std::regex("(BeginExport\\(|SyncStamp )[0-9]+"), "$1<stamp>"},
        {std::regex("\\(([0-9]+), [0-9a-f]{8}, \\[OUT\\]\\)"), "($1, <stamp>, [OUT])"},
        {std::regex("New PCID\\[([0-7])\\] = [0-9a-f]{2}\\."), "New PCID[$1] = xx."},
        {std::regex("hHeap\\[(?!00000000)[0-9a-f]{8}\\]"), "hHeap[*]"},
        {std::regex("\r\n"), "\n"},
    };
    std::string text = log;
    for (const auto& mask : kMasks) text = std::regex_replace(text, mask.first, mask.second);
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A synchronisation of a handheld's memos, as the host runs it: start-up
// pairs the handheld (never synchronised before), the export reads its two
// memos, close; start-up finds the pairing standing, the import changes one
// memo, deletes the other and adds a third, close.
TEST(HostTrace, AWholeSynchronisationWritesTheExpectedLog) {
    HostWorld world;
    // Tracing is off in the registry: --trace switches it on for each run
    // (and says where the log is) without touching the registry.
    world.sandbox().WriteStandardRegistry("C:\\Korvell\\Data\\", 0);
    tethra_sim::DeviceImage image = tethra_sim::EmptyImage();
    image.AddRecord(8, {{"S_PAGE_TITLE", TextValue("Gate code")}, {"S_PAGE_NOTE", TextValue("Gate code\n4711#")},
                        {"S_START_DATETIME", tethra_sim::DateTimeValue(2026, 11, 2, 8, 45, 0)}});
    image.AddRecord(8, {{"S_PAGE_TITLE", TextValue("Old list")}, {"S_PAGE_NOTE", TextValue("Old list")}});
    const std::string device = world.SaveImage(image, "device.json");
    const json changes = {
        {"database", "Memo"},
        {"section", 4},
        {"records",
         {{{"id", 1}, {"status", 3},
           {"fields", {{{"field", "1"}, {"value", "Gate code"}}, {{"field", "3"}, {"value", "4712#"}}}}},
          {{"id", 2}, {"status", 4}},
          {{"id", 0}, {"action", "add"},
           {"fields", {{{"field", "1"}, {"value", "Shopping"}}, {{"field", "2.D"}, {"value", "20261205"}},
                       {{"field", "2.T"}, {"value", "1720"}}, {{"field", "3"}, {"value", "milk"}}}}}}}};
    testing_support::WriteFile(world.Path("in") + "/memo.json", changes.dump());
    const std::vector<std::vector<std::string>> steps = {
        {"export", "--trace", "--section", "4", "--device", device, "--out", world.Path("out")},
        {"import", "--trace", "--section", "4", "--device", device, "--in", world.Path("in")}};
    const std::string registry = testing_support::ReadFile(world.sandbox().registryPath());
    for (const auto& step : steps)
        ASSERT_TRUE(Ran(RunHost(step), 0, {"trace log: " + world.sandbox().HostPath("C:\\QADbgLog.txt")})) << step[0];
    EXPECT_EQ(testing_support::ReadFile(world.sandbox().registryPath()), registry) << "the user's registry stays";
    const std::string actual = Masked(world.sandbox().TraceLog());
    const std::vector<std::string> expected = Lines(testing_support::ReadFile(kExpectedLog)), got = Lines(actual);
    size_t same = 0;
    while (same < expected.size() && same < got.size() && expected[same] == got[same]) ++same;
    if (same < expected.size() || same < got.size()) testing_support::WriteFile(kActualLog, actual);
    ASSERT_FALSE(expected.empty()) << "no expected log in " << kExpectedLog << "; this run's is " << kActualLog;
    EXPECT_EQ(same, expected.size()) << "line " << same + 1 << " differs; expected\n"
                                     << (same < expected.size() ? expected[same] : "(end of log)") << "\nbut got\n"
                                     << (same < got.size() ? got[same] : "(end of log)") << "\nwhole log: " << kActualLog;
    EXPECT_EQ(got.size(), expected.size()) << "whole log: " << kActualLog;
}

}  // namespace
}  // namespace host_test
