// Profile (INI) files: GetPrivateProfileStringA and WritePrivateProfileStringA
// with the Windows rules the library's settings file depends on.
//
// Reading: sections and keys compare without regard to case and blanks
// around them; the first section and the first key of a name count; a value
// loses its surrounding blanks and then one pair of matching quotes ("..."
// or '...'); a missing file, section or key yields the default (NULL is "",
// trailing blanks dropped) with GetLastError ERROR_FILE_NOT_FOUND; text
// longer than the buffer is cut to size-1 characters and size-1 returned.
// A NULL section lists the section names and a NULL key the section's key
// names, each followed by its NUL, the list by one more NUL (cut lists end
// in two NULs and return size-2), as Windows does.  Lines starting with ';'
// are comments and never keys; lines before the first section belong to
// none.
//
// Writing rewrites only the line of the key (keeping the key's spelling in
// the file), adds a missing key after the last line of its section, adds a
// missing section at the end of the file and creates a missing file; a NULL
// text deletes the key and a NULL key the whole section.  Every other line
// stays byte for byte, and new lines take the file's own line ending (CR LF
// for a new file).  The file is replaced atomically: the new content goes
// to a temporary file in the same folder, which is then renamed over it.
//
// A bare file name ("ISEnvSet.ini") lives in the Windows folder of drive C,
// $MORVANE_DRIVE_C/Windows, where Windows keeps profile files given without
// a path; a NULL file name is "win.ini" there.
#include "platform/posix/drive_path.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/replace_file.h"
#include "platform/win32api.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using platform_posix::ProfileLines;

// The host path of a profile file; false when the name maps nowhere.
bool ProfilePath(LPCSTR fileName, bool creatingFolder, std::string* hostPath) {
    const char* name = fileName != nullptr ? fileName : "win.ini";
    if (!platform_posix::IsBareFileName(name)) return platform_posix::MapWindowsPath(name, hostPath);
    std::string drive = platform_posix::DriveCFolder();
    if (drive.empty()) return false;
    std::string windowsFolder = drive + "/Windows";
    if (creatingFolder) mkdir(windowsFolder.c_str(), 0777);
    return platform_posix::MapWindowsPath((std::string("C:\\Windows\\") + name).c_str(), hostPath);
}

std::string TrimTrailingBlanks(const char* text) {
    std::string trimmed = text != nullptr ? text : "";
    while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
    return trimmed;
}

// Copies text into buffer as Windows does: cut to size-1 characters.
DWORD CopyText(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return 0;
    DWORD length = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

// Copies names as a list of NUL-terminated strings closed by one more NUL;
// a list that does not fit is cut and closed by two NULs, returning size-2.
DWORD CopyNameList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty() && size > 1) buffer[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
    bool injected = platform_posix::ShouldFailCall("GetPrivateProfileStringA");
    std::string path;
    ProfileLines lines;
    bool loaded = !injected && ProfilePath(fileName, false, &path) && platform_posix::LoadProfile(path, &lines);
    if (section == nullptr) return CopyNameList(platform_posix::SectionNames(lines), buffer, size);
    if (key == nullptr) return CopyNameList(platform_posix::KeyNames(lines, section), buffer, size);
    std::string value;
    if (loaded && platform_posix::FindValue(lines, section, key, &value)) return CopyText(value, buffer, size);
    DWORD copied = CopyText(TrimTrailingBlanks(defaultText), buffer, size);
    SetLastError(injected ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return copied;
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName) {
    if (platform_posix::ShouldFailCall("WritePrivateProfileStringA")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (section == nullptr) {
        // All three NULL flushes the profile cache, which this layer has not.
        if (key == nullptr && text == nullptr) return TRUE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path;
    if (!ProfilePath(fileName, true, &path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    ProfileLines lines;
    platform_posix::LoadProfile(path, &lines);  // a missing file starts empty
    bool changed = key == nullptr ? platform_posix::DeleteSection(&lines, section)
                   : text == nullptr ? platform_posix::DeleteKey(&lines, section, key)
                                     : platform_posix::SetValue(&lines, section, key, text);
    if (!changed) return TRUE;  // deleting what is not there leaves the file alone
    DWORD error = ERROR_SUCCESS;
    const std::string content = platform_posix::JoinProfile(lines);
    if (!platform_posix::ReplaceFile(path, content.data(), content.size(), &error)) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
