// The e-mail body length from the host's own file "ilsync.psf".
#include "fields/record_info.h"
#include "platform/win32api.h"
#include "support/install_path.h"

#include <string.h>

#include <string>

namespace {

constexpr char kBodyLengthFile[] = "ilsync.psf";
// Where the host keeps the number in its file, and what to give without it.
constexpr DWORD kBodyLengthOffset = 9446;
constexpr int32_t kDefaultBodyLength = 4096;

// Reads the first `size` bytes of the file; false when it has fewer.
bool ReadFileStart(HANDLE file, unsigned char* buffer, DWORD size) {
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, size - total, &got, nullptr) || got == 0) return false;
        total += got;
    }
    return true;
}

}  // namespace

int32_t ReadEmailBodyLength(int32_t* length) {
    char folder[kDataFolderSize] = {};
    std::string path;
    if (ReadInstallPath(folder) == 1) {
        path.assign(folder, strnlen(folder, sizeof folder));
        AppendBackslash(path);
    }
    path += kBodyLengthFile;
    // Opened for reading and update, as the host opens it: a file this
    // process may not write counts as missing.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (length != nullptr) *length = kDefaultBodyLength;
        return 0;
    }
    // The file is small; reading up to the number stands in for a seek.
    unsigned char start[kBodyLengthOffset + 4];
    int32_t value = kDefaultBodyLength;
    if (ReadFileStart(file, start, sizeof start)) {
        const unsigned char* bytes = start + kBodyLengthOffset;
        value = static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    }
    CloseHandle(file);
    if (length != nullptr) *length = value;
    return 1;
}
