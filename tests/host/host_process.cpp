#include "host/host_process.h"

#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/adapter_library.h"

namespace host_test {

const std::vector<const char*> kStartup = {"DIZ_API_Initialize", "DIZ_API_CloseSyncApp", "DIZ_API_Uninitialize",
                                           "DIZ_API_GetLastErrorCode"};
const std::vector<const char*> kExportPass = {
    "DIZ_API_BeginExport",      "DIZ_API_OpenDatabase",  "DIZ_API_QueryFullSync", "DIZ_API_GetRecordCount",
    "DIZ_API_GetFirstRecord",   "DIZ_API_GetNextRecord", "DIZ_API_ReleaseReadRecord",
    "DIZ_API_CloseDatabase",    "DIZ_API_GetField",      "DIZ_API_GetRepeatInfo", "DIZ_API_GetFolderID"};
const std::vector<const char*> kImportPass = {
    "DIZ_API_BeginImport", "DIZ_API_InsertRecord", "DIZ_API_FindRecord",  "DIZ_API_PutField",
    "DIZ_API_PutRepeatInfo", "DIZ_API_SetFolderID", "DIZ_API_AddRecord", "DIZ_API_FlushRecord",
    "DIZ_API_DeleteRecord"};

namespace {

// Paths in the sandbox hold no quote; arguments are quoted for the shell.
std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

HostRun RunHost(const std::vector<std::string>& arguments) {
    std::string command = Quoted(std::string(MORVANE_BIN_DIR) + "/morvane-sync");
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
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

bool AdapterExports(const std::vector<const char*>& names, std::string* missing) {
    HMODULE module = LoadLibraryA(testing_support::AdapterLibrary::DefaultPath().c_str());
    if (module == nullptr) {
        *missing = "the library itself";
        return false;
    }
    bool all = true;
    for (const char* name : names) {
        if (GetProcAddress(module, name) == nullptr) {
            *missing = name;
            all = false;
            break;
        }
    }
    FreeLibrary(module);
    return all;
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

std::string FieldOf(const nlohmann::json& record, const std::string& field) {
    if (!record.contains("fields")) return "";
    for (const nlohmann::json& entry : record.at("fields"))
        if (entry.value("field", "") == field) return entry.value("value", "");
    return "";
}

}  // namespace host_test
