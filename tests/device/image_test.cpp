// The simulator's own API: device-side edits and the image file (the demo
// image's records are the host export tests' to check).
#include "device/simulator.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

using namespace tethra_sim;

namespace {

std::vector<uint32_t> List(const DeviceImage& image, uint32_t dbId, int k) { return image.Find(dbId)->changes[k]; }

}  // namespace

// Edits of records the PC knows are the device link tests' change lists.
TEST(DeviceEdits, RecordsThePcNeverSawLeaveOnlyTheAddedList) {
    DeviceImage image = DemoImage();
    const uint32_t added = image.AddRecord(8, {{"S_PAGE_NOTE", TextValue("Draft")}});
    ASSERT_TRUE(image.ChangeRecord(8, added, {{"S_PAGE_NOTE", TextValue("Draft 2")}}));
    EXPECT_EQ(List(image, 8, 0), std::vector<uint32_t>{added});
    EXPECT_TRUE(List(image, 8, 1).empty());
    ASSERT_TRUE(image.DeleteRecord(8, added));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(List(image, 8, k).empty()) << k;
}

TEST(DeviceEdits, UnknownDatabaseRecordOrFieldIsRefusedWithoutChange) {
    DeviceImage image = DemoImage();
    const uint32_t id = image.Find(7)->records.front().id;
    EXPECT_EQ(image.AddRecord(9, {}), 0u);
    EXPECT_EQ(image.AddRecord(7, {{"S_NO_SUCH_FIELD", TextValue("x")}}), 0u);
    EXPECT_FALSE(image.ChangeRecord(7, id, {{"S_LAST_NAME", TextValue("New")}, {"S_BOGUS", TextValue("x")}}));
    EXPECT_FALSE(image.DeleteRecord(7, 999));
    LinkValue v;
    image.GetValue(7, id, "S_LAST_NAME", &v);
    EXPECT_EQ(v, TextValue("Berger"));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(List(image, 7, k).empty());
}

TEST(ImageFile, RoundTripKeepsEveryByte) {
    testing_support::Sandbox sandbox;
    DeviceImage image = DemoImage();
    image.systemInfoValue = 31;
    image.language = "ja";
    image.attached = false;
    const uint8_t pc[8] = {1, 2, 3, 4, 5, 6, 7, 0xFE};
    image.SetPairing(pc, "20261206013000");
    image.AddRecord(7, {{"S_LAST_NAME", TextValue("M\xFCller")}, {"S_NOTE1", AbsentValue()}});
    image.AddRecord(1, {{"S_REPEAT_FLAG", NumberValue(1)},        // four bytes in a byte field
                        {"S_START_TIME", TimeValue(17, 45, 0)},
                        {"S_END_DATE", DateTimeValue(2003, 12, 31, 12, 0, 0)}});  // not a whole day
    image.FailCall("S_DVXGetRecordData", 3, kErrNoSyncState, true);
    const std::string path = sandbox.root() + "/device.json";
    std::string error;
    ASSERT_TRUE(image.Save(path, &error)) << error;
    EXPECT_FALSE(testing_support::FileExists(path + ".tmp"));
    DeviceImage loaded;
    ASSERT_TRUE(loaded.Load(path, &error)) << error;
    EXPECT_EQ(loaded.ToJson(), image.ToJson());
    EXPECT_EQ(loaded.systemInfoValue, 31u);
    EXPECT_EQ(loaded.language, "ja");
    EXPECT_FALSE(loaded.attached);
    EXPECT_EQ(loaded.pcId[7], 0xFE);
    ASSERT_EQ(loaded.faults.size(), 1u);
    EXPECT_EQ(loaded.faults[0].error, kErrNoSyncState);
    for (const Database& db : image.databases) {
        const Database* other = loaded.Find(db.id);
        ASSERT_NE(other, nullptr);
        ASSERT_EQ(other->records.size(), db.records.size());
        for (size_t i = 0; i < db.records.size(); ++i)
            EXPECT_TRUE(other->records[i].values == db.records[i].values) << db.id << "/" << i;
    }
}

