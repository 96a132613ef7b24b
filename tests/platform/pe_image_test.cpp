// Damaged and alternative forms of the test "Gantry1.dll": every truncation
// either loads with intact strings or fails with ERROR_BAD_FORMAT, and a
// PE32+ image serves the same strings.  (Arbitrary changed bytes are the
// string table fuzz target's.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const std::string kGantryPath = std::string(MORVANE_TEST_DATA) + "/Gantry1.dll";

const std::pair<UINT, std::string> kKnown[] = {
    {1, "First block, first string"}, {16, "Second block"}, {57344, "Quenda Sync"}, {65535, "Last id"}};

uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}
uint16_t Get16(const std::string& bytes, size_t at) { return static_cast<uint16_t>(Get32(bytes + "  ", at)); }

// Loads the image from a file: -1 when it does not load (which must be for
// ERROR_BAD_FORMAT), else how many known strings it serves, each intact
// (one served wrongly fails the test).
int StringsServed(const testing_support::Sandbox& sandbox, const std::string& image, const std::string& what) {
    const std::string path = sandbox.root() + "/image.dll";
    testing_support::WriteFile(path, image);
    SetLastError(0);
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_FORMAT), GetLastError()) << what;
        return -1;
    }
    int served = 0;
    for (const auto& [id, text] : kKnown) {
        char buffer[64];
        SetLastError(0);
        const int length = LoadStringA(module, id, buffer, sizeof buffer);
        if (length == 0) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError()) << what;
        }
        EXPECT_TRUE(length == 0 || text == buffer) << what << " id " << id;
        served += length != 0;
    }
    EXPECT_EQ(TRUE, FreeLibrary(module));
    return served;
}

TEST(PeImage, EveryTruncationInsideTheStringsFails) {
    Sandbox sandbox;
    const std::string image = testing_support::ReadFile(kGantryPath);
    ASSERT_GT(image.size(), 0x400u);
    const size_t lastText = image.find(std::string("L\0a\0s\0t\0 \0i\0d\0", 14));
    ASSERT_NE(std::string::npos, lastText);
    for (size_t cut = 0; cut < image.size(); ++cut) {
        const int served = StringsServed(sandbox, image.substr(0, cut), "cut at " + std::to_string(cut));
        // Up to the last string's final code unit everything is needed.
        EXPECT_TRUE(served == -1 || (cut >= lastText + 14 && served == 4)) << "cut at " << cut;
    }
}

// Rewrites the PE32 image as PE32+: the optional header's image base and
// its four stack and heap sizes widen to 8 bytes each, moving the data
// directories and the section table 16 bytes on.
std::string ToPe32Plus(const std::string& image) {
    const size_t optional = Get32(image, 0x3C) + 24;
    const uint16_t optionalSize = Get16(image, optional - 4);
    const uint16_t sections = Get16(image, optional - 18);
    const size_t tableEnd = optional + optionalSize + sections * 40u;
    std::string out = image.substr(0, optional);
    std::string header = image.substr(optional, optionalSize);
    std::string wide;
    wide += header.substr(0, 24);                               // magic .. base of code
    wide += header.substr(28, 4) + std::string(4, '\0');        // image base
    wide += header.substr(32, 40);                              // alignments .. dll characteristics
    for (size_t field = 72; field < 88; field += 4) wide += header.substr(field, 4) + std::string(4, '\0');
    wide += header.substr(88);                                  // loader flags, count, directories
    wide[0] = 0x0B;
    wide[1] = 0x02;
    out += wide;
    out += image.substr(optional + optionalSize, tableEnd - optional - optionalSize);
    out += image.substr(tableEnd + 16);  // the headers' padding absorbs the growth
    out[optional - 4] = static_cast<char>((optionalSize + 16) & 0xFF);
    out[optional - 3] = static_cast<char>((optionalSize + 16) >> 8);
    return out;
}

// A PE32+ image serves the same strings.  The same bytes marked PE32 are
// read with the PE32 layout, where the directory count falls on the zero
// high half of a widened field: an image without resources; so is one
// whose string resource type (6) is renamed (7): it loads with no strings.
TEST(PeImage, Pe32PlusAndImagesWithoutStrings) {
    Sandbox sandbox;
    const std::string image = testing_support::ReadFile(kGantryPath);
    const std::string plus = ToPe32Plus(image);
    ASSERT_EQ(image.size(), plus.size());
    const size_t magic = Get32(plus, 0x3C) + 24;
    ASSERT_EQ(0x20B, Get16(plus, magic));
    EXPECT_EQ(4, StringsServed(sandbox, plus, "PE32+"));
    std::string mislabelled = plus, renamed = image;
    mislabelled[magic + 1] = 0x01;
    EXPECT_EQ(0, StringsServed(sandbox, mislabelled, "PE32+ marked PE32"));
    const size_t root = image.find(std::string("\x06\x00\x00\x00\x18\x00\x00\x80", 8));
    ASSERT_NE(std::string::npos, root);
    renamed[root] = 7;
    EXPECT_EQ(0, StringsServed(sandbox, renamed, "no string resource"));
}

}  // namespace
