// Windows paths on a POSIX host.
//
// The library names its files the Windows way ("C:\QADbgLog.txt", a data
// folder read from the registry, a bare "ISEnvSet.ini").  Every function of
// this layer that takes a file name maps it here first:
//   "C:\a\b" (drive letter c or C)  -> $MORVANE_DRIVE_C/a/b
//   "\a\b"   (root of the current drive, which is always C:)
//                                   -> $MORVANE_DRIVE_C/a/b
//   "/a/b"   (already a host path)  -> unchanged
//   "a\b"    (relative)             -> "a/b", relative to the working directory
// MORVANE_DRIVE_C defaults to $HOME/.morvane/drive_c and is created the first
// time a path on drive C is mapped.  The environment is read on every call,
// so a test may point it elsewhere at any time.
#ifndef MORVANE_PLATFORM_POSIX_DRIVE_PATH_H
#define MORVANE_PLATFORM_POSIX_DRIVE_PATH_H

#include <string>

namespace platform_posix {

// Maps windowsPath to the host path in *hostPath and returns true.  Returns
// false, leaving *hostPath empty, for a null or empty path, a drive letter
// other than C, or a network path ("\\server\share"): none of them exists
// on this host, and the caller fails with ERROR_PATH_NOT_FOUND.
bool MapWindowsPath(const char* windowsPath, std::string* hostPath);

// The host folder standing for "C:\" (without a trailing slash), created
// when missing.  Empty when neither MORVANE_DRIVE_C nor HOME is set.
std::string DriveCFolder();

// $HOME/.morvane/<leaf>: where the layer's own defaults live (the drive-C
// folder, the registry file).  Empty when HOME is not set.
std::string MorvaneHomePath(const char* leaf);

// The registry file that serves HKEY_CURRENT_USER: $MORVANE_REGISTRY, else
// $HOME/.morvane/user.reg.
std::string RegistryFilePath();

// True when name holds no path separator ('\\', '/') and no drive ("a:"),
// i.e. a bare file name that Windows would resolve against a folder of its
// choosing.
bool IsBareFileName(const char* name);

}  // namespace platform_posix

#endif
