// morvane-sync backup and restore: the whole handheld into one file, and
// the handheld put back to such a file.
#ifndef MORVANE_HOST_BACKUP_COMMAND_H
#define MORVANE_HOST_BACKUP_COMMAND_H

#include <string>

namespace morvane_host {

// Each returns the program's exit status (as sync's: 0 done, 1 the device
// or the file failed, 2 a bad command line, 4 the store is locked).
int RunBackup(const std::string& programFolder, int argc, char** argv);
int RunRestore(const std::string& programFolder, int argc, char** argv);

}  // namespace morvane_host

#endif
