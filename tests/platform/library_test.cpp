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

struct StringCase {
    UINT id;
    const char* text;
};

TEST_F(GantryStrings, LoadsStringsOfEveryBlock) {
    static const StringCase kCases[] = {
        {1, "First block, first string"},  // 0
        {15, "First block, last string"},
        {16, "Second block"},
        {57344, "Quenda Sync"},
        {61204, "This device is synchronised with another PC."},
        {61205, "Do you want to synchronise it with this PC instead? All data will be synchronised in full."},  // 5
        {65535, "Last id"},
        {0x10000 + 16, "Second block"},  // only the low 16 bits of an id count
        {4000, "Caf\xe9 cr\xe8me"},
        {4001, "Smile ? and Caf\xe9"},
    };
    for (const StringCase& row : kCases) {
        std::memset(buffer_, kMarker, sizeof buffer_);
        const int length = static_cast<int>(std::strlen(row.text));
        EXPECT_EQ(length, LoadStringA(module_, row.id, buffer_, 516)) << row.id;
        EXPECT_STREQ(row.text, buffer_) << row.id;
        EXPECT_TRUE(UntouchedFrom(length + 1)) << row.id;
    }
}

TEST_F(GantryStrings, MissingIdsGiveAnEmptyTextAndZero) {
    static const UINT kMissing[] = {0, 2, 14, 17, 299, 301, 57345, 65534};
    for (UINT id : kMissing) {
        std::memset(buffer_, kMarker, sizeof buffer_);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0, LoadStringA(module_, id, buffer_, 516)) << id;
        EXPECT_EQ('\0', buffer_[0]) << id;
        EXPECT_TRUE(UntouchedFrom(1)) << id;
        EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError()) << id;
    }
}

TEST_F(GantryStrings, ExactFitAndTooSmallBuffers) {
    const std::string text = "Quenda Sync";
    const int length = static_cast<int>(text.size());
    static const struct {
        int extra;  // bufferMax = length + extra
        int copied; // characters expected, relative to length
    } kCases[] = {
        {1, 0},    // exact fit: every character and the terminator
        {0, -1},   // one short: the last character gives way to the terminator
        {-5, -6},
        {100, 0},
    };
    for (const auto& row : kCases) {
        std::memset(buffer_, kMarker, sizeof buffer_);
        const int bufferMax = length + row.extra;
        const int copied = length + row.copied;
        EXPECT_EQ(copied, LoadStringA(module_, 57344, buffer_, bufferMax)) << bufferMax;
        EXPECT_EQ(text.substr(0, static_cast<size_t>(copied)), std::string(buffer_)) << bufferMax;
        EXPECT_TRUE(UntouchedFrom(copied + 1)) << bufferMax;
    }
}

TEST_F(GantryStrings, BufferOfOneHoldsOnlyTheTerminator) {
    EXPECT_EQ(0, LoadStringA(module_, 57344, buffer_, 1));
    EXPECT_EQ('\0', buffer_[0]);
    EXPECT_TRUE(UntouchedFrom(1));
}

TEST_F(GantryStrings, BufferOfZeroIsLeftAlone) {
    EXPECT_EQ(0, LoadStringA(module_, 57344, buffer_, 0));
    EXPECT_TRUE(UntouchedFrom(0));
}

TEST_F(GantryStrings, LongStringIsCutToTheBuffer) {
    const std::string text = LongString();
    EXPECT_EQ(515, LoadStringA(module_, 300, buffer_, 516));
    EXPECT_EQ(text.substr(0, 515), std::string(buffer_));
    EXPECT_TRUE(UntouchedFrom(516));
    std::memset(buffer_, kMarker, sizeof buffer_);
    EXPECT_EQ(600, LoadStringA(module_, 300, buffer_, kBufferSize));
    EXPECT_EQ(text, std::string(buffer_));
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
