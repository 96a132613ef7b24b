// The lock that keeps two synchronisations off one store: an exclusive
// lock on <store>/.morvane/lock, held while the object lives and released
// by the system when the process ends, however it ends.
#ifndef MORVANE_ENGINE_STORE_LOCK_H
#define MORVANE_ENGINE_STORE_LOCK_H

#include <string>

namespace morvane_engine {

class StoreLock {
public:
    StoreLock() = default;
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // False with *busy true when another process holds it, *busy false
    // and the reason in *error when it cannot be taken at all.
    bool Take(const std::string& folder, bool* busy, std::string* error);

private:
    int fd_ = -1;
};

}  // namespace morvane_engine

#endif
