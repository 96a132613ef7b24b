// Files: CreateFileA, ReadFile, WriteFile, GetFileSize, DeleteFileA on
// POSIX descriptors, with Windows paths mapped through drive_path.h.
#include "platform/posix/drive_path.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/file_handle.h"
#include "platform/posix/kernel_object.h"
#include "platform/win32api.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What CreateFileA reports on success when OPEN_ALWAYS or CREATE_ALWAYS
// found the file already there.
constexpr DWORD kErrorAlreadyExists = 183;

class FileObject : public platform_posix::KernelObject {
public:
    FileObject(int descriptor, bool canRead, bool canWrite)
        : descriptor_(descriptor), canRead_(canRead), canWrite_(canWrite) {}
    ~FileObject() override { close(descriptor_); }
    int descriptor() const { return descriptor_; }
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }

private:
    int descriptor_;
    bool canRead_;
    bool canWrite_;
};

bool ParentFolderExists(const std::string& hostPath) {
    size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) return true;
    struct stat info;
    return stat(hostPath.substr(0, slash == 0 ? 1 : slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The Win32 code for a failed open or unlink of hostPath.
DWORD ErrorFromErrno(int error, const std::string& hostPath) {
    switch (error) {
    case ENOENT: return ParentFolderExists(hostPath) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;  // EACCES, EPERM, EROFS, EISDIR, EBUSY...
    }
}

FileObject* FindFile(HANDLE handle) {
    FileObject* file = platform_posix::LookupHandleAs<FileObject>(handle);
    if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

// open(2) flags for a Win32 access mask and creation disposition; false for
// a disposition this layer does not offer.
bool OpenFlags(DWORD access, DWORD creation, int* flags) {
    bool canRead = (access & GENERIC_READ) != 0;
    bool canWrite = (access & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0;
    *flags = O_CLOEXEC | (canRead && canWrite ? O_RDWR : canWrite ? O_WRONLY : O_RDONLY);
    // Append-only access writes at the end whatever the file position is;
    // GENERIC_WRITE includes the right to write anywhere and overrides it.
    if ((access & FILE_APPEND_DATA) != 0 && (access & GENERIC_WRITE) == 0) *flags |= O_APPEND;
    switch (creation) {
    case OPEN_EXISTING: return true;
    case OPEN_ALWAYS: *flags |= O_CREAT; return true;
    case CREATE_ALWAYS: *flags |= O_CREAT | O_TRUNC; return true;
    default: return false;
    }
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPVOID security, DWORD creation,
                          DWORD flags, HANDLE templateFile) {
    (void)shareMode;  // POSIX has no share modes; every opener may share
    (void)security;
    (void)flags;
    (void)templateFile;
    if (platform_posix::ShouldFailCall("CreateFileA")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int openFlags = 0;
    if (!OpenFlags(access, creation, &openFlags)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string hostPath;
    if (!platform_posix::MapWindowsPath(fileName, &hostPath)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat before;
    bool existed = stat(hostPath.c_str(), &before) == 0;
    int descriptor = open(hostPath.c_str(), openFlags, 0666);
    if (descriptor < 0) {
        SetLastError(ErrorFromErrno(errno, hostPath));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || S_ISDIR(info.st_mode)) {
        // Windows opens a folder only with backup semantics, which the
        // library never asks for.
        close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new (std::nothrow) FileObject(descriptor, (access & GENERIC_READ) != 0,
                                               (access & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0);
    if (file == nullptr) close(descriptor);
    HANDLE handle = file == nullptr ? nullptr : platform_posix::RegisterHandle(file);
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(existed && creation != OPEN_EXISTING ? kErrorAlreadyExists : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID overlapped) {
    (void)overlapped;
    if (read != nullptr) *read = 0;
    if (platform_posix::ShouldFailCall("ReadFile")) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    FileObject* file = FindFile(handle);
    if (file == nullptr) return FALSE;
    if (!file->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toRead) {
        ssize_t got = ::read(file->descriptor(), static_cast<char*>(buffer) + done, toRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (read != nullptr) *read = done;
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (got == 0) break;  // end of file: success with fewer bytes
        done += static_cast<DWORD>(got);
    }
    if (read != nullptr) *read = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID overlapped) {
    (void)overlapped;
    if (written != nullptr) *written = 0;
    if (platform_posix::ShouldFailCall("WriteFile")) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    FileObject* file = FindFile(handle);
    if (file == nullptr) return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t put = ::write(file->descriptor(), static_cast<const char*>(buffer) + done, toWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (written != nullptr) *written = done;
            SetLastError(ERROR_WRITE_FAULT);
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (written != nullptr) *written = done;
    return TRUE;
}

int platform_posix::ReadableFileDescriptor(HANDLE handle) {
    FileObject* file = FindFile(handle);
    if (file == nullptr) return -1;
    if (!file->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    return file->descriptor();
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    FileObject* file = FindFile(handle);
    struct stat info;
    if (file == nullptr || fstat(file->descriptor(), &info) != 0) {
        if (file != nullptr) SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
    // A size whose low half reads as INVALID_FILE_SIZE is told apart by
    // GetLastError, as on Windows.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
    if (platform_posix::ShouldFailCall("DeleteFileA")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string hostPath;
    if (!platform_posix::MapWindowsPath(fileName, &hostPath)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat info;
    if (lstat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);  // folders are removed by RemoveDirectory
        return FALSE;
    }
    if (unlink(hostPath.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno, hostPath));
        return FALSE;
    }
    return TRUE;
}
