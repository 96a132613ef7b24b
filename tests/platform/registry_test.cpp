// The registry served from a .reg file: value syntax, key lookup without
// regard to case, the Win32 buffer contract and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const char kKey[] = "[HKEY_CURRENT_USER\\SOFTWARE\\Test]\r\n";

struct Query {
    LONG code;
    DWORD type;
    std::string bytes;
};

// Opens subKey under HKEY_CURRENT_USER and reads valueName into a
// 64-byte buffer; code is the first failing step's result.
Query ReadValue(const char* subKey, const char* valueName) {
    Query query{ERROR_SUCCESS, 0xEEEE, ""};
    HKEY key = nullptr;
    query.code = RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key);
    if (query.code != ERROR_SUCCESS) return query;
    BYTE buffer[64];
    DWORD size = sizeof buffer;
    query.code = RegQueryValueExA(key, valueName, nullptr, &query.type, buffer, &size);
    if (query.code == ERROR_SUCCESS) query.bytes.assign(reinterpret_cast<char*>(buffer), size);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    return query;
}

std::string Dword(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

TEST(RegistryValues, EachValueLineGivesItsTypeAndBytes) {
    struct Case {
        const char* line;
        const char* name;
        LONG code;
        DWORD type;
        std::string bytes;
    };
    const Case kCases[] = {
        {"\"v\"=\"text\"", "v", ERROR_SUCCESS, REG_SZ, std::string("text\0", 5)},                   // 0
        {"\"v\"=\"\"", "v", ERROR_SUCCESS, REG_SZ, std::string("\0", 1)},
        {"\"v\"=\"C:\\\\Korvell\\\\Data\\\\\"", "v", ERROR_SUCCESS, REG_SZ, std::string("C:\\Korvell\\Data\\\0", 17)},
        {"\"v\"=\"say \\\"hi\\\"\"", "v", ERROR_SUCCESS, REG_SZ, std::string("say \"hi\"\0", 9)},
        {"\"v\"=\"a;b=c\"", "v", ERROR_SUCCESS, REG_SZ, std::string("a;b=c\0", 6)},
        {"\"v\"=dword:0000000a", "v", ERROR_SUCCESS, REG_DWORD, Dword(10)},                           // 5
        {"\"v\"=dword:FFFFFFFF", "v", ERROR_SUCCESS, REG_DWORD, Dword(0xFFFFFFFFu)},
        {"\"v\"=dword:1", "v", ERROR_SUCCESS, REG_DWORD, Dword(1)},
        {"@=\"default\"", "", ERROR_SUCCESS, REG_SZ, std::string("default\0", 8)},
        {"@=\"default\"", nullptr, ERROR_SUCCESS, REG_SZ, std::string("default\0", 8)},
        {"\"v\"=hex:01,02,ff", "v", ERROR_SUCCESS, REG_BINARY, "\x01\x02\xff"},                       // 10
        {"\"v\"=hex:01,02,\\\r\n  03,04", "v", ERROR_SUCCESS, REG_BINARY, "\x01\x02\x03\x04"},
        {"\"v\"=hex(2):41,00", "v", ERROR_SUCCESS, REG_EXPAND_SZ, std::string("A\0", 2)},
        {"\"na\\\"me\"=\"q\"", "na\"me", ERROR_SUCCESS, REG_SZ, std::string("q\0", 2)},
        {"\"MixedCase\"=\"m\"", "MIXEDcase", ERROR_SUCCESS, REG_SZ, std::string("m\0", 2)},
        {"\"v\" = \"spaced\"", "v", ERROR_SUCCESS, REG_SZ, std::string("spaced\0", 7)},             // 15
        {"\"v\"=dword:123456789", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=dword:xyz", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=\"unterminated", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=\"text\" junk", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=hex:1,02", "v", ERROR_FILE_NOT_FOUND, 0, ""},                                        // 20
        {"v=\"unquoted name\"", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=-", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"; \"v\"=\"commented out\"", "v", ERROR_FILE_NOT_FOUND, 0, ""},
        {"\"v\"=\"text\"", "other", ERROR_FILE_NOT_FOUND, 0, ""},
    };
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
        const Case& c = kCases[i];
        Sandbox sandbox;
        sandbox.WriteRegistry(std::string(kHeader) + kKey + c.line + "\r\n\"after\"=\"still read\"\r\n");
        Query query = ReadValue("SOFTWARE\\Test", c.name);
        EXPECT_EQ(c.code, query.code) << "case " << i;
        if (c.code == ERROR_SUCCESS) {
            EXPECT_EQ(c.type, query.type) << "case " << i;
            EXPECT_EQ(c.bytes, query.bytes) << "case " << i;
        }
        // A bad line costs only itself.
        EXPECT_EQ(ERROR_SUCCESS, ReadValue("SOFTWARE\\Test", "after").code) << "case " << i;
    }
}

TEST(RegistryKeys, NamesIgnoreCaseAndIntermediateKeysExist) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    EXPECT_EQ(std::string("C:\\Korvell\\Data\\\0", 17),
              ReadValue("SOFTWARE\\KORVELL QUENDA 2\\HALVERD", "DatafilePath").bytes);
    EXPECT_EQ(Dword(1), ReadValue("software\\korvell\\halverd\\setting", "qa_trace").bytes);
    EXPECT_EQ(Dword(1), ReadValue("Software\\Korvell\\HALVERD\\Setting\\", "QA_Trace").bytes);

    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software));
    HKEY setting = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(software, "korvell\\Halverd\\SETTING", 0, KEY_READ, &setting));
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(setting, "QA_Trace", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(1u, value);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(software, "QA_Trace", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(setting));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(software));

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Korvell\\Nothing", 0, KEY_READ, &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Korv", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvell", 0, KEY_READ, &missing));
}

