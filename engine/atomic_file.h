// Writing a file so that no reader ever sees it half-written: a temporary
// file in the same folder, flushed to disk, then renamed over the target.
// The folder itself is flushed by FlushFolder, once for many files.
#ifndef MORVANE_ENGINE_ATOMIC_FILE_H
#define MORVANE_ENGINE_ATOMIC_FILE_H

#include <stdint.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace morvane_engine {

// Prefix of the temporary files; collections ignore files that carry it.
extern const char kTemporaryPrefix[];
constexpr size_t kTemporaryPrefixLength = 13;

// temporaryFolder: where the temporary file goes (a Maildir's tmp/); empty:
// beside path.  The file keeps the permissions of the one it replaces; a
// new one is readable by its owner alone.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error,
                         const std::string& temporaryFolder = std::string());
bool FlushFolder(const std::string& folder, std::string* error);

// Many files written atomically at the cost of a few flushes: each is
// written to a temporary file at once, and Commit brings all of them to
// disk together, renames each into place and flushes the folders.  Until
// Commit no reader sees any of them; after it every one is whole.
class StagedWrites {
public:
    StagedWrites() = default;
    ~StagedWrites();  // what was never committed is removed
    StagedWrites(const StagedWrites&) = delete;
    StagedWrites& operator=(const StagedWrites&) = delete;
    // Takes over what other staged, which is left with nothing.
    StagedWrites(StagedWrites&& other) noexcept = default;

    // temporaryFolder: as for WriteFileAtomically.  The new file keeps the
    // permissions of the file replaced (empty: none; it is then readable
    // by its owner alone).  *size and *mtime get the file's, which the
    // rename keeps.
    bool Stage(const std::string& path, const std::string& bytes, const std::string& temporaryFolder,
               const std::string& replaced, int64_t* size, int64_t* mtime, std::string* error);
    // A folder to flush with the next commit (a file was removed from it).
    void Touch(const std::string& folder) { folders_.push_back(folder); }
    // A file to remove once the staged files are in place (the old file of
    // one that moved): until then the item is never missing.
    void RemoveAfter(const std::string& path) { removals_.push_back(path); }
    bool Commit(std::string* error);

private:
    struct Staged {
        std::string temporary, path;
    };
    std::vector<Staged> staged_;
    std::vector<std::string> folders_;
    std::vector<std::string> removals_;
};

// Removes the temporary files an interrupted run left in folder.
void RemoveLeftovers(const std::string& folder);
// Whether path is a folder.
bool IsFolder(const std::string& path);
// Gives a collection folder the name PIM programs show ("displayname"),
// unless it has one already.
bool NameCollection(const std::string& root, const std::string& displayName, std::string* error);
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
// Size and modification time (nanoseconds) of a file; false when missing.
bool FileStamp(const std::string& path, int64_t* size, int64_t* mtime);
// The same, from a status already read.
void StampOf(const struct stat& info, int64_t* size, int64_t* mtime);
// Renames and flushes both folders.
bool MoveFile(const std::string& from, const std::string& to, std::string* error);

}  // namespace morvane_engine

#endif
