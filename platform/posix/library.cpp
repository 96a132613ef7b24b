// LoadLibraryA, FreeLibrary, GetProcAddress and LoadStringA.
//
// A file that starts with "MZ" is a Windows image: it is opened as a
// resource module, whose string table LoadStringA reads and in which
// GetProcAddress finds nothing.  Any other file is a shared object, loaded
// with dlopen so that GetProcAddress finds its symbols (this is how hosts
// and tests load the adapter itself).
//
// An HMODULE is a number handed out here, never an address: every call
// looks it up among the live modules first, so a freed or made-up module
// handle is refused instead of dereferenced.  Loading the same file again
// returns the same handle and counts a reference, as on Windows; the
// module goes away when FreeLibrary has been called as often.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/posix/drive_path.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/pe_string_table.h"
#include "platform/win32api.h"

namespace platform_posix {
namespace {

// Far above any real string table; a bigger "MZ" file is not one.
constexpr size_t kMaxImageBytes = 64u << 20;

struct Module {
    bool isImage = false;
    PeStringTable strings;    // an image's string table
    dev_t device = 0;         // an image's file, to find it when loaded again
    ino_t inode = 0;
    void* shared = nullptr;   // a shared object's dlopen handle
    unsigned references = 1;
};

std::mutex g_moduleLock;
uintptr_t g_lastModuleHandle = 0x10000;

// Never destroyed, so that libraries freed by static destructors at exit
// still find the table.
std::map<uintptr_t, std::unique_ptr<Module>>& Modules() {
    static auto* modules = new std::map<uintptr_t, std::unique_ptr<Module>>();
    return *modules;
}

Module* FindModuleLocked(HMODULE handle) {
    auto found = Modules().find(reinterpret_cast<uintptr_t>(handle));
    return found == Modules().end() ? nullptr : found->second.get();
}

HMODULE AddModuleLocked(std::unique_ptr<Module> module) {
    g_lastModuleHandle += 0x10;
    Modules().emplace(g_lastModuleHandle, std::move(module));
    return reinterpret_cast<HMODULE>(g_lastModuleHandle);
}

// Counts another reference to a module already loaded from the same file
// (an image) or the same shared object, and returns its handle; NULL when
// there is none.
HMODULE ReuseModuleLocked(bool isImage, const struct stat* file, void* shared) {
    for (auto& entry : Modules()) {
        Module& module = *entry.second;
        const bool same = isImage ? (module.isImage && module.device == file->st_dev && module.inode == file->st_ino)
                                  : (!module.isImage && module.shared == shared);
        if (!same) continue;
        ++module.references;
        return reinterpret_cast<HMODULE>(entry.first);
    }
    return nullptr;
}

bool ReadWholeFile(int fd, size_t size, std::vector<uint8_t>* bytes) {
    bytes->resize(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, bytes->data() + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

HMODULE LoadImageModule(int fd, const struct stat& file) {
    {
        std::lock_guard<std::mutex> lock(g_moduleLock);
        if (HMODULE loaded = ReuseModuleLocked(true, &file, nullptr)) return loaded;
    }
    std::vector<uint8_t> bytes;
    if (file.st_size < 0 || static_cast<uint64_t>(file.st_size) > kMaxImageBytes ||
        !ReadWholeFile(fd, static_cast<size_t>(file.st_size), &bytes)) {
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    auto module = std::make_unique<Module>();
    module->isImage = true;
    module->device = file.st_dev;
    module->inode = file.st_ino;
    if (!module->strings.Parse(std::move(bytes))) {
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_moduleLock);
    if (HMODULE loaded = ReuseModuleLocked(true, &file, nullptr)) return loaded;
    return AddModuleLocked(std::move(module));
}

// dlopen runs the object's initialisers, which may call back into this
// layer, so no lock is held around it.
HMODULE LoadSharedModule(const std::string& path, DWORD errorWhenMissing) {
    void* shared = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (shared == nullptr) {
        SetLastError(errorWhenMissing);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_moduleLock);
    if (HMODULE loaded = ReuseModuleLocked(false, nullptr, shared)) return loaded;
    auto module = std::make_unique<Module>();
    module->shared = shared;
    return AddModuleLocked(std::move(module));
}

HMODULE LoadModule(const char* fileName) {
    std::string path;
    if (!MapWindowsPath(fileName, &path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // A bare name that is not in the working folder is left to the
        // system's library search, as Windows searches its own folders.
        if (errno == ENOENT && path.find('/') == std::string::npos) return LoadSharedModule(path, ERROR_MOD_NOT_FOUND);
        SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    struct stat file;
    char magic[2] = {0, 0};
    HMODULE result = nullptr;
    if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (pread(fd, magic, 2, 0) == 2 && magic[0] == 'M' && magic[1] == 'Z') {
        result = LoadImageModule(fd, file);
    } else {
        // dlopen searches the library path for a name without a slash.
        if (path.find('/') == std::string::npos) path.insert(0, "./");
        result = LoadSharedModule(path, ERROR_BAD_FORMAT);
    }
    close(fd);
    return result;
}

}  // namespace
}  // namespace platform_posix

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    using namespace platform_posix;
    if (ShouldFailCall("LoadLibraryA")) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return LoadModule(fileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI FreeLibrary(HMODULE handle) {
    using namespace platform_posix;
    std::unique_ptr<Module> released;
    void* shared = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_moduleLock);
        auto found = Modules().find(reinterpret_cast<uintptr_t>(handle));
        if (found == Modules().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        shared = found->second->shared;
        if (--found->second->references == 0) {
            released = std::move(found->second);
            Modules().erase(found);
        }
    }
    // Every LoadLibraryA of a shared object opened it once more, so each
    // FreeLibrary closes it once; finalisers run outside the lock.
    if (shared != nullptr) dlclose(shared);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR name) {
    using namespace platform_posix;
    std::lock_guard<std::mutex> lock(g_moduleLock);
    Module* module = FindModuleLocked(handle);
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Values below 0x10000 are ordinals on Windows, not text to read.
    if (module->isImage || reinterpret_cast<uintptr_t>(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(module->shared, name);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

// Win32 semantics: at most bufferMax - 1 characters and a terminating zero
// are stored and the number of characters stored is returned; a missing
// string stores an empty text and returns 0.  Only the low 16 bits of the
// id count, as on Windows.  With bufferMax 0 (or less) there is no room
// even for the terminator: nothing is stored and the result is 0.
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    using namespace platform_posix;
    if (buffer == nullptr || bufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    std::string text;
    bool found = false;
    try {
        std::lock_guard<std::mutex> lock(g_moduleLock);
        Module* module = FindModuleLocked(instance);
        if (module == nullptr && instance != nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        found = module != nullptr && module->isImage && module->strings.Find(id & 0xFFFFu, &text);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!found) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const size_t copied = std::min(text.size(), static_cast<size_t>(bufferMax) - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return static_cast<int>(copied);
}
