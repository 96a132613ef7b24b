// Windows command lines on a POSIX host.
//
// CreateProcessA takes one command line where POSIX takes an argument
// vector.  The program is the first token, found the way CreateProcessA
// finds it; the remaining text is split into arguments by the rules of the
// Microsoft C runtime, which is how the started program would have split
// its command line on Windows.
#ifndef MORVANE_PLATFORM_POSIX_COMMAND_LINE_H
#define MORVANE_PLATFORM_POSIX_COMMAND_LINE_H

#include <string>
#include <vector>

namespace platform_posix {

// Splits text into arguments: blanks (space, tab) separate them; double
// quotes group text with blanks and are removed; inside quotes a pair of
// double quotes gives one literal quote and ends the quoted part;
// backslashes are literal unless they precede a double quote, where each
// pair gives one backslash and an odd one left over makes the quote
// literal.  An unterminated quote runs to the end of the text.
std::vector<std::string> SplitCommandLineArguments(const std::string& text);

// The program of a command line given without an application name, as
// CreateProcessA finds it.  A quoted first token is the program.  Otherwise
// the program may contain blanks: every blank-separated prefix of the line
// is a candidate, the longest that names an existing file winning.  A
// candidate without an extension whose plain name does not exist is tried
// with ".exe" appended.  Each candidate is a Windows path, mapped to the
// host before it is looked at.
struct CommandLineProgram {
    std::string windowsName;  // the program as the command line names it (argv[0])
    std::string hostPath;     // the existing file that runs
    std::string arguments;    // the text after the program
};

// Fills *program and returns true when the command line names an existing
// file; returns false otherwise.
bool FindCommandLineProgram(const std::string& commandLine, CommandLineProgram* program);

// The host path of a Windows program name that exists as a regular file,
// or "" when there is none; ".exe" is appended as described above when
// appendExe is set.
std::string ResolveProgramFile(const std::string& windowsName, bool appendExe);

}  // namespace platform_posix

#endif
