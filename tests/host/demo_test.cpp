// The README's main job: morvane-sync demo runs to its end in a world of
// its own, and the command line refuses what it does not know.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "host/host_process.h"

namespace host_test {
namespace {

// The demo exports in full, shows the device's edits in an incremental
// export, and imports the PC's records: after its first, full export they
// are queued and reach the device in one bulk write as each database
// closes.  --keep leaves its folder to look at.
TEST(HostDemo, RunsToItsEndShowingEveryStep) {
    HostWorld world;
    const HostRun run = RunHost({"demo", "--keep"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("morvane-sync:"), std::string::npos) << "failing exports are reported so";
    const size_t second = run.output.find("7. Incremental export");
    ASSERT_NE(second, std::string::npos) << run.output;
    const std::string first = run.output.substr(0, second), incremental = run.output.substr(second);
    EXPECT_TRUE(HasAll(first, {"Schedule (section 2): 3 record(s), full synchronisation",
                               "Memo (section 4): 2 record(s), full synchronisation", "Room 4.12"}));
    EXPECT_TRUE(HasAll(run.output, {"appointment 'Dentist' added, the device gave it id", "marked done (id 1) changed",
                                    "memo 'Gate code' (id 1) deleted"}));
    // The handheld's user moved the review, added a task and deleted a memo.
    EXPECT_TRUE(HasAll(incremental, {"Schedule (section 2): 1 record(s)\n", "Room 2.01", "Book flights",
                                     "Address book: no changes", "deleted"}));
#ifdef MORVANE_HOST_HAS_SYNC
    // The two-way sync into PIM files carries an edit on each side across.
    EXPECT_TRUE(HasAll(incremental, {"files written:", "contacts/", "calendar/", "mail/Inbox/cur/",
                                     "TITLE:Head of Purchasing", "is at Studio Nord", "11. Done."}));
#else
    EXPECT_TRUE(HasAll(incremental, {"needs the sync engine, which this build does not have", "11. Done."}));
#endif
    EXPECT_EQ(incremental.find("Anna's birthday"), std::string::npos) << incremental;

    const size_t start = run.output.find("\n   /");
    ASSERT_NE(start, std::string::npos) << run.output;
    const std::string folder = run.output.substr(start + 4, run.output.find_first_of(",\n", start + 4) - start - 4);
    const tethra_sim::DeviceImage image = world.LoadImage(folder + "/device.json");
    std::filesystem::remove_all(folder);
    std::multiset<std::string> texts;
    tethra_sim::LinkValue value;
    for (const auto& [db, field] : {std::pair<uint32_t, const char*>{1, "S_DESCRIPTION4"}, {7, "S_LAST_NAME"}})
        for (const tethra_sim::Record& record : image.Find(db)->records)
            if (image.GetValue(db, record.id, field, &value))
                texts.insert(std::string(value.bytes.begin(), value.bytes.end()));
    EXPECT_EQ(texts.count("Dentist"), 1u);
    EXPECT_EQ(texts.count("Vogt"), 1u);
    EXPECT_EQ(image.Find(8)->Find(1), nullptr) << "the memo 'Gate code' is deleted";
    EXPECT_EQ(ValueOf(image, 6, 1, "S_COMPLETED"), tethra_sim::NumberValue(1));  // a type 1 link field: four bytes
}

TEST(HostCommandLine, RefusesWhatItDoesNotKnowAndHelpDescribesTheCommands) {
    HostWorld world;
    static const std::vector<std::vector<std::string>> kBad = {
        {}, {"synchronise"}, {"export", "--section", "6"}, {"export", "--section", "two"},
        {"import"}, {"export", "--out"}, {"demo", "--device", "x.json"},
    };
    for (size_t i = 0; i < kBad.size(); ++i) EXPECT_TRUE(Ran(RunHost(kBad[i]), 2, {"usage:"})) << "case " << i;
    EXPECT_TRUE(Ran(RunHost({"--help"}), 0, {"NAME", "COMMANDS", "demo", "export", "import", "--device", "EXIT STATUS"}));
    testing_support::SetEnv("MORVANE_LIBRARY", world.Path("no-such-adapter.so"));
    EXPECT_TRUE(Ran(RunHost({"export", "--out", world.Path("out")}), 1, {"cannot load the adapter"}));
    testing_support::UnsetEnv("MORVANE_LIBRARY");
}

}  // namespace
}  // namespace host_test
