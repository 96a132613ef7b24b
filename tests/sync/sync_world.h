// A world for sync scenarios: a sandbox, the demo handheld's image file
// and a store, with morvane-sync run as a process of its own; and the
// checks every scenario makes on both sides and the state afterwards.
#ifndef MORVANE_TESTS_SYNC_SYNC_WORLD_H
#define MORVANE_TESTS_SYNC_SYNC_WORLD_H

#include <functional>
#include <string>
#include <vector>

#include "device/simulator.h"
#include "engine/sync_types.h"
#include "host/host_process.h"
#include "support/row_name.h"

namespace sync_test {

using host_test::HostRun;
using testing_support::ReadFile;
using testing_support::RowName;
using tethra_sim::DeviceImage;

// The device database of a section (E-mail: the merged one, 16).
uint32_t DeviceDatabase(int32_t section);

class SyncWorld {
public:
    explicit SyncWorld(const DeviceImage& image = tethra_sim::DemoImage());

    // morvane-sync sync with the world's device and store, --yes, and extra.
    HostRun Sync(const std::vector<std::string>& extra = {}) const;
    // A sync the engine's abort hook ends at once at step (as kill -9 would).
    HostRun SyncKilledAt(const std::string& step, const std::vector<std::string>& extra = {}) const;
    // A sync that waits at step while meanwhile runs, as another program
    // would run beside it.
    HostRun SyncPausedAt(const std::string& step, const std::function<void()>& meanwhile) const;
    // Runs sql on the sync state, as an older version, a damage or a test
    // that wants a full read would leave it.
    testing::AssertionResult ExecOnState(const std::string& sql) const;
    const std::string& store() const { return store_; }
    std::string Folder(int32_t section) const;
    std::string Path(const std::string& name) const { return host_.Path(name); }

    DeviceImage Device() const;
    void EditDevice(const std::function<void(DeviceImage&)>& edit) const;
    // Records of the section on the device (E-mail: both mail databases).
    size_t DeviceCount(int32_t section) const;
    // The id of the first record of dbId whose text field starts with text, 0 if none.
    uint32_t FindRecord(uint32_t dbId, const std::string& field, const std::string& text) const;
    // That record given values, or deleted.
    void ChangeRecord(uint32_t dbId, const std::string& field, const std::string& text,
                      const tethra_sim::FieldValues& values) const;
    void DeleteRecord(uint32_t dbId, const std::string& field, const std::string& text) const;
    std::string TextOf(uint32_t dbId, uint32_t id, const std::string& field) const;

    // The item files of the section's collection (paths), those of other
    // sections sharing it left out.
    std::vector<std::string> Files(int32_t section, const std::string& folder = "") const;
    // The item file of the section holding text, "" if none.
    std::string FindFile(int32_t section, const std::string& text) const;
    // A new PC item: a copy of from with every old text replaced and a UID
    // of its own.  Returns its path.
    std::string CopyItem(int32_t section, const std::string& from, const std::string& oldText,
                         const std::string& newText, const std::string& uid) const;
    // Replaces text in a file, keeping the rest.
    void EditFile(const std::string& path, const std::string& oldText, const std::string& newText) const;

    std::vector<morvane_engine::StateRow> Rows(int32_t section) const;
    // The state rows of the section as one text, to compare.
    std::string StateText(int32_t section) const;
    // The same number of items on both sides and in the state, every state
    // row naming a file and a device record that exist.
    testing::AssertionResult InAgreement(int32_t section, const std::string& folder = "") const;

private:
    host_test::HostWorld host_;
    std::string image_, store_;
};

// A world after its first sync, for the scenarios that start there.
class Synced : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(world.Sync().exitCode, 0); }
    SyncWorld world;
};

// Every file under folder (relative path -> bytes), the state folder left out.
std::vector<std::pair<std::string, std::string>> Tree(const std::string& folder);

// A --verbose sync ended in agreement, its output holding every one of
// texts and naming no conflict.
testing::AssertionResult SyncsWithoutConflict(const SyncWorld& world, const std::vector<std::string>& texts = {});
// A sync that reads every record again, as after an interrupted one,
// writes no file: nothing the PC wrote is read back as a change.
testing::AssertionResult ReadingEverythingAgainWritesNothing(const SyncWorld& world);

}  // namespace sync_test

#endif
