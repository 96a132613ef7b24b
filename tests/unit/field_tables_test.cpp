// The built-in device tables and link name maps: their shape (the names,
// link names and types themselves are checked end to end, by the records a
// host writes reaching the simulated device's link fields and coming back),
// the cross-wirings a reader of the maps is most likely to get wrong, and
// the databases without tables.
#include "schema/field_table.h"
#include "schema/working_record.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

struct Shape {
    uint32_t dbId, fieldCount, namedCount, linkCount;
};
const Shape kShapes[] = {
    {1, 23, ScheduleField::Count, 23},
    {6, 9, ToDoField::Count, 9},
    {7, 44, AddressField::Count, 54},
    {8, 5, MemoField::Count, 6},
    {16, 26, MailField::Count, 30},
};

TEST(FieldTables, EveryTableAndMapHasItsShape) {
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(testing::Message() << "db " << shape.dbId);
        DatabaseSchema schema;
        ASSERT_TRUE(SelectDatabaseSchema(shape.dbId, &schema));
        const FieldTable* table = SelectFieldTable(shape.dbId);
        ASSERT_EQ(schema.table, table);
        EXPECT_EQ(table->size, sizeof(FieldTable));
        EXPECT_EQ(table->reserved, 0u);
        EXPECT_EQ(table->tag, 10u);
        ASSERT_EQ(table->fieldCount, shape.fieldCount);
        EXPECT_EQ(shape.namedCount, shape.fieldCount);
        for (uint32_t i = 0; i < table->fieldCount; ++i) {
            const FieldDescriptor& d = table->descriptors[i];
            EXPECT_EQ(d.size, 108u) << i;
            EXPECT_EQ(d.fieldId, i);
            EXPECT_NE(d.name[0], '\0') << i;
            for (size_t k = strlen(d.name); k < sizeof(d.name); ++k) EXPECT_EQ(d.name[k], '\0') << i;
            for (size_t k = strlen(d.displayName); k < sizeof(d.displayName); ++k) EXPECT_EQ(d.displayName[k], '\0');
        }
        ASSERT_EQ(schema.linkNameCount, shape.linkCount);
        for (uint32_t k = 0; k < schema.linkNameCount; ++k) {
            const LinkFieldName& entry = schema.linkNames[k];
            // An entry fills its own field, another one, or none (link only).
            EXPECT_TRUE(entry.fieldId < table->fieldCount || entry.fieldId == 0xFFFFFFFFu) << k;
            if (entry.fieldId == 0xFFFFFFFFu) {
                EXPECT_NE(entry.name[0], '\0') << k;
            }
            for (size_t b = strlen(entry.name); b < sizeof(entry.name); ++b) EXPECT_EQ(entry.name[b], '\0') << k;
        }
    }
}

uint32_t LinkTarget(uint32_t dbId, const char* linkName) {
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema)) return 0xEEEEEEEEu;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k)
        if (strcmp(schema.linkNames[k].name, linkName) == 0) return schema.linkNames[k].fieldId;
    return 0xEEEEEEEEu;
}

TEST(FieldTables, CrossWiredLinkFields) {
    struct {
        uint32_t dbId;
        const char* link;
        const char* field;
    } cases[] = {
        {6, "S_END_DATE", "DueDate"},       {6, "S_COMPLETION_DATE", "EndDate"}, {6, "S_START_DATE", "StartDate"},
        {16, "S_RECEIVED_DATE", "SendDate"}, {16, "S_SEND_DATE", "SendDate"},    {1, "S_DESCRIPTION4", "Description"},
        {7, "S_HOME_PHONE_MOBILE", "HomeMb"}, {7, "S_NOTE1", "NoteMemo"},        {8, "S_START_DATETIME", "TimeStamp"},
    };
    for (const auto& c : cases) {
        const uint32_t id = LinkTarget(c.dbId, c.link);
        ASSERT_LT(id, SelectFieldTable(c.dbId)->fieldCount) << c.link;
        EXPECT_STREQ(SelectFieldTable(c.dbId)->descriptors[id].name, c.field) << c.link;
    }
    EXPECT_EQ(LinkTarget(7, "S_NAME"), 0xFFFFFFFFu);
    EXPECT_EQ(LinkTarget(16, "S_MAILID"), 0xFFFFFFFFu);
}

TEST(FieldTables, UnknownDatabasesHaveNoTables) {
    for (uint32_t dbId : {0u, 2u, 5u, 15u, 17u, 0xFFFFFFFFu}) {
        DatabaseSchema schema{SelectFieldTable(1), nullptr, 99};
        EXPECT_FALSE(SelectDatabaseSchema(dbId, &schema)) << dbId;
        EXPECT_EQ(schema.table, nullptr);
        EXPECT_EQ(schema.linkNames, nullptr);
        EXPECT_EQ(schema.linkNameCount, 0u);
        EXPECT_EQ(SelectFieldTable(dbId), nullptr) << dbId;
    }
}

}  // namespace
