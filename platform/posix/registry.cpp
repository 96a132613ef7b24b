// RegOpenKeyExA, RegQueryValueExA, RegCloseKey served from a .reg text file
// (MORVANE_REGISTRY, default $HOME/.morvane/user.reg).
//
// The file is read afresh by every RegOpenKeyExA, and the opened key keeps
// the values it had at that moment, as a key opened on Windows sees a
// consistent snapshot for the few queries the library makes.  A key exists
// when the file names it or any key below it, since importing such a file
// creates every key on the way.  Like the Win32 functions, these return
// their error code and leave GetLastError alone.  The library calls them
// from one thread, so the set of open keys takes no lock.
#include "platform/posix/drive_path.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/registry_file.h"
#include "platform/win32api.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <unordered_set>

namespace {

using platform_posix::RegistryTree;
using platform_posix::RegistryValues;

struct OpenKey {
    std::string path;  // folded full path, hive included
    RegistryValues values;
};

std::unordered_set<OpenKey*>& LiveKeys() {
    static auto* live = new std::unordered_set<OpenKey*>();
    return *live;
}

const char* HiveName(HKEY key) {
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    return nullptr;
}

// The folded path of a predefined or open key; false for any other handle.
bool KeyPath(HKEY key, std::string* path) {
    if (const char* hive = HiveName(key)) {
        *path = hive;
        return true;
    }
    OpenKey* open = reinterpret_cast<OpenKey*>(key);
    if (key == nullptr || LiveKeys().count(open) == 0) return false;
    *path = open->path;
    return true;
}

// The registry as the file holds it now; empty when the file is missing or
// is no registry export.
RegistryTree LoadRegistry() {
    RegistryTree tree;
    std::ifstream in(platform_posix::RegistryFilePath(), std::ios::binary);
    if (!in) return tree;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    platform_posix::ParseRegistryFile(bytes.str(), &tree);
    return tree;
}

bool KeyExists(const RegistryTree& tree, const std::string& path) {
    if (tree.count(path) != 0) return true;
    std::string below = path + "\\";
    auto candidate = tree.lower_bound(below);
    return candidate != tree.end() && candidate->first.compare(0, below.size(), below) == 0;
}

// The path subKey names below base: separators around it do not count.
std::string ChildPath(const std::string& base, const char* subKey) {
    std::string child = subKey != nullptr ? subKey : "";
    while (!child.empty() && child.back() == '\\') child.pop_back();
    return child.empty() ? base : base + "\\" + platform_posix::RegistryFold(child);
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    (void)options;
    (void)access;  // every key is readable; nothing here can write
    if (platform_posix::ShouldFailCall("RegOpenKeyExA")) return ERROR_ACCESS_DENIED;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string base;
    if (!KeyPath(root, &base)) return ERROR_INVALID_HANDLE;
    std::string path = ChildPath(base, subKey);
    RegistryTree tree = LoadRegistry();
    bool isHive = path == base && HiveName(root) != nullptr;
    if (!isHive && !KeyExists(tree, path)) return ERROR_FILE_NOT_FOUND;
    OpenKey* key = new (std::nothrow) OpenKey;
    if (key == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    key->path = path;
    auto found = tree.find(path);
    if (found != tree.end()) key->values.swap(found->second);
    try {
        LiveKeys().insert(key);
    } catch (...) {
        delete key;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *result = reinterpret_cast<HKEY>(key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) {
    if (platform_posix::ShouldFailCall("RegQueryValueExA")) return ERROR_ACCESS_DENIED;
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!KeyPath(key, &path)) return ERROR_INVALID_HANDLE;
    RegistryValues hiveValues;
    const RegistryValues* values = &hiveValues;
    if (HiveName(key) != nullptr) {
        RegistryTree tree = LoadRegistry();
        hiveValues.swap(tree[path]);
    } else {
        values = &reinterpret_cast<OpenKey*>(key)->values;
    }
    auto found = values->find(platform_posix::RegistryFold(valueName != nullptr ? valueName : ""));
    if (found == values->end()) return ERROR_FILE_NOT_FOUND;
    const platform_posix::RegistryValue& value = found->second;
    if (type != nullptr) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = needed;
        return ERROR_SUCCESS;
    }
    if (*dataSize < needed) {
        // The buffer is left as it was; the caller learns the size to retry with.
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value.data.data(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    if (HiveName(key) != nullptr) return ERROR_SUCCESS;  // predefined keys are never really open
    OpenKey* open = reinterpret_cast<OpenKey*>(key);
    if (key == nullptr || LiveKeys().erase(open) == 0) return ERROR_INVALID_HANDLE;
    delete open;
    return ERROR_SUCCESS;
}
