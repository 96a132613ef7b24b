// Writing a file so that no reader ever sees it half-written: a temporary
// file in the same folder, flushed to disk, then renamed over the target.
// The folder itself is flushed by FlushFolder, once for many files.
#ifndef MORVANE_ENGINE_ATOMIC_FILE_H
#define MORVANE_ENGINE_ATOMIC_FILE_H

#include <stdint.h>

#include <string>

namespace morvane_engine {

// Prefix of the temporary files; collections ignore files that carry it.
extern const char kTemporaryPrefix[];

// temporaryFolder: where the temporary file goes (a Maildir's tmp/); empty:
// beside path.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error,
                         const std::string& temporaryFolder = std::string());
bool FlushFolder(const std::string& folder, std::string* error);
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
// Size and modification time (nanoseconds) of a file; false when missing.
bool FileStamp(const std::string& path, int64_t* size, int64_t* mtime);
// Renames and flushes both folders.
bool MoveFile(const std::string& from, const std::string& to, std::string* error);

}  // namespace morvane_engine

#endif
