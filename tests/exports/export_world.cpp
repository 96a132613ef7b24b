#include "exports/export_world.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using tethra_sim::DeviceImage;
using tethra_sim::TextValue;

namespace export_tests {

const char kDataFolder[] = "C:\\Korvell\\Data\\";
const uint8_t kPairedId[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
const char kPairedIdText[] = "123456789ABCDEF0";
const char kLastSyncTime[] = "20240131235959";

SessionWorld::SessionWorld() : image_(tethra_sim::EmptyImage()) {
    sandbox_.WriteStandardRegistry(kDataFolder, 1);
    devicePath_ = sandbox_.root() + "/device.json";
    testing_support::SetEnv("MORVANE_DEVICE", devicePath_);
}

SessionWorld::~SessionWorld() { library_.reset(); }

void SessionWorld::InstallUtility(Utility which) {
    if (which == Utility::kNone) return;
    const char* source = which == Utility::kStandard ? "/Gantry1.dll" : "/Gantry1_blank.dll";
    fs::copy_file(std::string(MORVANE_TEST_DATA) + source, sandbox_.HostPath(std::string(kDataFolder) + "Gantry1.dll"),
                  fs::copy_options::overwrite_existing);
}

void SessionWorld::WriteSettings(const std::string& iniText) {
    testing_support::WriteFile(sandbox_.HostPath(std::string(kDataFolder) + "ISEnvSet.ini"), iniText);
}

void SessionWorld::SaveImage() {
    std::string error;
    ASSERT_TRUE(image_.Save(devicePath_, &error)) << error;
}

void SessionWorld::PairBothSides() {
    image_.SetPairing(kPairedId, kLastSyncTime);
    WriteSettings(std::string("[Synchronization]\r\nPCID=") + kPairedIdText + "\r\nSyncTime=" + kLastSyncTime + "\r\n");
}

void SessionWorld::Load() {
    SaveImage();
    library_ = std::make_unique<testing_support::AdapterLibrary>();
    ASSERT_TRUE(library_->Loaded());
    TakeTrace();
}

uint32_t SessionWorld::LastError() const {
    uint32_t code = 0xDEADBEEF;
    api().DIZ_API_GetLastErrorCode(&code);
    return code;
}

Lines SessionWorld::TakeTrace() {
    const std::string log = sandbox_.TraceLog();
    const std::string fresh = traceSeen_ <= log.size() ? log.substr(traceSeen_) : log;
    traceSeen_ = log.size();
    static const std::regex heapHandle("hHeap\\[[0-9a-fA-F]+\\]");
    Lines lines;
    std::istringstream in(fresh);
    for (std::string line; std::getline(in, line);) {
        // The log is written in text mode: CR LF line ends.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::regex_replace(line, heapHandle, "hHeap[*]"));
    }
    return lines;
}

std::string SessionWorld::Setting(const std::string& key) const {
    const std::string text = testing_support::ReadFile(sandbox_.HostPath(std::string(kDataFolder) + "ISEnvSet.ini"));
    std::smatch match;
    // The first line "key=..." after the section's name, before the next section.
    const std::regex line("\\[Synchronization\\]\r?\n(?:(?:[^\\[\n][^\n]*)?\n)*?" + key + "=([^\r\n]*)");
    return std::regex_search(text, match, line) ? match[1].str() : "";
}

DeviceImage SessionWorld::Device() const {
    DeviceImage device;
    std::string error;
    EXPECT_TRUE(device.Load(devicePath_, &error)) << error;
    return device;
}

tethra_sim::FieldValues Memo(const std::string& title) {
    return {{"S_PAGE_TITLE", TextValue(title)}, {"S_PAGE_NOTE", TextValue(title + " note")}};
}

tethra_sim::FieldValues Schedule(const std::string& description) {
    return {{"S_DESCRIPTION4", TextValue(description)}, {"S_START_DATE", tethra_sim::DateValue(2024, 3, 1)}};
}

tethra_sim::FieldValues Mail(const std::string& subject, int32_t deviceFolder) {
    return {{"S_SUBJECT", TextValue(subject)}, {"S_FOLDERID", tethra_sim::NumberValue(deviceFolder)}};
}

void Settle(DeviceImage& image, uint32_t dbId) {
    tethra_sim::Database* db = image.Find(dbId);
    ASSERT_NE(nullptr, db);
    db->syncEnabled = true;
    for (auto& list : db->changes) list.clear();
}

tethra_sim::LinkValue Wide(uint32_t value) { return tethra_sim::NumberValue(static_cast<int32_t>(value)); }

void StartPaired(SessionWorld& world) {
    world.PairBothSides();
    world.Load();
    ASSERT_EQ(0, world.api().DIZ_API_Initialize("", ""));
    world.TakeTrace();
}

void StartImport(SessionWorld& world, int32_t section) {
    StartPaired(world);
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    world.TakeTrace();
}

void StartFirstSync(SessionWorld& world, int32_t section) {
    StartPaired(world);
    world.api().DIZ_API_BeginExport(0);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(section, 0, 0));
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    world.TakeTrace();
}

void OpenExport(SessionWorld& world, int32_t section, int32_t stamp) {
    world.api().DIZ_API_BeginExport(stamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(section, "", ""));
    world.TakeTrace();
}

void ExportFirst(SessionWorld& world, int32_t section) {
    OpenExport(world, section, 0);
    uint32_t status = 0;
    ASSERT_EQ(0, world.api().DIZ_API_GetFirstRecord(section, 0, &status));
    world.TakeTrace();
}

int32_t AddNew(SessionWorld& world, const Puts& puts, std::string* idText) {
    EXPECT_EQ(0, world.api().DIZ_API_InsertRecord());
    for (const auto& put : puts)
        EXPECT_EQ(0, world.api().DIZ_API_PutField(put.first.c_str(), put.second.c_str())) << put.first;
    char buffer[16] = "";
    const int32_t result = world.api().DIZ_API_AddRecord(buffer);
    if (idText != nullptr) *idText = buffer;
    return result;
}

std::string Field(SessionWorld& world, const std::string& id, int32_t* result) {
    std::vector<char> out(0xC000 + 16, 'Z');
    out.back() = '\0';
    const int32_t got = world.api().DIZ_API_GetField(id.c_str(), out.data());
    if (result != nullptr) {
        *result = got;
    } else {
        EXPECT_EQ(0, got) << id;
    }
    return out.data();
}

Walk WalkAll(SessionWorld& world, int32_t section) {
    Walk walk;
    uint32_t status = 0;
    int32_t result = world.api().DIZ_API_GetFirstRecord(section, kStamp, &status);
    for (; result == 0; result = world.api().DIZ_API_GetNextRecord(section, kStamp, &status)) {
        walk.statuses.push_back(status);
        world.api().DIZ_API_ReleaseReadRecord();
    }
    walk.end = result;
    return walk;
}

void CountCalls(const std::string& operation) {
    DeviceImage* device = tethra_sim::LiveDevice();
    ASSERT_NE(nullptr, device);
    device->FailCall(operation, 0xFFFFFFFFu, 0x10000002, false);
}

uint32_t CallsSeen(const std::string& operation) {
    const DeviceImage* device = tethra_sim::LiveDevice();
    if (device == nullptr) return 0;
    for (const tethra_sim::Fault& fault : device->faults)
        if (fault.operation == operation && fault.call == 0xFFFFFFFFu) return fault.seen;
    return 0;
}

const tethra_sim::Database& LiveDb(uint32_t dbId) {
    static const tethra_sim::Database none;
    const DeviceImage* device = tethra_sim::LiveDevice();
    const tethra_sim::Database* db = device != nullptr ? device->Find(dbId) : nullptr;
    return db != nullptr ? *db : none;
}

size_t PendingChanges(uint32_t dbId) {
    size_t pending = 0;
    for (const auto& list : LiveDb(dbId).changes) pending += list.size();
    return pending;
}

tethra_sim::LinkValue Stored(uint32_t dbId, uint32_t id, const std::string& field) {
    tethra_sim::LinkValue value = tethra_sim::AbsentValue();
    const DeviceImage* device = tethra_sim::LiveDevice();
    EXPECT_NE(device, nullptr);
    EXPECT_TRUE(device != nullptr && device->GetValue(dbId, id, field, &value)) << field;
    return value;
}

bool HasLine(const Lines& trace, const std::string& line) {
    return std::find(trace.begin(), trace.end(), line) != trace.end();
}

bool HasLines(const Lines& trace, const Lines& run) {
    return std::search(trace.begin(), trace.end(), run.begin(), run.end()) != trace.end();
}

std::vector<std::pair<uint32_t, uint32_t>> RecordsRead(const Lines& trace) {
    std::vector<std::pair<uint32_t, uint32_t>> records;
    for (const std::string& line : trace) {
        int id = 0;
        unsigned attr = 0;
        if (std::sscanf(line.c_str(), "record being read: dwRecId=%d dwSyncAttr=%x", &id, &attr) == 2)
            records.emplace_back(static_cast<uint32_t>(id), attr);
    }
    return records;
}

std::string RecLine(uint32_t id, int attr) {
    return "rec: dwRecId=" + std::to_string(static_cast<int32_t>(id)) + " dwSyncAttr=" + std::to_string(attr);
}

std::string DeviceErrorLine(uint32_t code) {
    char line[64];
    std::snprintf(line, sizeof line, "***** ***** Last Quenda Error: %08x", code);
    return line;
}

std::string CtimeText(int32_t value) {
    const time_t seconds = value;
    std::string text = std::ctime(&seconds);
    text.pop_back();
    return text;
}

std::string IdText(const uint8_t id[8]) {
    char text[17];
    for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", id[i]);
    return text;
}

Lines NewPcidLines(const std::string& idText) {
    Lines lines = {"+++++ Could not read PCID from the registry.  Creating a new one."};
    for (int i = 0; i < 8 && idText.size() >= 16; ++i) {
        std::string byte = idText.substr(2 * static_cast<size_t>(i), 2);
        for (char& c : byte) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lines.push_back("+++++ New PCID[" + std::to_string(i) + "] = " + byte + ".");
    }
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines lines;
    for (const Lines& part : parts) lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

}  // namespace export_tests
