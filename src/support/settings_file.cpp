#include "support/settings_file.h"

#include "platform/win32api.h"
#include "support/install_path.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kSettingsFileName[] = "ISEnvSet.ini";
const char kSection[] = "Synchronization";
const char kPCIDKey[] = "PCID";
const char kPCIDDefault[] = "0000000000000000";
const char kSyncTimeKey[] = "SyncTime";
const char kSyncTimeDefault[] = "00000000000000";
constexpr DWORD kProfileTextSize = 1024;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Eight two-digit hexadecimal numbers from the first 16 characters of text
// (either case).  Characters after them do not matter.
bool DecodePCID(const char* text, uint8_t id[8]) {
    if (strlen(text) < 16) return false;
    for (int i = 0; i < 8; ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        id[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace

SettingsFile::SettingsFile() {
    std::string folder;
    // Without a folder the bare name is left to the profile functions, which
    // look for it in their own default place.
    if (ReadDataFolder(folder)) {
        AppendBackslash(folder);
        path_ = folder;
    }
    path_ += kSettingsFileName;
}

int SettingsFile::ReadPCID(uint8_t id[8]) const {
    char text[kProfileTextSize];
    GetPrivateProfileStringA(kSection, kPCIDKey, kPCIDDefault, text, sizeof text, path_.c_str());
    uint8_t decoded[8] = {};
    bool nonzero = false;
    if (DecodePCID(text, decoded)) {
        for (uint8_t byte : decoded) nonzero = nonzero || byte != 0;
    }
    // An all-zero identity is the default, i.e. none was ever stored.
    if (!nonzero) memset(decoded, 0, sizeof decoded);
    memcpy(id, decoded, sizeof decoded);
    return nonzero ? 1 : 0;
}

int SettingsFile::WritePCID(const uint8_t id[8]) const {
    char text[17];
    snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X%02X%02X", id[0], id[1], id[2], id[3], id[4], id[5], id[6],
             id[7]);
    WritePrivateProfileStringA(kSection, kPCIDKey, text, path_.c_str());
    return 1;
}

int SettingsFile::ReadSyncTime(std::string& text) const {
    char buffer[kProfileTextSize];
    GetPrivateProfileStringA(kSection, kSyncTimeKey, kSyncTimeDefault, buffer, sizeof buffer, path_.c_str());
    text.assign(buffer);
    return 1;
}

int SettingsFile::WriteSyncTime(const char* text) const {
    WritePrivateProfileStringA(kSection, kSyncTimeKey, text, path_.c_str());
    return 1;
}
