#include "engine/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>

namespace morvane_engine {

const char kTemporaryPrefix[] = ".morvane-tmp-";
static_assert(sizeof kTemporaryPrefix == kTemporaryPrefixLength + 1, "the prefix's length");

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

std::string TemporaryName(const std::string& path, const std::string& temporaryFolder) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string folder = temporaryFolder.empty() ? FolderOf(path) : temporaryFolder;
    return folder + "/" + kTemporaryPrefix + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
           path.substr(slash + 1);
}

// Writes bytes to a new file; flushes it when flush.  The file is removed
// again on failure.  info, when given, gets the file's status as written.
// It is readable by its owner alone, as contacts, calendars and mail are
// kept, unless it replaces replaced: then it keeps that file's permissions.
bool WriteNew(const std::string& temporary, const std::string& bytes, bool flush, const std::string& replaced,
              std::string* error, struct stat* info = nullptr) {
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = Reason("cannot create", temporary);
        return false;
    }
    struct stat before;
    bool written = (replaced.empty() || stat(replaced.c_str(), &before) != 0 ||
                    fchmod(fd, before.st_mode & 07777) == 0) &&
                   WriteAll(fd, bytes) && (!flush || fsync(fd) == 0) && (info == nullptr || fstat(fd, info) == 0);
    if (!written) *error = Reason("cannot write", temporary);
    if (close(fd) != 0 && written) {
        *error = Reason("cannot write", temporary);
        written = false;
    }
    if (!written) unlink(temporary.c_str());
    return written;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error,
                         const std::string& temporaryFolder) {
    const std::string temporary = TemporaryName(path, temporaryFolder);
    if (!WriteNew(temporary, bytes, true, path, error)) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        *error = Reason("cannot rename into", path);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

StagedWrites::~StagedWrites() {
    for (const Staged& staged : staged_) unlink(staged.temporary.c_str());
}

bool StagedWrites::Stage(const std::string& path, const std::string& bytes, const std::string& temporaryFolder,
                         const std::string& replaced, int64_t* size, int64_t* mtime, std::string* error) {
    Staged staged{TemporaryName(path, temporaryFolder), path};
    struct stat info;
    if (!WriteNew(staged.temporary, bytes, false, replaced, error, &info)) return false;
    StampOf(info, size, mtime);
    staged_.push_back(staged);
    return true;
}

// A few files are flushed one by one; many at once with the file system
// they are on, which costs one journal commit instead of one each.
bool StagedWrites::Commit(std::string* error) {
    constexpr size_t kFlushOneByOne = 8;
    if (staged_.size() > kFlushOneByOne) {
        const int fd = open(FolderOf(staged_.front().temporary).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool flushed = fd >= 0 && syncfs(fd) == 0;
        if (fd >= 0) close(fd);
        if (!flushed) {
            *error = Reason("cannot flush", FolderOf(staged_.front().temporary));
            return false;
        }
    } else {
        for (const Staged& staged : staged_) {
            const int fd = open(staged.temporary.c_str(), O_RDONLY | O_CLOEXEC);
            const bool flushed = fd >= 0 && fsync(fd) == 0;
            if (fd >= 0) close(fd);
            if (!flushed) {
                *error = Reason("cannot flush", staged.temporary);
                return false;
            }
        }
    }
    while (!staged_.empty()) {
        const Staged staged = staged_.back();
        if (rename(staged.temporary.c_str(), staged.path.c_str()) != 0) {
            *error = Reason("cannot rename into", staged.path);
            return false;
        }
        staged_.pop_back();
        folders_.push_back(FolderOf(staged.path));
    }
    for (const std::string& path : removals_) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            *error = Reason("cannot remove", path);
            return false;
        }
        folders_.push_back(FolderOf(path));
    }
    removals_.clear();
    std::sort(folders_.begin(), folders_.end());
    folders_.erase(std::unique(folders_.begin(), folders_.end()), folders_.end());
    for (const std::string& folder : folders_)
        if (!FlushFolder(folder, error)) return false;
    folders_.clear();
    return true;
}

void RemoveLeftovers(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    const size_t prefix = kTemporaryPrefixLength;
    while (const dirent* found = readdir(dir))
        if (strncmp(found->d_name, kTemporaryPrefix, prefix) == 0) unlink((folder + "/" + found->d_name).c_str());
    closedir(dir);
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
    StampOf(info, size, mtime);
    return true;
}

void StampOf(const struct stat& info, int64_t* size, int64_t* mtime) {
    *size = static_cast<int64_t>(info.st_size);
    *mtime = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool MoveFile(const std::string& from, const std::string& to, std::string* error) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        *error = Reason("cannot move " + from + " to", to);
        return false;
    }
    return FlushFolder(FolderOf(to), error) && FlushFolder(FolderOf(from), error);
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool NameCollection(const std::string& root, const std::string& displayName, std::string* error) {
    const std::string name = root + "/displayname";
    if (access(name.c_str(), F_OK) == 0) return true;
    return WriteFileAtomically(name, displayName + "\n", error) && FlushFolder(root, error);
}

}  // namespace morvane_engine
