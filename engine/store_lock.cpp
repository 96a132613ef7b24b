#include "engine/store_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace morvane_engine {

StoreLock::~StoreLock() {
    if (fd_ >= 0) close(fd_);
}

bool StoreLock::Take(const std::string& folder, bool* busy, std::string* error) {
    *busy = false;
    const std::string path = folder + "/lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        *error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    *busy = errno == EWOULDBLOCK;
    *error = *busy ? "another morvane-sync is synchronising " + folder : "cannot lock " + path + ": " + strerror(errno);
    close(fd_);
    fd_ = -1;
    return false;
}

}  // namespace morvane_engine
