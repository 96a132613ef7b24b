// What other parts of this layer may learn of a file handle of CreateFileA.
#ifndef MORVANE_PLATFORM_POSIX_FILE_HANDLE_H
#define MORVANE_PLATFORM_POSIX_FILE_HANDLE_H

#include "platform/win32api.h"

namespace platform_posix {

// The descriptor behind a file handle opened for reading; -1, with the last
// error set as Windows sets it, for any other handle.
int ReadableFileDescriptor(HANDLE handle);

}  // namespace platform_posix

#endif
