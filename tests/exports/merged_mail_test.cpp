// The e-mail section against the device's two e-mail databases.  From
// system information 32 on, the device keeps the main folder's mail in
// database 16 and every other folder's in database 15; the host sees one
// database whose companion ids carry bit 31.  An older model has database
// 16 alone.
#include "exports/export_world.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace export_tests;
using tethra_sim::DeviceImage;
using tethra_sim::TextValue;

namespace {

TEST(MergedMail, ListsBothDeviceDatabasesAndFiltersByFolder) {
    SessionWorld world;
    DeviceImage& image = world.image();
    const uint32_t inbox = image.AddRecord(kMailDb, Mail("hello", 0));
    image.AddRecord(kCompanionDb, Mail("old", 2));
    const uint32_t gone = image.AddRecord(kCompanionDb, Mail("gone", 3));
    Settle(image, kMailDb);
    Settle(image, kCompanionDb);
    const uint32_t fresh = image.AddRecord(kMailDb, Mail("news", 1));
    const uint32_t sent = image.AddRecord(kCompanionDb, Mail("sent", 0));
    image.ChangeRecord(kMailDb, inbox, Mail("hello again", 0));
    image.DeleteRecord(kCompanionDb, gone);
    StartPaired(world);
    world.api().DIZ_API_BeginExport(kStamp);
    ASSERT_EQ(0, world.api().DIZ_API_OpenDatabase(kMailSection, "", ""));
    EXPECT_TRUE(HasLines(world.TakeTrace(), {RecLine(fresh, 2), RecLine(sent + kCompanionBit, 2), RecLine(inbox, 4),
                                             RecLine(gone + kCompanionBit, 8),
                                             "End of records.  Cache contains 4 entries."}));

    // The host's folder is 0 until it names one: no mail lies in it, so
    // every record is tested (fetched unless deleted) and passed over.
    CountCalls("S_DVXGetRecordData");
    uint32_t status = 9;
    EXPECT_EQ(-7, world.api().DIZ_API_GetFirstRecord(kMailSection, kStamp, &status));
    EXPECT_EQ(0u, status);
    EXPECT_EQ(3u, CallsSeen("S_DVXGetRecordData"));
    const Lines walk = world.TakeTrace();
    ASSERT_FALSE(walk.empty());
    EXPECT_EQ("The cache is exhausted [2].  Returning 'end of data' status.", walk.back());
    EXPECT_EQ(4, std::count(walk.begin(), walk.end(),
                            "IsOfValidFolderType: isFolderMatch[false] isValidType[false] returning[false]"));
    EXPECT_EQ(-7, world.api().DIZ_API_GetNextRecord(kMailSection, kStamp, &status));
    EXPECT_EQ("The cache is exhausted [1].  Returning 'end of data' status.", world.TakeTrace().back());
    // A companion record by its merged id.
    EXPECT_EQ(1, world.api().DIZ_API_GetIdDBRec(sent + kCompanionBit));
    EXPECT_EQ(4u, CallsSeen("S_DVXGetRecordData"));
    // Finishing the pass clears both databases' change lists.
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
    EXPECT_EQ(0u, PendingChanges(kMailDb));
    EXPECT_EQ(0u, PendingChanges(kCompanionDb));
}

TEST(MergedMail, TheHostsFolderTakesOnlyItsMails) {
    SessionWorld world;
    DeviceImage& image = world.image();
    Settle(image, kMailDb);
    Settle(image, kCompanionDb);
    image.AddRecord(kMailDb, Mail("inbox", 0));
    const uint32_t outbox = image.AddRecord(kMailDb, Mail("outbox", 1));
    const uint32_t archived = image.AddRecord(kCompanionDb, Mail("archived", 1));
    image.AddRecord(kCompanionDb, Mail("draft", 2));
    StartPaired(world);
    OpenExport(world, kMailSection);
    // The host takes its folder from a mail of folder 1 (host folder 2).
    ASSERT_EQ(1, world.api().DIZ_API_GetIdDBRec(outbox));
    ASSERT_EQ(0, world.api().DIZ_API_ReadFolderID());
    world.TakeTrace();

    const Walk walk = WalkAll(world, kMailSection);
    EXPECT_EQ(std::vector<uint32_t>({2, 2}), walk.statuses);
    EXPECT_EQ(-7, walk.end);
    const std::vector<std::pair<uint32_t, uint32_t>> read = {{outbox, 2}, {archived + kCompanionBit, 2}};
    EXPECT_EQ(read, RecordsRead(world.TakeTrace()));
}

// A database not yet taking part in synchronisation is read in full during
// the open, both device databases joined; enabling it enables both.
TEST(MergedMail, AFullReadJoinsBothDatabasesAndEnablesBoth) {
    for (const uint32_t model : {32u, 31u}) {
        SCOPED_TRACE(model);
        SessionWorld world;
        DeviceImage& image = world.image();
        image.systemInfoValue = model;
        const uint32_t main = image.AddRecord(kMailDb, Mail("main", 0));
        const uint32_t companion = image.AddRecord(kCompanionDb, Mail("companion", 2));
        StartPaired(world);
        OpenExport(world, kMailSection, 0);
        EXPECT_TRUE(LiveDb(kMailDb).syncEnabled);
        EXPECT_EQ(model == 32, LiveDb(kCompanionDb).syncEnabled);
        uint32_t count = 0;
        EXPECT_EQ(0, world.api().DIZ_API_GetRecordCount(kMailSection, 0, &count));
        EXPECT_EQ(model == 32 ? 2u : 1u, count);
        EXPECT_EQ(1, world.api().DIZ_API_GetIdDBRec(main));
        EXPECT_EQ("main", Field(world, "9"));
        EXPECT_EQ(model == 32 ? 1 : -4, world.api().DIZ_API_GetIdDBRec(companion + kCompanionBit));
        if (model == 32) {
            EXPECT_EQ("companion", Field(world, "9"));
        }
    }
}

// New mail goes to the database of its folder (the host's folder 1 is the
// device's main folder) and a companion mail keeps its id when changed; an
// older model keeps every mail in database 16.  Records written one by one
// and in the first synchronisation's bulk write alike; queued mail gets a
// companion-marked provisional id unless it is bound for database 16's
// folder, which an older model's link never looks for.
TEST(MergedMail, NewMailGoesToTheDatabaseOfItsFolder) {
    for (const uint32_t model : {32u, 31u}) {
        for (const bool bulk : {false, true}) {
            SCOPED_TRACE(testing::Message() << model << (bulk ? " bulk" : " one by one"));
            SessionWorld world;
            world.image().systemInfoValue = model;
            const uint32_t filed = world.image().AddRecord(kCompanionDb, Mail("filed", 2));
            (bulk ? StartFirstSync : StartImport)(world, kMailSection);
            for (const int32_t folder : {1, 2, 4}) {
                ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(folder));
                std::string id;
                ASSERT_EQ(0, AddNew(world, {{"9", "folder " + std::to_string(folder)}}, &id));
                const bool companionId = folder != 1 ? model == 32 || bulk : bulk && model == 31;
                EXPECT_EQ(companionId, std::stol(id) < 0) << id;
                // Provisional ids count up per device database.
                if (bulk && model == 32) {
                    EXPECT_EQ(id, folder == 1 ? "1" : folder == 2 ? "-2147483647" : "-2147483646");
                }
            }
            if (bulk) {
                EXPECT_EQ(1u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size()) << "all queued";
            }
            if (model == 32) {
                const std::string filedText = std::to_string(static_cast<int32_t>(filed + kCompanionBit));
                ASSERT_EQ(0, world.api().DIZ_API_FindRecord(filedText.c_str()));
                char idText[16] = "";
                EXPECT_EQ(0, world.api().DIZ_API_GetRecordID_Attachment(idText));
                EXPECT_EQ(filedText, idText);
                ASSERT_EQ(0, world.api().DIZ_API_PutField("9", "refiled"));
                ASSERT_EQ(0, world.api().DIZ_API_FlushRecord());
                EXPECT_EQ(Stored(kCompanionDb, filed, "S_SUBJECT"), TextValue("refiled"));
            }
            ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
            const tethra_sim::Database& main = LiveDb(kMailDb);
            ASSERT_EQ(model == 32 ? 1u : 3u, main.records.size());
            EXPECT_EQ(Stored(kMailDb, main.records[0].id, "S_SUBJECT"), TextValue("folder 1"));
            const tethra_sim::Database& companion = LiveDb(kCompanionDb);
            ASSERT_EQ(model == 32 ? 3u : 1u, companion.records.size());
            EXPECT_EQ(companion.records[0].id, filed);
            if (model == 32) {
                EXPECT_EQ(Stored(kCompanionDb, companion.records[2].id, "S_SUBJECT"), TextValue("folder 4"));
                EXPECT_EQ(Stored(kCompanionDb, companion.records[2].id, "S_FOLDERID"), tethra_sim::NumberValue(3));
            } else {
                EXPECT_EQ(Stored(kMailDb, main.records[2].id, "S_SUBJECT"), TextValue("folder 4"));
            }
        }
    }
}

}  // namespace
