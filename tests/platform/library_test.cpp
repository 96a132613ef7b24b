// LoadLibraryA, LoadStringA, GetProcAddress and FreeLibrary: the string
// table of the test "Gantry1.dll" and shared objects loaded by path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const std::string kGantryPath = std::string(MORVANE_TEST_DATA) + "/Gantry1.dll";
constexpr char kMarker = '#';
constexpr int kBufferSize = 700;

// The 600-character string 300: "000-001-...-149-".
std::string LongString() {
    std::string text;
    char part[8];
    for (int i = 0; i < 150; ++i) {
        std::snprintf(part, sizeof part, "%03d-", i);
        text += part;
    }
    return text;
}

class GantryStrings : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(kGantryPath.c_str());
        ASSERT_NE(nullptr, module_) << GetLastError();
        std::memset(buffer_, kMarker, sizeof buffer_);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            EXPECT_EQ(TRUE, FreeLibrary(module_));
        }
    }
    // The bytes from index on are all still the marker.
    bool UntouchedFrom(int index) const {
        for (int i = index; i < kBufferSize; ++i)
            if (buffer_[i] != kMarker) return false;
        return true;
    }

    HMODULE module_ = nullptr;
    char buffer_[kBufferSize];
};

// One LoadStringA call into a buffer prefilled with the marker: the result,
// the text, and no byte written past its terminator (text null: none at
// all).
struct StringCase {
    UINT id;
    int bufferMax;
    int result;
    const char* text;
    DWORD error;  // 0: not checked
};

TEST_F(GantryStrings, LoadsStringsOfEveryBlockCutToTheBuffer) {
    const std::string longText = LongString();
    const std::string cut = longText.substr(0, 515);
    const StringCase kCases[] = {
        {1, 516, 25, "First block, first string", 0},  // 0
        {15, 516, 24, "First block, last string", 0},
        {16, 516, 12, "Second block", 0},
        {57344, 516, 11, "Quenda Sync", 0},
        {61204, 516, 44, "This device is synchronised with another PC.", 0},
        {61205, 516, 90, "Do you want to synchronise it with this PC instead? All data will be synchronised in full.",
         0},  // 5
        {65535, 516, 7, "Last id", 0},
        {0x10000 + 16, 516, 12, "Second block", 0},  // only the low 16 bits of an id count
        {4000, 516, 10, "Caf\xe9 cr\xe8me", 0},
        {4001, 516, 16, "Smile ? and Caf\xe9", 0},
        // Missing ids give an empty text.
        {0, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},  // 10
        {2, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {14, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {17, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {299, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {301, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},  // 15
        {57345, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {65534, 516, 0, "", ERROR_RESOURCE_NAME_NOT_FOUND},
        // An exact fit holds every character and the terminator; one short,
        // the last character gives way to it.
        {57344, 12, 11, "Quenda Sync", 0},
        {57344, 11, 10, "Quenda Syn", 0},
        {57344, 6, 5, "Quend", 0},  // 20
        {57344, 1, 0, "", 0},
        {57344, 0, 0, nullptr, 0},
        {300, 516, 515, cut.c_str(), 0},
        {300, kBufferSize, 600, longText.c_str(), 0},
    };
    for (const StringCase& row : kCases) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " buffer " << row.bufferMax);
        std::memset(buffer_, kMarker, sizeof buffer_);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(row.result, LoadStringA(module_, row.id, buffer_, row.bufferMax));
        if (row.error != 0) {
            EXPECT_EQ(row.error, GetLastError());
        }
        if (row.text == nullptr) {
            EXPECT_TRUE(UntouchedFrom(0));
            continue;
        }
        EXPECT_STREQ(row.text, buffer_);
        EXPECT_TRUE(UntouchedFrom(static_cast<int>(std::strlen(row.text)) + 1));
    }
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
    static const struct {
        const char* path;
        DWORD error;
    } kCases[] = {
        {"C:\\Korvell\\Data\\Gantry1.dll", ERROR_MOD_NOT_FOUND},  // 0
        {"D:\\Gantry1.dll", ERROR_MOD_NOT_FOUND},
        {"C:\\notes.txt", ERROR_BAD_FORMAT},
        {"C:\\broken.dll", ERROR_BAD_FORMAT},
    };
    for (const auto& row : kCases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, LoadLibraryA(row.path)) << row.path;
        EXPECT_EQ(row.error, GetLastError()) << row.path;
    }
}

TEST(LoadLibrary, InjectedFailure) {
    PlatformFailCall("LoadLibraryA", 2, 0);
    HMODULE first = LoadLibraryA(kGantryPath.c_str());
    EXPECT_NE(nullptr, first);
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA(kGantryPath.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    HMODULE third = LoadLibraryA(kGantryPath.c_str());
    EXPECT_EQ(first, third);
    FreeLibrary(first);
    FreeLibrary(third);
}

TEST(GetProcAddress, FindsNothingInAResourceModule) {
    HMODULE module = LoadLibraryA(kGantryPath.c_str());
    ASSERT_NE(nullptr, module);
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "LoadStringA"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    FreeLibrary(module);
}

TEST(GetProcAddress, FindsTheSymbolsOfASharedObject) {
    const std::string path = std::string(MORVANE_BIN_DIR) + "/libplatform.so";
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    // The very library these tests link, so the symbol is the same function.
    EXPECT_EQ(reinterpret_cast<FARPROC>(&GetLastError), GetProcAddress(module, "GetLastError"));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "NoSuchFunction"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    char buffer[16];
    EXPECT_EQ(0, LoadStringA(module, 57344, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(TRUE, FreeLibrary(module));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "GetLastError"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(GetProcAddress, RejectsModulesNeverHandedOut) {
    int notAModule = 0;
    static const uintptr_t kBogus[] = {0, 0x10, 0x10010};
    for (uintptr_t value : kBogus) {
        SetLastError(0);
        EXPECT_EQ(nullptr, GetProcAddress(reinterpret_cast<HMODULE>(value), "GetLastError")) << value;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError()) << value;
    }
    EXPECT_EQ(FALSE, FreeLibrary(reinterpret_cast<HMODULE>(&notAModule)));
}

}  // namespace
