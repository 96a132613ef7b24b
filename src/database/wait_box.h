/*
 * The maker's wait box: a program in the data-file folder ("Lullpane.exe")
 * that tells the user the device is being written while a first
 * synchronisation's records go over in one bulk write.  The adapter only
 * starts it and later terminates it.
 */
#ifndef MORVANE_DATABASE_WAIT_BOX_H
#define MORVANE_DATABASE_WAIT_BOX_H

#include <string>

// The program's file name in the data-file folder.
extern const char kWaitBoxProgram[];  // "Lullpane.exe"

// The command line that starts the wait box: the data-file folder ("." when
// the registry has none), a backslash unless the folder ends in one,
// "Lullpane.exe", and " /M" for mail.
std::string WaitBoxCommandLine(bool forMail);

// start: starts the wait box and holds its process handle (a failed start
// is not reported).  Otherwise terminates the held process, if any, with
// exit code 0 and holds none.
void RunWaitBox(bool start, bool forMail);

#endif
