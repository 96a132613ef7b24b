// Loading the adapter as a host does: the trace switch read at load, the
// application object's first line, the state the exports start from, and
// the names the library exports.
#include "support/adapter_library.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdio.h>
#include <string>

using testing_support::AdapterLibrary;
using testing_support::Sandbox;

namespace {

const char kFolder[] = "C:\\Korvell\\Data\\";
const char kFirstLine[] = "***** CMorvaneApp\n";

// The registry's trace switch: none traces only the first line, to the
// debugger; 0 adds the header ("QA Debug Log started: <ctime text>" and an
// empty line); 1 writes the same text to the file too, with CR LF.
TEST(LoadTrace, TheSwitchChoosesHeaderAndFile) {
    const std::string header =
        "QA Debug Log started: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n";
    for (const int traceSwitch : {-1, 0, 1}) {
        SCOPED_TRACE(traceSwitch);
        Sandbox sandbox;
        sandbox.WriteStandardRegistry(kFolder, traceSwitch);
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

// The log file is written whether or not anything reads the debugger
// output: lines nobody reads are only skipped when the file is off too.
TEST(LoadTrace, TheFileIsWrittenWithNothingReadingTheDebugger) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kFolder, 1);
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
    sandbox.WriteStandardRegistry(kFolder, 1);
    { AdapterLibrary first; ASSERT_TRUE(first.Loaded()); }
    const std::string afterFirst = sandbox.TraceLog();
    ASSERT_EQ(CountOf(afterFirst, "***** CMorvaneApp\r\n"), 1u);
    { AdapterLibrary second; ASSERT_TRUE(second.Loaded()); }
    const std::string afterSecond = sandbox.TraceLog();
    EXPECT_EQ(afterSecond.compare(0, afterFirst.size(), afterFirst), 0) << "nothing is rewritten";
    EXPECT_EQ(CountOf(afterSecond, "QA Debug Log started: "), 2u);
    EXPECT_EQ(CountOf(afterSecond, "***** CMorvaneApp\r\n"), 2u) << afterSecond;
}

// The last error is 0 after loading, reading it keeps it; GetInstallPath
// gives the data folder as the registry holds it, or 0 without one.
// Neither writes a trace line.
TEST(LoadedState, LastErrorAndInstallPath) {
    // null: no "DatafilePath"; "": no registry file at all.
    const char* const kFolders[] = {kFolder, "C:\\Korvell\\Data", nullptr, ""};
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
        EXPECT_EQ(sandbox.DebugOutput(), kFirstLine);
    }
}

// Only the host's entry points leave the library: DIZ_API_ functions and
// the two C++ names.
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

}  // namespace
