// Replacing a file whole: the new content goes to a temporary file beside
// it, which is flushed and renamed over it, and the folder is flushed, so
// that the file is always the old one or the new one in full.
#ifndef MORVANE_PLATFORM_POSIX_REPLACE_FILE_H
#define MORVANE_PLATFORM_POSIX_REPLACE_FILE_H

#include <stddef.h>

#include <string>

#include "platform/win32api.h"

namespace platform_posix {

// False with a Win32 error code in *error when the file could not be
// written; the old file is then left as it was.
bool ReplaceFile(const std::string& path, const char* content, size_t size, DWORD* error);

}  // namespace platform_posix

#endif
