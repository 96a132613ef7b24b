// The .reg text format, as the Windows registry editor exports it:
//
//   Windows Registry Editor Version 5.00      (or REGEDIT4)
//
//   [HKEY_CURRENT_USER\SOFTWARE\Korvell\HALVERD\Setting]
//   "QA_Trace"=dword:00000001
//   "DatafilePath"="C:\\Korvell\\Data\\"
//   @="the key's default value"
//   "Blob"=hex:01,02,03
//   ; a comment
//
// Strings take the escapes \\ and \"; hex(N): gives a value of type N
// (hex(2) REG_EXPAND_SZ, hex(7) REG_MULTI_SZ...) and a hex list may go on
// over lines that end in a backslash; a value "=-" and a key
// "[-...]" are deletions and add nothing.  The file may be UTF-16LE (as the
// registry editor writes version 5.00 files) or 8-bit text, with CR LF or
// LF line ends.
#ifndef MORVANE_PLATFORM_POSIX_REGISTRY_FILE_H
#define MORVANE_PLATFORM_POSIX_REGISTRY_FILE_H

#include <map>
#include <string>

#include "platform/win32api.h"

namespace platform_posix {

struct RegistryValue {
    DWORD type;
    std::string data;  // the bytes RegQueryValueExA returns (REG_SZ with its NUL)
};

// Value names upper-cased (registry names ignore case); "" is the default
// value written "@".
using RegistryValues = std::map<std::string, RegistryValue>;

// Keys by their full path upper-cased, hive included:
// "HKEY_CURRENT_USER\SOFTWARE\KORVELL\HALVERD\SETTING".
using RegistryTree = std::map<std::string, RegistryValues>;

// Parses a whole file into tree.  Returns false, with tree empty, when the
// first line is not one of the two headers: such a file is no registry
// export and serves no key.  Within a good file a line that cannot be
// understood is skipped, as the registry editor skips it, and the rest of
// the file still counts.
bool ParseRegistryFile(const std::string& bytes, RegistryTree* tree);

// name upper-cased the way key and value names compare.
std::string RegistryFold(const std::string& name);

}  // namespace platform_posix

#endif
