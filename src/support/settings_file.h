/*
 * SettingsFile: the pairing facts in the host's settings file
 * "ISEnvSet.ini" in the data-file folder, section "Synchronization":
 * "PCID" (16 hexadecimal digits) and "SyncTime" (14 digits, "%Y%m%d%H%M%S").
 * The host owns the file; only these two keys are read or written.
 * The path is decided when the object is made, so each start-up step makes
 * a fresh one and the registry is read again.  Write failures are not
 * reported: the host's file is the host's concern.
 */
#ifndef MORVANE_SUPPORT_SETTINGS_FILE_H
#define MORVANE_SUPPORT_SETTINGS_FILE_H

#include <stdint.h>
#include <string>

class SettingsFile {
public:
    // data-file folder + (a backslash unless it ends in one) + "ISEnvSet.ini";
    // the bare "ISEnvSet.ini" when the folder cannot be read.
    SettingsFile();

    const std::string& Path() const { return path_; }

    // Reads "PCID" (default "0000000000000000").  It counts as read when it
    // has at least 16 characters whose first 16 are eight two-digit
    // hexadecimal numbers (either case) and not all eight are zero: then
    // returns 1 with the bytes in id.  Otherwise returns 0 with 8 zero bytes.
    int ReadPCID(uint8_t id[8]) const;
    // Writes "PCID" as 16 upper-case hexadecimal digits.  Returns 1.
    int WritePCID(const uint8_t id[8]) const;
    // Reads "SyncTime" (default "00000000000000") into text.  Returns 1.
    int ReadSyncTime(std::string& text) const;
    // Writes "SyncTime".  Returns 1.
    int WriteSyncTime(const char* text) const;

private:
    std::string path_;
};

#endif
