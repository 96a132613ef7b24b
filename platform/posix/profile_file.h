// A profile (INI) file as lines, so that a write changes the one line it
// concerns and every other line goes back to disk byte for byte.  The rules
// for names and values are those of profile.cpp.
#ifndef MORVANE_PLATFORM_POSIX_PROFILE_FILE_H
#define MORVANE_PLATFORM_POSIX_PROFILE_FILE_H

#include <string>
#include <vector>

namespace platform_posix {

struct ProfileLine {
    std::string text;    // without its line ending
    std::string ending;  // "\r\n", "\n", or "" for a last line without one
};
using ProfileLines = std::vector<ProfileLine>;

// Reads the file at hostPath; false, with lines empty, when it cannot be read.
bool LoadProfile(const std::string& hostPath, ProfileLines* lines);
std::string JoinProfile(const ProfileLines& lines);

// Section names in file order; key names of the first section called section.
std::vector<std::string> SectionNames(const ProfileLines& lines);
std::vector<std::string> KeyNames(const ProfileLines& lines, const char* section);

// The value of the first key called key in the first section called section,
// blanks and one pair of surrounding quotes removed; false when missing.
bool FindValue(const ProfileLines& lines, const char* section, const char* key, std::string* value);

// Each returns whether the lines changed.
bool SetValue(ProfileLines* lines, const char* section, const char* key, const char* text);
bool DeleteKey(ProfileLines* lines, const char* section, const char* key);
bool DeleteSection(ProfileLines* lines, const char* section);

}  // namespace platform_posix

#endif
