// LoadLibraryA, LoadStringA, GetProcAddress and FreeLibrary: the string
// table of the test "Gantry1.dll" and shared objects loaded by path.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const std::string kGantryPath = std::string(MORVANE_TEST_DATA) + "/Gantry1.dll";

// One LoadStringA call into a buffer prefilled with '#': the result, the
// last error (0: not checked), the text, and no byte written past its
// terminator (text null: none at all).
void ExpectString(HMODULE module, UINT id, int bufferMax, int result, const char* text, DWORD error = 0) {
    SCOPED_TRACE(testing::Message() << "id " << id << " buffer " << bufferMax);
    char buffer[700];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(result, LoadStringA(module, id, buffer, bufferMax));
    if (error != 0) {
        EXPECT_EQ(error, GetLastError());
    }
    const size_t length = text == nullptr ? 0 : std::strlen(text) + 1;
    EXPECT_EQ(text == nullptr ? "" : std::string(text, length), std::string(buffer, length));
    EXPECT_EQ(std::string(sizeof buffer - length, '#'), std::string(buffer + length, sizeof buffer - length));
}

TEST(GantryStrings, LoadsStringsOfEveryBlockCutToTheBuffer) {
    HMODULE module = LoadLibraryA(kGantryPath.c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    // String 300 is "000-001-...-149-", 600 characters.
    std::string longText;
    for (int i = 0; i < 150; ++i) longText += std::to_string(1000 + i).substr(1) + "-";
    const std::string cut = longText.substr(0, 515);
    const struct { UINT id; int bufferMax, result; const char* text; } kCases[] = {
        {1, 516, 25, "First block, first string"},
        {15, 516, 24, "First block, last string"},
        {16, 516, 12, "Second block"},
        {57344, 516, 11, "Quenda Sync"},
        {61204, 516, 44, "This device is synchronised with another PC."},
        {61205, 516, 90, "Do you want to synchronise it with this PC instead? All data will be synchronised in full."},
        {65535, 516, 7, "Last id"},
        {4000, 516, 10, "Caf\xe9 cr\xe8me"},
        {4001, 516, 16, "Smile ? and Caf\xe9"},
        {0x10000 + 16, 516, 12, "Second block"},  // only the low 16 bits of an id count
        // An exact fit holds every character and the terminator; one short,
        // the last character gives way to it.
        {57344, 12, 11, "Quenda Sync"},
        {57344, 11, 10, "Quenda Syn"},
        {57344, 6, 5, "Quend"},
        {57344, 1, 0, ""},
        {57344, 0, 0, nullptr},
        {300, 516, 515, cut.c_str()},
        {300, 700, 600, longText.c_str()},
    };
    for (const auto& row : kCases) ExpectString(module, row.id, row.bufferMax, row.result, row.text);
    // Missing ids give an empty text.
    for (UINT id : {0, 2, 14, 17, 299, 301, 57345, 65534})
        ExpectString(module, id, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(TRUE, FreeLibrary(module));
}

TEST(LoadLibrary, MapsWindowsPathsAndCountsReferences) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.HostPath("C:\\Korvell\\Data\\Gantry1.dll"),
                               testing_support::ReadFile(kGantryPath));
    HMODULE first = LoadLibraryA("C:\\Korvell\\Data\\Gantry1.dll");
    ASSERT_NE(nullptr, first);
    HMODULE second = LoadLibraryA("C:\\Korvell\\Data\\Gantry1.dll");
    EXPECT_EQ(first, second);
    char buffer[64];
    EXPECT_EQ(TRUE, FreeLibrary(first));
    EXPECT_EQ(11, LoadStringA(second, 57344, buffer, sizeof buffer));
    EXPECT_EQ(TRUE, FreeLibrary(second));
    SetLastError(0);
    EXPECT_EQ(0, LoadStringA(second, 57344, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(FALSE, FreeLibrary(second));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(LoadLibrary, FailuresSetTheLastError) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.HostPath("C:\\notes.txt"), "plain text, neither PE nor ELF");
    testing_support::WriteFile(sandbox.HostPath("C:\\broken.dll"), "MZ and nothing more");
    static const std::pair<const char*, DWORD> kCases[] = {
        {"C:\\Korvell\\Data\\Gantry1.dll", ERROR_MOD_NOT_FOUND},
        {"D:\\Gantry1.dll", ERROR_MOD_NOT_FOUND},
        {"C:\\notes.txt", ERROR_BAD_FORMAT},
        {"C:\\broken.dll", ERROR_BAD_FORMAT}};
    for (const auto& [path, error] : kCases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, LoadLibraryA(path)) << path;
        EXPECT_EQ(error, GetLastError()) << path;
    }
}

// Symbols are found in shared objects, none in a resource module; modules
// never handed out or already freed are rejected.
TEST(GetProcAddress, FindsTheSymbolsOfASharedObjectOnly) {
    HMODULE gantry = LoadLibraryA(kGantryPath.c_str());
    HMODULE module = LoadLibraryA((std::string(MORVANE_BIN_DIR) + "/libplatform.so").c_str());
    ASSERT_TRUE(gantry != nullptr && module != nullptr) << GetLastError();
    // The very library these tests link, so the symbol is the same function.
    EXPECT_EQ(reinterpret_cast<FARPROC>(&GetLastError), GetProcAddress(module, "GetLastError"));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NoSuchFunction"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    ExpectString(module, 57344, 16, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(TRUE, FreeLibrary(module));
    int notAModule = 0;
    const struct { HMODULE module; const char* name; DWORD error; } kMisses[] = {
        {gantry, "LoadStringA", ERROR_PROC_NOT_FOUND},
        {module, "GetLastError", ERROR_INVALID_HANDLE},  // freed
        {nullptr, "GetLastError", ERROR_INVALID_HANDLE},
        {reinterpret_cast<HMODULE>(0x18), "GetLastError", ERROR_INVALID_HANDLE},
        {reinterpret_cast<HMODULE>(0x10008), "GetLastError", ERROR_INVALID_HANDLE},
    };
    for (const auto& miss : kMisses) {
        SetLastError(0);
        EXPECT_EQ(nullptr, GetProcAddress(miss.module, miss.name)) << miss.name;
        EXPECT_EQ(miss.error, GetLastError()) << miss.name;
    }
    EXPECT_EQ(FALSE, FreeLibrary(reinterpret_cast<HMODULE>(&notAModule)));
    EXPECT_EQ(TRUE, FreeLibrary(gantry));
}

// Damaged and alternative forms of the test "Gantry1.dll": every truncation either loads with intact
// strings or fails with ERROR_BAD_FORMAT.  (Arbitrary changed bytes are the string table fuzz target's.)
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

// A PE32+ image serves the same strings.  The same bytes marked PE32 are read with the PE32 layout, where
// the directory count falls on the zero high half of a widened field: an image without resources; so is
// one whose string resource type (6) is renamed (7): it loads with no strings.
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
