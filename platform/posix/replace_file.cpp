#include "platform/posix/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform_posix {

namespace {

// The rename is only lasting once the folder's entry is on the disk too.
void FlushFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

}  // namespace

bool ReplaceFile(const std::string& path, const char* content, size_t size, DWORD* error) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkostemp(&temporary[0], O_CLOEXEC);
    if (descriptor < 0) {
        *error = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
        return false;
    }
    // A replaced file keeps its permissions; a new one gets the usual ones.
    struct stat old;
    fchmod(descriptor, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(descriptor, content + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    bool written = done == size && fsync(descriptor) == 0;
    written = close(descriptor) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        *error = ERROR_WRITE_FAULT;
        return false;
    }
    FlushFolder(path);
    return true;
}

}  // namespace platform_posix
