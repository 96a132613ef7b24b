// Loading the adapter as a host does: the trace switch read at load, the
// application object's first line, the state the exports start from, and
// the names the library exports.
#include "support/adapter_library.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <regex>
#include <set>
#include <string>

using testing_support::AdapterLibrary;
using testing_support::Sandbox;

namespace {

// "QA Debug Log started: <ctime text>\n" and the empty line after it.
const char kHeaderPattern[] =
    "QA Debug Log started: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n";

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

}  // namespace

TEST(LoadTrace, NoSwitchKeyTracesOnlyToDebugger) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", -1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    EXPECT_EQ(sandbox.DebugOutput(), "***** CMorvaneApp\n");
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath("C:\\QADbgLog.txt")));
}

TEST(LoadTrace, SwitchZeroWritesHeaderToDebuggerOnly) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 0);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    EXPECT_TRUE(std::regex_match(sandbox.DebugOutput(), std::regex(std::string(kHeaderPattern) + "\\*\\*\\*\\*\\* CMorvaneApp\n")))
        << sandbox.DebugOutput();
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath("C:\\QADbgLog.txt")));
}

TEST(LoadTrace, SwitchOneWritesHeaderAndFirstLineToTheFile) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    AdapterLibrary adapter;
    ASSERT_TRUE(adapter.Loaded());
    const std::string debug = sandbox.DebugOutput();
    EXPECT_TRUE(std::regex_match(debug, std::regex(std::string(kHeaderPattern) + "\\*\\*\\*\\*\\* CMorvaneApp\n")))
        << debug;
    // The file holds the same text with CR LF line breaks.
    std::string expected;
    for (char c : debug) {
        if (c == '\n') expected += '\r';
        expected += c;
    }
    EXPECT_EQ(sandbox.TraceLog(), expected);
}

TEST(LoadTrace, FileGainsLinesAcrossLoads) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    { AdapterLibrary first; ASSERT_TRUE(first.Loaded()); }
    const std::string afterFirst = sandbox.TraceLog();
    ASSERT_EQ(CountOf(afterFirst, "***** CMorvaneApp\r\n"), 1u);
    { AdapterLibrary second; ASSERT_TRUE(second.Loaded()); }
    const std::string afterSecond = sandbox.TraceLog();
    EXPECT_EQ(afterSecond.compare(0, afterFirst.size(), afterFirst), 0) << "nothing is rewritten";
    EXPECT_EQ(CountOf(afterSecond, "QA Debug Log started: "), 2u);
    EXPECT_EQ(CountOf(afterSecond, "***** CMorvaneApp\r\n"), 2u) << afterSecond;
}

TEST(LastError, IsZeroAfterLoadAndReadingKeepsIt) {
    Sandbox sandbox;
    AdapterLibrary adapter;
    ASSERT_NE(adapter->DIZ_API_GetLastErrorCode, nullptr);
    uint32_t code = 0xDEADBEEF;
    adapter->DIZ_API_GetLastErrorCode(&code);
    EXPECT_EQ(code, 0u);
    code = 0xDEADBEEF;
    adapter->DIZ_API_GetLastErrorCode(&code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), "***** CMorvaneApp\n") << "no trace line of its own";
}

TEST(InstallPathExport, ReadsTheDataFolder) {
    struct Row {
        const char* folder;  // null: no "DatafilePath"
        int32_t result;
    };
    static const Row kRows[] = {
        {"C:\\Korvell\\Data\\", 1},  // 0
        {"C:\\Korvell\\Data", 1},
        {nullptr, 0},
    };
    for (const Row& row : kRows) {
        Sandbox sandbox;
        if (row.folder != nullptr)
            sandbox.WriteStandardRegistry(row.folder, -1);
        else
            sandbox.WriteRegistry("Windows Registry Editor Version 5.00\n");
        AdapterLibrary adapter;
        ASSERT_NE(adapter->GetInstallPath, nullptr);
        char buffer[260] = "";
        EXPECT_EQ(adapter->GetInstallPath(buffer), row.result);
        if (row.folder != nullptr) {
            EXPECT_STREQ(buffer, row.folder);
        }
        EXPECT_EQ(sandbox.DebugOutput(), "***** CMorvaneApp\n") << "no trace line of its own";
    }
}

// Only the host's entry points leave the library: DIZ_API_ functions and
// the two C++ names.
TEST(ExportedNames, OnlyTheApi) {
    const std::string command = "nm -D --defined-only " + AdapterLibrary::DefaultPath();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        // "<address> <type> <name>"
        char address[64], type[8], name[900];
        if (sscanf(line, "%63s %7s %899s", address, type, name) == 3) names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    ASSERT_FALSE(names.empty());
    const std::regex api("DIZ_API_[A-Za-z_]+|_Z14GetInstallPathPc|_Z18GetEmailBodyLengthPi");
    for (const std::string& name : names) EXPECT_TRUE(std::regex_match(name, api)) << name;
    EXPECT_EQ(names.count("DIZ_API_GetLastErrorCode"), 1u);
    EXPECT_EQ(names.count("_Z14GetInstallPathPc"), 1u);
}
