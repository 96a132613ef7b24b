// File mappings: CreateFileMappingA and MapViewOfFile on mmap(2), for the
// read-only views of whole files that the device link library's images
// need.  A mapping object keeps its own descriptor of the file, so that it
// outlives the file's handle as on Windows; a view keeps the pages, and
// outlives both.
#include "platform/posix/fault_injection.h"
#include "platform/posix/file_handle.h"
#include "platform/posix/kernel_object.h"
#include "platform/win32api.h"

#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class MappingObject : public platform_posix::KernelObject {
public:
    MappingObject(int descriptor, uint64_t size) : descriptor_(descriptor), size_(size) {}
    ~MappingObject() override { close(descriptor_); }
    int descriptor() const { return descriptor_; }
    uint64_t size() const { return size_; }

private:
    int descriptor_;
    uint64_t size_;
};

// Every live view and its length, which munmap needs and Windows keeps.
std::mutex g_viewsLock;
std::map<const void*, size_t>& Views() {
    static std::map<const void*, size_t>* views = new std::map<const void*, size_t>;
    return *views;
}

}  // namespace

HANDLE WINAPI CreateFileMappingA(HANDLE file, LPVOID security, DWORD protect, DWORD maximumSizeHigh,
                                 DWORD maximumSizeLow, LPCSTR name) {
    (void)security;
    if (platform_posix::ShouldFailCall("CreateFileMappingA")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (protect != PAGE_READONLY || name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int descriptor = platform_posix::ReadableFileDescriptor(file);
    struct stat info;
    if (descriptor < 0) return nullptr;
    if (fstat(descriptor, &info) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    const uint64_t asked = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    // A read-only mapping cannot grow its file, and one of an empty file
    // would hold nothing.
    if (asked > fileSize) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (fileSize == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    const int own = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* mapping = new (std::nothrow) MappingObject(own, asked == 0 ? fileSize : asked);
    if (mapping == nullptr) close(own);
    HANDLE handle = mapping == nullptr ? nullptr : platform_posix::RegisterHandle(mapping);
    SetLastError(handle == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS);
    return handle;
}

LPVOID WINAPI MapViewOfFile(HANDLE handle, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    MappingObject* mapping = platform_posix::LookupHandleAs<MappingObject>(handle);
    if (mapping == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // This subset maps from the start of the mapping, for reading.
    if (access != FILE_MAP_READ || offsetHigh != 0 || offsetLow != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bytes > mapping->size()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const size_t length = bytes == 0 ? static_cast<size_t>(mapping->size()) : bytes;
    // Populated at once: whoever maps a file here reads all of it, and one
    // call costs less than a fault for every page.
    void* base = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, mapping->descriptor(), 0);
    if (base == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        std::lock_guard<std::mutex> hold(g_viewsLock);
        Views()[base] = length;
    } catch (...) {
        munmap(base, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID base) {
    size_t length = 0;
    {
        std::lock_guard<std::mutex> hold(g_viewsLock);
        auto found = Views().find(base);
        if (found != Views().end()) {
            length = found->second;
            Views().erase(found);
        }
    }
    if (length == 0) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    munmap(const_cast<void*>(base), length);
    return TRUE;
}
