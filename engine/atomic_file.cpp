#include "engine/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace morvane_engine {

const char kTemporaryPrefix[] = ".morvane-tmp-";

namespace {

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + strerror(errno);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error,
                         const std::string& temporaryFolder) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string folder = temporaryFolder.empty() ? FolderOf(path) : temporaryFolder;
    const std::string temporary = folder + "/" + kTemporaryPrefix + std::to_string(getpid()) + "-" +
                                  std::to_string(counter++) + "-" + path.substr(slash + 1);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = Reason("cannot create", temporary);
        return false;
    }
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    if (!written) *error = Reason("cannot write", temporary);
    if (close(fd) != 0 && written) {
        *error = Reason("cannot write", temporary);
        unlink(temporary.c_str());
        return false;
    }
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        *error = Reason("cannot rename into", path);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool FlushFolder(const std::string& folder, std::string* error) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("cannot open", folder);
        return false;
    }
    const bool ok = fsync(fd) == 0;
    if (!ok) *error = Reason("cannot flush", folder);
    close(fd);
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    bytes->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("cannot open", path);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = Reason("cannot read", path);
            close(fd);
            return false;
        }
        if (got == 0) break;
        bytes->append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

bool FileStamp(const std::string& path, int64_t* size, int64_t* mtime) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    *size = static_cast<int64_t>(info.st_size);
    *mtime = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

bool MoveFile(const std::string& from, const std::string& to, std::string* error) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        *error = Reason("cannot move " + from + " to", to);
        return false;
    }
    return FlushFolder(FolderOf(to), error) && FlushFolder(FolderOf(from), error);
}

}  // namespace morvane_engine