// Each save writes over the file of the image before the last one, which
// is larger here: what it held past the new text must be gone.
TEST(ImageFile, EachSaveKeepsTheImageItReplaces) {
    testing_support::Sandbox sandbox;
    const std::string path = sandbox.root() + "/device.json";
    DeviceImage large = DemoImage();
    for (int i = 0; i < 50; ++i) large.AddRecord(7, {{"S_LAST_NAME", TextValue("Filler " + std::to_string(i))}});
    DeviceImage middle = DemoImage(), small;
    std::string error;
    for (const DeviceImage* image : {&large, &middle, &small}) ASSERT_TRUE(image->Save(path, &error)) << error;
    DeviceImage loaded, previous;
    ASSERT_TRUE(loaded.Load(path, &error)) << error;
    ASSERT_TRUE(previous.Load(path + ".previous", &error)) << error;
    EXPECT_EQ(loaded.ToJson(), small.ToJson());
    EXPECT_EQ(previous.ToJson(), middle.ToJson());
    EXPECT_FALSE(testing_support::FileExists(path + ".swap"));
}

TEST(ImageFile, ValuesAreReadableText) {
    const std::string json = DemoImage().ToJson();
    for (const char* text : {"\"S_START_DATE\": \"2026-12-08\"", "\"S_START_TIME\": \"09:30:00\"",
                             "\"S_START_DATETIME\": \"2026-11-02T08:45:00\"", "\"S_PAGE_NOTE\": \"Gate code\\n4711#\"",
                             "\"S_FOLDERID\": 2", "\"S_CITY_H\": \"M\xC3\xBCnchen\""})
        EXPECT_NE(json.find(text), std::string::npos) << text;
}

TEST(ImageFile, HandWrittenImageFillsDefaults) {
    DeviceImage image;
    std::string error;
    // The database's id after its records, which are then read once its id is known.
    ASSERT_TRUE(image.FromJson(R"({"settings": {"systemInfo": 31},
        "databases": [{"records": [{"id": 4, "values": {"S_PAGE_NOTE": "a\nb",
            "S_START_DATETIME": "2003-04-15T09:30:00", "S_CONFIDENTIAL1": {"hex": "01"}, "S_PAGE_TITLE": null}}],
            "id": 8}],
        "faults": [{"operation": "S_DVXPutRecordData", "error": "0x1000000B"}]})",
                               &error))
        << error;
    ASSERT_EQ(image.databases.size(), 1u);
    EXPECT_EQ(image.Find(8)->nextId, 5u);
    LinkValue v;
    ASSERT_TRUE(image.GetValue(8, 4, "S_START_DATETIME", &v));
    EXPECT_DOUBLE_EQ(OleDateOf(v), 37726.0 + 9.5 / 24);
    image.GetValue(8, 4, "S_CONFIDENTIAL1", &v);
    EXPECT_EQ(v.bytes, std::vector<uint8_t>{1});
    image.GetValue(8, 4, "S_PAGE_TITLE", &v);
    EXPECT_TRUE(v.absent);
    ASSERT_EQ(image.faults.size(), 1u);
    EXPECT_EQ(image.faults[0].call, 1u);
    EXPECT_EQ(image.faults[0].error, kErrRecordNotFound);
}

TEST(ImageFile, BrokenImagesAreRefusedAndLeaveTheImageAlone) {
    static const char* const kBroken[] = {
        "{",                                                                          // 0
        R"({"databases": [{"id": 8, "records": [{"id": 1, "values": {"S_NOPE": 1}}]}]})",
        R"({"databases": [{"id": 1, "records": [{"id": 1, "values": {"S_START_DATE": "2003-02-30"}}]}]})",
        R"({"databases": [{"id": 1, "records": [{"id": 1, "values": {"S_LOCATION": 5}}]}]})",
        R"({"databases": [{"id": 42}]})",
        R"({"databases": [{"id": 6, "records": [{"id": 2}, {"id": 1}, {"id": 2}]}]})",  // 5
        R"({"pairing": {"pcId": "0102"}})",
        R"({"databases": [{"id": 1.5e81}]})",
    };
    for (const char* text : kBroken) {
        DeviceImage image = DemoImage();
        std::string error;
        EXPECT_FALSE(image.FromJson(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(image.databases.size(), 6u);
    }
}
