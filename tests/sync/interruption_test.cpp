// A sync with changes both ways, killed at each of its steps: the next
// sync converges to what an uninterrupted run gives, file for file and
// record for record.
#include <gtest/gtest.h>

#include <stdio.h>

#include <regex>
#include <sstream>

#include "engine/abort_hook.h"
#include "records/field_map.h"
#include "support/sandbox.h"
#include "sync/sync_world.h"

namespace sync_test {
namespace {

using morvane_host::kAddressSection;
using morvane_host::kMailSection;
using morvane_host::kMemoSection;
using morvane_host::kScheduleSection;
using tethra_sim::TextValue;

// The first sync, then an edit, an addition and a deletion on each side
// in the Address book and E-mail, and a change on each side of Schedule.
void Prepare(const SyncWorld& world) {
    ASSERT_EQ(world.Sync().exitCode, 0);
    world.EditDevice([&](tethra_sim::DeviceImage& image) {
        image.ChangeRecord(7, world.FindRecord(7, "S_LAST_NAME", "Okafor"), {{"S_FIRST_NAME", TextValue("Dave")}});
        image.AddRecord(7, {{"S_FIRST_NAME", TextValue("Ola")}, {"S_LAST_NAME", TextValue("Adeyemi")}});
        image.DeleteRecord(16, world.FindRecord(16, "S_SUBJECT", "Saturday"));
        image.ChangeRecord(1, world.FindRecord(1, "S_DESCRIPTION4", "Yoga"), {{"S_LOCATION", TextValue("Park")}});
    });
    const std::string anna = world.FindFile(kAddressSection, "Berger");
    world.CopyItem(kAddressSection, anna, "Berger", "Vogt", "lena-vogt");
    world.EditFile(anna, "Lindenweg 7", "Lindenweg 9");
    ASSERT_EQ(remove(world.FindFile(kMailSection, "Minutes").c_str()), 0);
    world.EditFile(world.FindFile(kScheduleSection, "Project review"), "Project review", "Project kick-off");
}

// The device's records, without the pairing's time and ids.
std::string Records(const tethra_sim::DeviceImage& image) {
    std::string text;
    for (const tethra_sim::Database& db : image.databases) {
        text += "db " + std::to_string(db.id) + "\n";
        for (const tethra_sim::Record& record : db.records) {
            text += std::to_string(record.id) + ":";
            for (const tethra_sim::LinkValue& value : record.values)
                text += std::string(value.bytes.begin(), value.bytes.end()) + "|";
            text += "\n";
        }
    }
    return text;
}

// Whether a sync's closing table shows nothing added, changed or deleted on
// the handheld in any database.
bool HandheldUntouched(const std::string& output) {
    std::istringstream lines(output);
    size_t rows = 0;
    for (std::string line; std::getline(lines, line);) {
        // The second group of counts: "database | on the PC | on the handheld | ...".
        const size_t first = line.find('|'), second = line.find('|', first + 1), third = line.find('|', second + 1);
        if (first == std::string::npos || second == std::string::npos || third == std::string::npos) continue;
        std::istringstream counts(line.substr(second + 1, third - second - 1));
        int added = -1, changed = -1, deleted = -1;
        if (!(counts >> added >> changed >> deleted)) continue;  // a heading
        if (added != 0 || changed != 0 || deleted != 0) return false;
        ++rows;
    }
    return rows != 0;
}

// An item's bytes without the revision times, which differ between runs.
std::string WithoutRevisionTimes(const std::string& text) {
    static const std::regex kStamp("\n(DTSTAMP|LAST-MODIFIED):[0-9TZ]+");
    return std::regex_replace(text, kStamp, "\n$1:");
}

class Interrupted : public testing::TestWithParam<const char*> {};

TEST_P(Interrupted, NextSyncConvergesToTheUninterruptedResult) {
    SyncWorld reference;
    Prepare(reference);
    ASSERT_EQ(reference.Sync().exitCode, 0);

    SyncWorld world;
    Prepare(world);
    const HostRun killed = world.SyncKilledAt(GetParam());
    ASSERT_EQ(killed.exitCode, 9) << killed.output;
    const HostRun again = world.Sync();
    ASSERT_EQ(again.exitCode, 0) << again.output;
    // A closed session kept every write: none is sent again.
    if (std::string(GetParam()) == "finished") {
        EXPECT_TRUE(HandheldUntouched(again.output)) << again.output;
    }

    for (int32_t section = 1; section <= 5; ++section) EXPECT_TRUE(world.InAgreement(section)) << section;
    EXPECT_EQ(Records(world.Device()), Records(reference.Device()));
    const auto files = Tree(world.store()), expected = Tree(reference.store());
    ASSERT_EQ(files.size(), expected.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].first, expected[i].first);
        EXPECT_EQ(WithoutRevisionTimes(files[i].second), WithoutRevisionTimes(expected[i].second)) << files[i].first;
    }
}

INSTANTIATE_TEST_SUITE_P(AtEachStep, Interrupted,
                         testing::ValuesIn(morvane_engine::kAbortSteps,
                                           morvane_engine::kAbortSteps + morvane_engine::kAbortStepCount),
                         RowName());

// A first sync of more records than one commit takes, killed while the
// first batch may still be going to disk beside the writing of the
// second: the next sync makes every record one item, none twice.
TEST(InterruptedBetweenBatches, NextSyncMakesEachRecordOneItem) {
    SyncWorld world;
    world.EditDevice([](tethra_sim::DeviceImage& image) {
        for (int i = 0; i < 2100; ++i) image.AddRecord(8, {{"S_PAGE_TITLE", TextValue("Note " + std::to_string(i))}});
    });
    ASSERT_EQ(world.SyncKilledAt("pc-write:1500").exitCode, 9);
    ASSERT_EQ(world.Sync().exitCode, 0);
    EXPECT_TRUE(world.InAgreement(kMemoSection));
    EXPECT_EQ(world.DeviceCount(kMemoSection), 2100u + tethra_sim::DemoImage().Find(8)->records.size());
}

}  // namespace
}  // namespace sync_test
