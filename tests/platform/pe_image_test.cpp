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

struct KnownString {
    UINT id;
    const char* text;
};
static const KnownString kKnown[] = {
    {1, "First block, first string"},  // 0
    {16, "Second block"},
    {57344, "Quenda Sync"},
    {65535, "Last id"},
};

uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}
uint16_t Get16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// Where text lies in the image as UTF-16 code units.
size_t FindUtf16(const std::string& image, const std::string& text) {
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return image.find(wide);
}

// Loads the file at path; when that works, checks every known string is
// intact and frees the module.  Returns whether it loaded.
bool LoadsIntact(const std::string& path, const std::string& what) {
    SetLastError(0);
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_FORMAT), GetLastError()) << what;
        return false;
    }
    for (const KnownString& known : kKnown) {
        char buffer[64];
        const int length = static_cast<int>(std::strlen(known.text));
        EXPECT_EQ(length, LoadStringA(module, known.id, buffer, sizeof buffer)) << what << " id " << known.id;
        EXPECT_STREQ(known.text, buffer) << what << " id " << known.id;
    }
    EXPECT_EQ(TRUE, FreeLibrary(module));
    return true;
}

TEST(PeImage, EveryTruncationInsideTheStringsFails) {
    Sandbox sandbox;
    const std::string image = testing_support::ReadFile(kGantryPath);
    ASSERT_GT(image.size(), 0x400u);
    const size_t lastText = FindUtf16(image, "Last id");
    ASSERT_NE(std::string::npos, lastText);
    const std::string path = sandbox.root() + "/cut.dll";
    for (size_t cut = 0; cut < image.size(); ++cut) {
        testing_support::WriteFile(path, image.substr(0, cut));
        const bool loaded = LoadsIntact(path, "cut at " + std::to_string(cut));
        // Up to the last string's final code unit everything is needed.
        if (cut < lastText + 14) {
            EXPECT_FALSE(loaded) << "cut at " << cut;
        }
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

TEST(PeImage, Pe32PlusServesTheSameStrings) {
    Sandbox sandbox;
    const std::string image = testing_support::ReadFile(kGantryPath);
    const std::string plus = ToPe32Plus(image);
    ASSERT_EQ(image.size(), plus.size());
    ASSERT_EQ(0x20B, Get16(plus, Get32(plus, 0x3C) + 24));
    const std::string path = sandbox.root() + "/plus.dll";
    testing_support::WriteFile(path, plus);
    EXPECT_TRUE(LoadsIntact(path, "PE32+"));
    // The same bytes marked PE32 are read with the PE32 layout, where the
    // directory count falls on the zero high half of a widened field: an
    // image without resources.
    std::string mislabelled = plus;
    mislabelled[Get32(plus, 0x3C) + 24] = 0x0B;
    mislabelled[Get32(plus, 0x3C) + 25] = 0x01;
    testing_support::WriteFile(path, mislabelled);
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module);
    char buffer[32];
    EXPECT_EQ(0, LoadStringA(module, 57344, buffer, sizeof buffer));
    FreeLibrary(module);
}

TEST(PeImage, ImageWithoutStringsLoadsWithNone) {
    Sandbox sandbox;
    std::string image = testing_support::ReadFile(kGantryPath);
    // Resource type 6 renamed to 7: the tree stays sound, with no strings.
    const size_t root = image.find(std::string("\x06\x00\x00\x00\x18\x00\x00\x80", 8));
    ASSERT_NE(std::string::npos, root);
    image[root] = 7;
    const std::string path = sandbox.root() + "/nostrings.dll";
    testing_support::WriteFile(path, image);
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module);
    char buffer[32];
    SetLastError(0);
    EXPECT_EQ(0, LoadStringA(module, 57344, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    FreeLibrary(module);
}

}  // namespace
