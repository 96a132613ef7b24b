/*
 * The maker's data-file folder ("install path"): the registry value
 * "DatafilePath" of HKEY_CURRENT_USER\SOFTWARE\KORVELL QUENDA 2\HALVERD.
 * The settings file "ISEnvSet.ini", the utility library "Gantry1.dll", the
 * wait-box program and the link's working database "QtDBTemp" live there.
 * The value may or may not end in a backslash.
 */
#ifndef MORVANE_SUPPORT_INSTALL_PATH_H
#define MORVANE_SUPPORT_INSTALL_PATH_H

#include <stdint.h>
#include <string>

extern const char kDataFolderKey[];    // "SOFTWARE\KORVELL QUENDA 2\HALVERD"
extern const char kDataFolderValue[];  // "DatafilePath"
// Bytes the folder text may take, its terminating zero included.
constexpr uint32_t kDataFolderSize = 260;

// Reads the data-file folder into buffer, which must hold kDataFolderSize
// bytes.  Returns 1 when the value was read, else 0 (the buffer's content
// is then not to be relied on).  No trace line.  The exported
// GetInstallPath is exactly this.
int32_t ReadInstallPath(char* buffer);

// Reads the data-file folder into text (kDataFolderSize bytes at most).
// On failure text is left as it was.
bool ReadDataFolder(std::string& text);

// Appends a backslash unless path already ends in one; an empty path
// becomes "\".
void AppendBackslash(std::string& path);

#endif
