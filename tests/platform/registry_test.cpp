// The registry served from a .reg file: value syntax, key lookup without
// regard to case, the Win32 buffer contract and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

// Opens subKey under root and reads valueName into a 64-byte buffer; code
// is the first failing step's result.
Query ReadValue(const char* subKey, const char* valueName, HKEY root = HKEY_CURRENT_USER) {
    Query query{ERROR_SUCCESS, 0xEEEE, ""};
    HKEY key = nullptr;
    query.code = RegOpenKeyExA(root, subKey, 0, KEY_READ, &key);
    if (query.code != ERROR_SUCCESS) return query;
    BYTE buffer[64];
    DWORD size = sizeof buffer;
    query.code = RegQueryValueExA(key, valueName, nullptr, &query.type, buffer, &size);
    if (query.code == ERROR_SUCCESS) query.bytes.assign(reinterpret_cast<char*>(buffer), size);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    return query;
}

std::string Dword(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string Sz(const char* text) { return std::string(text, std::strlen(text) + 1); }

// Each value line between others; a bad line costs only itself.
void ExpectValueLine(const char* line, const char* name, LONG code, DWORD type = 0, const std::string& bytes = "") {
    SCOPED_TRACE(line);
    Sandbox sandbox;
    sandbox.WriteRegistry(std::string(kHeader) + kKey + line + "\r\n\"after\"=\"still read\"\r\n");
    const Query query = ReadValue("SOFTWARE\\Test", name);
    EXPECT_EQ(code, query.code);
    if (code == ERROR_SUCCESS) {
        EXPECT_EQ(type, query.type);
        EXPECT_EQ(bytes, query.bytes);
    }
    EXPECT_EQ(ERROR_SUCCESS, ReadValue("SOFTWARE\\Test", "after").code);
}

TEST(RegistryValues, EachValueLineGivesItsTypeAndBytes) {
    const struct {
        const char *line, *name;
        DWORD type;
        std::string bytes;
    } kCases[] = {
        {"\"v\"=\"text\"", "v", REG_SZ, Sz("text")},
        {"\"v\"=\"\"", "v", REG_SZ, Sz("")},
        {"\"v\"=\"C:\\\\Korvell\\\\Data\\\\\"", "v", REG_SZ, Sz("C:\\Korvell\\Data\\")},
        {"\"v\"=\"say \\\"hi\\\"\"", "v", REG_SZ, Sz("say \"hi\"")},
        {"\"v\"=\"a;b=c\"", "v", REG_SZ, Sz("a;b=c")},
        {"\"v\"=dword:0000000a", "v", REG_DWORD, Dword(10)},
        {"\"v\"=dword:1", "v", REG_DWORD, Dword(1)},
        {"\"v\"=dword:FFFFFFFF", "v", REG_DWORD, Dword(0xFFFFFFFFu)},
        {"@=\"default\"", "", REG_SZ, Sz("default")},
        {"@=\"default\"", nullptr, REG_SZ, Sz("default")},
        {"\"v\"=hex:01,02,ff", "v", REG_BINARY, "\x01\x02\xff"},
        {"\"v\"=hex:01,02,\\\r\n  03,04", "v", REG_BINARY, "\x01\x02\x03\x04"},
        {"\"v\"=hex(2):41,00", "v", REG_EXPAND_SZ, Sz("A")},
        {"\"na\\\"me\"=\"q\"", "na\"me", REG_SZ, Sz("q")},
        {"\"MixedCase\"=\"m\"", "MIXEDcase", REG_SZ, Sz("m")},
        {"\"v\" = \"spaced\"", "v", REG_SZ, Sz("spaced")},
    };
    for (const auto& c : kCases) ExpectValueLine(c.line, c.name, ERROR_SUCCESS, c.type, c.bytes);
    for (const char* line : {"\"v\"=dword:123456789", "\"v\"=dword:xyz", "\"v\"=\"unterminated", "\"v\"=\"text\" junk",
                             "\"v\"=hex:1,02", "v=\"unquoted name\"", "\"v\"=-", "; \"v\"=\"commented out\""})
        ExpectValueLine(line, "v", ERROR_FILE_NOT_FOUND);
    ExpectValueLine("\"v\"=\"text\"", "other", ERROR_FILE_NOT_FOUND);
}

TEST(RegistryKeys, NamesIgnoreCaseIntermediateKeysExistAndBuffersFollowWin32) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    EXPECT_EQ(Sz("C:\\Korvell\\Data\\"), ReadValue("SOFTWARE\\KORVELL QUENDA 2\\HALVERD", "DatafilePath").bytes);
    EXPECT_EQ(Dword(1), ReadValue("software\\korvell\\halverd\\setting\\", "qa_trace").bytes);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("SOFTWARE\\Korv", "QA_Trace").code);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              ReadValue("SOFTWARE\\Korvell\\HALVERD\\Setting", "QA_Trace", HKEY_LOCAL_MACHINE).code);
    HKEY software = nullptr, key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Korvell\\Nothing", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    // An intermediate key opens and holds no values; keys open relative to it.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(software, "QA_Trace", nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(software, "korvell\\Halverd\\SETTING", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(software));

    // Size alone, too small a buffer (left alone), an exact fit.
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    BYTE* bytes = reinterpret_cast<BYTE*>(buffer);
    DWORD type = 0, size = 0, reserved = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "QA_Trace", nullptr, &type, nullptr, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "QA_Trace", nullptr, nullptr, bytes, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(std::string(8, '#'), std::string(buffer, 8));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "QA_Trace", nullptr, nullptr, bytes, &size));
    EXPECT_EQ(Dword(1) + "####", std::string(buffer, 8));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "QA_Trace", nullptr, nullptr, bytes, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "QA_Trace", &reserved, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_READ, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    // A closed key is no key.
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "QA_Trace", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(key, "x", 0, KEY_READ, &key));
}