TEST(RegistryBuffers, FollowTheWin32SizeContract) {
    Sandbox sandbox;
    sandbox.WriteRegistry(std::string(kHeader) + kKey + "\"Path\"=\"C:\\\\Data\"\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Test", 0, KEY_READ, &key));
    const std::string expected("C:\\Data\0", 8);

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size));
    EXPECT_EQ(8u, size);  // the terminating NUL counts
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    size = 7;
    type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string(16, '#'), std::string(buffer, 16));

    size = 8;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(expected + "########", std::string(buffer, 16));

    size = sizeof buffer;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr));
    DWORD reserved = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Path", &reserved, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(key, "x", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_READ, nullptr));
}

TEST(RegistryFiles, HeadersLineEndsAndEncodings) {
    struct Case {
        std::string text;
        LONG code;
    };
    const std::string body = "[HKEY_CURRENT_USER\\SOFTWARE\\Test]\n\"v\"=\"x\"\n";
    std::string utf16("\xFF\xFE", 2);
    for (char c : "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Test]\r\n\"v\"=\"x\"\r\n") {
        if (c == '\0') break;
        utf16 += c;
        utf16 += '\0';
    }
    const Case kCases[] = {
        {"Windows Registry Editor Version 5.00\n\n" + body, ERROR_SUCCESS},   // 0
        {"REGEDIT4\r\n\r\n" + body, ERROR_SUCCESS},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\n" + body, ERROR_SUCCESS},
        {utf16, ERROR_SUCCESS},
        {body, ERROR_FILE_NOT_FOUND},                                         // no header
        {"Windows Registry Editor Version 4.00\n" + body, ERROR_FILE_NOT_FOUND},  // 5
        {"", ERROR_FILE_NOT_FOUND},
        {std::string("REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Test\n\"v\"=\"x\"\n"), ERROR_FILE_NOT_FOUND},
        {std::string("REGEDIT4\n[-HKEY_CURRENT_USER\\SOFTWARE\\Test]\n\"v\"=\"x\"\n"), ERROR_FILE_NOT_FOUND},
        {std::string("REGEDIT4\n\"v\"=\"x\"\n"), ERROR_FILE_NOT_FOUND},
        {std::string("REGEDIT4\n") + std::string("\0\0\xff[[]]]\n", 9) + body, ERROR_SUCCESS},  // 10
    };
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
        Sandbox sandbox;
        sandbox.WriteRegistry(kCases[i].text);
        EXPECT_EQ(kCases[i].code, ReadValue("SOFTWARE\\Test", "v").code) << "case " << i;
    }
}

TEST(RegistryFiles, MissingFileMeansNoKeys) {
    Sandbox sandbox;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("SOFTWARE\\Test", "v").code);
    testing_support::UnsetEnv("MORVANE_REGISTRY");
    testing_support::SetEnv("HOME", sandbox.root());
    testing_support::WriteFile(sandbox.root() + "/.morvane/user.reg", std::string(kHeader) + kKey + "\"v\"=\"home\"\n");
    EXPECT_EQ(std::string("home\0", 5), ReadValue("SOFTWARE\\Test", "v").bytes);
}

TEST(RegistryFaults, InjectedFailuresHitOpenAndQuery) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    PlatformFailCall("RegOpenKeyExA", 1, 0);
    EXPECT_EQ(ERROR_ACCESS_DENIED, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
    PlatformFailCall("RegQueryValueExA", 2, 1);
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
    EXPECT_EQ(ERROR_ACCESS_DENIED, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
    EXPECT_EQ(ERROR_ACCESS_DENIED, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
    PlatformClearFaults();
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace").code);
}

}  // namespace
