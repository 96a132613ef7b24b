// The file names a vdir gives new items: never one a file or folder in it
// already has, nor one an earlier item of the same run took, with or
// without the folder listed first; a removed item's name is free again.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/collection.h"

namespace {

using morvane_engine::Collection;
using morvane_engine::CollectionEntry;

TEST(VdirNames, ANewItemNeverTakesANameInUse) {
    char pattern[] = "/tmp/morvane-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    std::ofstream(root + "/anna.vcf") << "BEGIN:VCARD\r\nEND:VCARD\r\n";
    std::filesystem::create_directory(root + "/bert.vcf");
    std::ofstream(root + "/carl.ics") << "";  // another kind's name is no item's
    for (const bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "listed" : "not listed");
        std::unique_ptr<Collection> vdir = morvane_engine::OpenVdir(root, ".vcf");
        std::vector<CollectionEntry> entries;
        std::string error;
        if (listed) {
            ASSERT_TRUE(vdir->List(&entries, &error)) << error;
        }
        EXPECT_EQ(vdir->NewHref("anna"), "anna-2.vcf");
        EXPECT_EQ(vdir->NewHref("anna"), "anna-3.vcf");
        EXPECT_EQ(vdir->NewHref("bert"), "bert-2.vcf");
        EXPECT_EQ(vdir->NewHref("carl"), "carl.vcf");
        CollectionEntry written;
        morvane_pim::Item item;
        item.text = "BEGIN:VCARD\r\nEND:VCARD\r\n";
        ASSERT_TRUE(vdir->Write("dora.vcf", item, &written, &error)) << error;
        EXPECT_EQ(vdir->NewHref("dora"), "dora-2.vcf");
        ASSERT_TRUE(vdir->TakeWrites().Commit(&error)) << error;
        ASSERT_TRUE(vdir->Remove("dora.vcf", &error)) << error;
        EXPECT_EQ(vdir->NewHref("dora"), "dora.vcf");
    }
    std::filesystem::remove_all(root);
}

}  // namespace
