#include "sync/sync_world.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include <sqlite3.h>

#include "engine/gathered.h"
#include "engine/state_store.h"
#include "records/field_map.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace sync_test {

using namespace morvane_host;

namespace {

struct SectionFacts {
    int32_t section;
    uint32_t dbId;
    const char* folder;
    const char* kind;  // text every item of the section holds; null: any
};

static const SectionFacts kFacts[] = {
    {kAddressSection,  7,  "contacts", nullptr},
    {kScheduleSection, 1,  "calendar", "VEVENT"},
    {kToDoSection,     6,  "tasks",    "VTODO"},
    {kMemoSection,     8,  "memos",    "VJOURNAL"},
    {kMailSection,     16, "mail",     nullptr},
};

const SectionFacts& FactsOf(int32_t section) {
    for (const SectionFacts& facts : kFacts)
        if (facts.section == section) return facts;
    return kFacts[0];
}

void Replace(std::string* text, const std::string& from, const std::string& to) {
    for (size_t at = text->find(from); !from.empty() && at != std::string::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

// The value of the item's UID (vCard, iCalendar) or Message-ID (mail) line.
void ReplaceUid(std::string* text, const std::string& uid) {
    for (const char* name : {"\nUID:", "\nMessage-ID:", "\nMessage-Id:"}) {
        const size_t at = text->find(name);
        if (at == std::string::npos) continue;
        const size_t start = at + strlen(name);
        const size_t end = text->find_first_of("\r\n", start);
        const bool mail = name[1] == 'M';
        text->replace(start, end - start, mail ? " <" + uid + "@morvane.test>" : uid);
    }
}

}  // namespace

uint32_t DeviceDatabase(int32_t section) { return FactsOf(section).dbId; }

std::vector<std::pair<std::string, std::string>> Tree(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(folder, ignored); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = fs::relative(it->path(), folder).string();
        if (relative.rfind(".morvane", 0) == 0) continue;
        if (it->is_regular_file()) files.emplace_back(relative, ReadFile(it->path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

testing::AssertionResult SyncsWithoutConflict(const SyncWorld& world, const std::vector<std::string>& texts) {
    const HostRun run = world.Sync({"--verbose"});
    const testing::AssertionResult ran = host_test::Ran(run, 0, texts);
    if (!ran) return ran;
    if (run.output.find("conflict:") != std::string::npos || run.output.find("(conflict)") != std::string::npos)
        return testing::AssertionFailure() << "a conflict:\n" << run.output;
    return testing::AssertionSuccess();
}

testing::AssertionResult ReadingEverythingAgainWritesNothing(const SyncWorld& world) {
    const auto before = Tree(world.store());
    const testing::AssertionResult marked = world.ExecOnState("UPDATE databases SET full_sync_due = 1;");
    if (!marked) return marked;
    const testing::AssertionResult ran = host_test::Ran(world.Sync(), 0);
    if (!ran) return ran;
    if (Tree(world.store()) != before) return testing::AssertionFailure() << "a full read rewrote files";
    return testing::AssertionSuccess();
}

SyncWorld::SyncWorld(const DeviceImage& image) {
    image_ = host_.SaveImage(image, "device.json");
    store_ = host_.Path("store");
}

HostRun SyncWorld::Sync(const std::vector<std::string>& extra) const {
    std::vector<std::string> arguments = {"sync", "--device", image_, "--store", store_, "--yes"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return host_test::RunHost(arguments);
}

HostRun SyncWorld::SyncKilledAt(const std::string& step, const std::vector<std::string>& extra) const {
    testing_support::SetEnv("MORVANE_SYNC_ABORT_AT", step.c_str());
    const HostRun killed = Sync(extra);
    testing_support::UnsetEnv("MORVANE_SYNC_ABORT_AT");
    return killed;
}

HostRun SyncWorld::SyncPausedAt(const std::string& step, const std::function<void()>& meanwhile) const {
    const std::string paused = host_.Path("paused");
    testing_support::SetEnv("MORVANE_SYNC_PAUSE_AT", step.c_str());
    testing_support::SetEnv("MORVANE_SYNC_PAUSE_FILE", paused.c_str());
    HostRun run;
    std::thread sync([&] { run = Sync(); });
    for (int waited = 0; waited < 3000 && !fs::exists(paused); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(paused)) << "the sync never reached " << step;
    meanwhile();
    fs::remove(paused);
    sync.join();
    testing_support::UnsetEnv("MORVANE_SYNC_PAUSE_AT");
    testing_support::UnsetEnv("MORVANE_SYNC_PAUSE_FILE");
    return run;
}

testing::AssertionResult SyncWorld::ExecOnState(const std::string& sql) const {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open((store_ + "/.morvane/state.sqlite3").c_str(), &db);
    const int done = opened == SQLITE_OK ? sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) : opened;
    const std::string message = db != nullptr ? sqlite3_errmsg(db) : "no memory";
    sqlite3_close(db);
    if (done == SQLITE_OK) return testing::AssertionSuccess();
    return testing::AssertionFailure() << sql << ": " << message;
}

std::string SyncWorld::Folder(int32_t section) const { return store_ + "/" + FactsOf(section).folder; }

DeviceImage SyncWorld::Device() const { return host_.LoadImage(image_); }

void SyncWorld::EditDevice(const std::function<void(DeviceImage&)>& edit) const {
    DeviceImage image = Device();
    edit(image);
    host_.SaveImage(image, "device.json");
}

size_t SyncWorld::DeviceCount(int32_t section) const {
    const DeviceImage image = Device();
    size_t count = image.Find(DeviceDatabase(section))->records.size();
    if (section == kMailSection) count += image.Find(15)->records.size();
    return count;
}

uint32_t SyncWorld::FindRecord(uint32_t dbId, const std::string& field, const std::string& text) const {
    const DeviceImage image = Device();
    for (const tethra_sim::Record& record : image.Find(dbId)->records)
        if (TextOf(dbId, record.id, field).rfind(text, 0) == 0) return record.id;
    return 0;
}

void SyncWorld::ChangeRecord(uint32_t dbId, const std::string& field, const std::string& text,
                             const tethra_sim::FieldValues& values) const {
    const uint32_t id = FindRecord(dbId, field, text);
    EditDevice([&](DeviceImage& image) { EXPECT_TRUE(image.ChangeRecord(dbId, id, values)) << text; });
}

void SyncWorld::DeleteRecord(uint32_t dbId, const std::string& field, const std::string& text) const {
    const uint32_t id = FindRecord(dbId, field, text);
    EditDevice([&](DeviceImage& image) { EXPECT_TRUE(image.DeleteRecord(dbId, id)) << text; });
}

std::string SyncWorld::TextOf(uint32_t dbId, uint32_t id, const std::string& field) const {
    tethra_sim::LinkValue value;
    if (!Device().GetValue(dbId, id, field, &value)) return "";
    return std::string(value.bytes.begin(), value.bytes.end());
}

std::vector<std::string> SyncWorld::Files(int32_t section, const std::string& folder) const {
    const std::string root = folder.empty() ? Folder(section) : folder;
    const char* kind = FactsOf(section).kind;
    std::vector<std::string> files;
    for (const auto& file : Tree(root)) {
        const std::string& name = file.first;
        if (name == "displayname" || name.find("/tmp/") != std::string::npos) continue;
        const std::string extension = section == kAddressSection ? ".vcf" : ".ics";
        if (section != kMailSection && fs::path(name).extension() != extension) continue;
        if (kind != nullptr && file.second.find(kind) == std::string::npos) continue;
        files.push_back(root + "/" + name);
    }
    return files;
}

std::string SyncWorld::FindFile(int32_t section, const std::string& text) const {
    for (const std::string& path : Files(section))
        if (ReadFile(path).find(text) != std::string::npos) return path;
    return "";
}

std::string SyncWorld::CopyItem(int32_t section, const std::string& from, const std::string& oldText,
                                const std::string& newText, const std::string& uid) const {
    std::string text = ReadFile(from);
    Replace(&text, oldText, newText);
    ReplaceUid(&text, uid);
    const std::string folder = fs::path(from).parent_path().string();
    const std::string name = section == kMailSection ? uid + ":2,S" : uid + fs::path(from).extension().string();
    testing_support::WriteFile(folder + "/" + name, text);
    return folder + "/" + name;
}

void SyncWorld::EditFile(const std::string& path, const std::string& oldText, const std::string& newText) const {
    std::string text = ReadFile(path);
    Replace(&text, oldText, newText);
    testing_support::WriteFile(path, text);
}

std::vector<morvane_engine::StateRow> SyncWorld::Rows(int32_t section) const {
    // The rows a sync sees: a deletion the handheld has yet to show it kept
    // pairs nothing.
    morvane_engine::StateStore store;
    morvane_engine::Gathered g;
    if (store.Open(store_ + "/.morvane/state.sqlite3", true) && morvane_engine::LoadGathered(section, store, &g))
        store.LoadTexts(section, &g.rows);
    return std::move(g.rows);
}

std::string SyncWorld::StateText(int32_t section) const {
    std::string text;
    for (const morvane_engine::StateRow& row : Rows(section))
        text += row.href + " " + std::to_string(row.deviceId) + " " + row.hash + "\n" + row.deviceFields + "\n";
    return text;
}

testing::AssertionResult SyncWorld::InAgreement(int32_t section, const std::string& folder) const {
    const std::vector<std::string> files = Files(section, folder);
    const std::vector<morvane_engine::StateRow> rows = Rows(section);
    const size_t records = DeviceCount(section);
    if (files.size() != rows.size() || rows.size() != records)
        return testing::AssertionFailure() << "section " << section << ": " << files.size() << " files, "
                                           << rows.size() << " state rows, " << records << " device records";
    const DeviceImage image = Device();
    std::set<std::string> names;
    for (const std::string& file : files) names.insert(fs::path(file).filename().string());
    for (const morvane_engine::StateRow& row : rows) {
        const uint32_t id = static_cast<uint32_t>(row.deviceId) & 0x7FFFFFFFu;
        const uint32_t db = row.deviceId < 0 ? 15 : DeviceDatabase(section);
        if (image.Find(db)->Find(id) == nullptr)
            return testing::AssertionFailure() << "state row " << row.href << " names missing record " << row.deviceId;
        const bool found = std::any_of(names.begin(), names.end(),
                                       [&](const std::string& name) { return name.rfind(row.href, 0) == 0; });
        if (!found) return testing::AssertionFailure() << "state row names missing file " << row.href;
    }
    return testing::AssertionSuccess();
}

}  // namespace sync_test
