// Windows paths mapped onto the host: see drive_path.h.
#include "platform/posix/drive_path.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform_posix {
namespace {

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// The entry of folder whose name equals name apart from case, or "" when
// there is none.
std::string FindEntryIgnoringCase(const std::string& folder, const std::string& name) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return "";
    std::string found;
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Windows file names ignore case; the host's do not.  When relative (a path
// below drive C, slashes only) does not exist as spelt, each component that
// exists under another case is replaced by its spelling on disk, so that
// "C:\KORVELL\data" finds the folder created as "C:\Korvell\Data".  Missing
// components (a file about to be created) keep their spelling.
std::string ResolveCase(const std::string& drive, const std::string& relative) {
    std::string full = drive + "/" + relative;
    if (relative.empty() || PathExists(full)) return full;
    std::string resolved = drive;
    bool resolving = true;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        if (resolving && !part.empty() && !PathExists(resolved + "/" + part)) {
            std::string onDisk = FindEntryIgnoringCase(resolved, part);
            if (onDisk.empty())
                resolving = false;
            else
                part = onDisk;
        }
        resolved += "/" + part;
        start = end + 1;
    }
    return resolved;
}

// Removes ".", ".." and repeated separators from a path below drive C, as
// Windows does before it opens a file; ".." at the root stays at the root,
// so no drive-C path leads outside the drive folder.
std::string NormaliseBelowRoot(const std::string& relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normalised;
    for (const std::string& part : parts) normalised += (normalised.empty() ? "" : "/") + part;
    if (!normalised.empty() && !relative.empty() && relative.back() == '/') normalised += '/';
    return normalised;
}

}  // namespace

std::string MorvaneHomePath(const char* leaf) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return "";
    return std::string(home) + "/.morvane/" + leaf;
}

std::string RegistryFilePath() {
    const char* configured = std::getenv("MORVANE_REGISTRY");
    return (configured != nullptr && *configured != '\0') ? configured : MorvaneHomePath("user.reg");
}

std::string DriveCFolder() {
    const char* configured = std::getenv("MORVANE_DRIVE_C");
    std::string folder = (configured != nullptr && *configured != '\0') ? configured : MorvaneHomePath("drive_c");
    if (folder.empty()) return folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

bool IsBareFileName(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    for (const char* c = name; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/' || *c == ':') return false;
    return true;
}

bool MapWindowsPath(const char* windowsPath, std::string* hostPath) {
    hostPath->clear();
    if (windowsPath == nullptr || *windowsPath == '\0') return false;
    if (windowsPath[0] == '/') {
        *hostPath = windowsPath;
        return true;
    }
    const char* rest = windowsPath;
    bool onDriveC = false;
    if (std::isalpha(static_cast<unsigned char>(windowsPath[0])) && windowsPath[1] == ':') {
        if (std::tolower(static_cast<unsigned char>(windowsPath[0])) != 'c') return false;
        rest = windowsPath + 2;
        onDriveC = true;
    } else if (windowsPath[0] == '\\') {
        if (windowsPath[1] == '\\') return false;
        onDriveC = true;
    }
    std::string converted(rest);
    for (char& c : converted)
        if (c == '\\') c = '/';
    if (!onDriveC) {
        *hostPath = converted;
        return true;
    }
    std::string drive = DriveCFolder();
    if (drive.empty()) return false;
    *hostPath = ResolveCase(drive, NormaliseBelowRoot(converted));
    return true;
}

}  // namespace platform_posix