TEST(RegistryFiles, HeadersLineEndsAndEncodings) {
    const std::string body = "[HKEY_CURRENT_USER\\SOFTWARE\\Test]\n\"v\"=\"x\"\n";
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string(kHeader) + kKey + "\"v\"=\"x\"\r\n") utf16 += std::string{c, '\0'};
    const struct {
        std::string text;
        LONG code;
    } kCases[] = {
        {"Windows Registry Editor Version 5.00\n\n" + body, ERROR_SUCCESS},
        {"REGEDIT4\r\n\r\n" + body, ERROR_SUCCESS},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\n" + body, ERROR_SUCCESS},
        {utf16, ERROR_SUCCESS},
        {body, ERROR_FILE_NOT_FOUND},  // no header
        {"Windows Registry Editor Version 4.00\n" + body, ERROR_FILE_NOT_FOUND},
        {"", ERROR_FILE_NOT_FOUND},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Test\n\"v\"=\"x\"\n", ERROR_FILE_NOT_FOUND},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\SOFTWARE\\Test]\n\"v\"=\"x\"\n", ERROR_FILE_NOT_FOUND},
        {"REGEDIT4\n\"v\"=\"x\"\n", ERROR_FILE_NOT_FOUND},
        {"REGEDIT4\n" + std::string("\0\0\xff[[]]]\n", 9) + body, ERROR_SUCCESS},
    };
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
        Sandbox sandbox;
        sandbox.WriteRegistry(kCases[i].text);
        EXPECT_EQ(kCases[i].code, ReadValue("SOFTWARE\\Test", "v").code) << "case " << i;
    }
}

// Without a registry file there are no keys; without $MORVANE_REGISTRY the
// file is ~/.morvane/user.reg.
TEST(RegistryFiles, MissingFileMeansNoKeysAndHomeHoldsTheDefault) {
    Sandbox sandbox;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("SOFTWARE\\Test", "v").code);
    testing_support::UnsetEnv("MORVANE_REGISTRY");
    testing_support::SetEnv("HOME", sandbox.root());
    testing_support::WriteFile(sandbox.root() + "/.morvane/user.reg", std::string(kHeader) + kKey + "\"v\"=\"home\"\n");
    EXPECT_EQ(Sz("home"), ReadValue("SOFTWARE\\Test", "v").bytes);
}

}  // namespace
