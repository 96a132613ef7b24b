#include "support/install_path.h"

#include "support/registry_string.h"

const char kDataFolderKey[] = "SOFTWARE\\KORVELL QUENDA 2\\HALVERD";
const char kDataFolderValue[] = "DatafilePath";

int32_t ReadInstallPath(char* buffer) {
    // Without a buffer the host still learns whether the folder is set.
    char unused[kDataFolderSize];
    return GetRegistryString(kDataFolderKey, kDataFolderValue, buffer != nullptr ? buffer : unused, kDataFolderSize,
                             HKEY_CURRENT_USER)
               ? 1
               : 0;
}

bool ReadDataFolder(std::string& text) {
    return GetRegistryString(kDataFolderKey, kDataFolderValue, text, kDataFolderSize, HKEY_CURRENT_USER);
}

void AppendBackslash(std::string& path) {
    if (path.empty() || path.back() != '\\') path += '\\';
}
