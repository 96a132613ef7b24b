// Windows command-line parsing: see command_line.h.
#include "platform/posix/command_line.h"

#include <sys/stat.h>

#include "platform/posix/drive_path.h"

namespace platform_posix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// True when the last component of a Windows path has a dot.
bool HasExtension(const std::string& windowsName) {
    const size_t slash = windowsName.find_last_of("\\/:");
    const size_t dot = windowsName.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

std::vector<std::string> SplitCommandLineArguments(const std::string& text) {
    std::vector<std::string> arguments;
    size_t at = 0;
    const size_t end = text.size();
    while (true) {
        while (at < end && IsBlank(text[at])) ++at;
        if (at == end) break;
        std::string argument;
        bool quoted = false;
        while (at < end && (quoted || !IsBlank(text[at]))) {
            size_t backslashes = 0;
            while (at < end && text[at] == '\\') {
                ++backslashes;
                ++at;
            }
            if (at == end || text[at] != '"') {
                argument.append(backslashes, '\\');
                if (at < end && backslashes == 0) argument += text[at++];
                continue;
            }
            argument.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                argument += '"';
            } else if (quoted && at + 1 < end && text[at + 1] == '"') {
                argument += '"';  // "" inside quotes: a literal quote that also closes them
                ++at;
                quoted = false;
            } else {
                quoted = !quoted;
            }
            ++at;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::string ResolveProgramFile(const std::string& windowsName, bool appendExe) {
    std::string hostPath;
    if (windowsName.empty() || !MapWindowsPath(windowsName.c_str(), &hostPath)) return "";
    if (IsRegularFile(hostPath)) return hostPath;
    if (!appendExe || HasExtension(windowsName)) return "";
    hostPath.clear();
    if (!MapWindowsPath((windowsName + ".exe").c_str(), &hostPath) || !IsRegularFile(hostPath)) return "";
    return hostPath;
}

bool FindCommandLineProgram(const std::string& commandLine, CommandLineProgram* program) {
    size_t start = 0;
    while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
    if (start == commandLine.size()) return false;
    if (commandLine[start] == '"') {
        const size_t close = commandLine.find('"', start + 1);
        const size_t nameEnd = close == std::string::npos ? commandLine.size() : close;
        program->windowsName = commandLine.substr(start + 1, nameEnd - start - 1);
        program->hostPath = ResolveProgramFile(program->windowsName, true);
        program->arguments = close == std::string::npos ? "" : commandLine.substr(close + 1);
        return !program->hostPath.empty();
    }
    // Candidates end where a blank starts, and at the end of the line;
    // the longest is tried first.
    std::vector<size_t> ends;
    for (size_t at = start + 1; at < commandLine.size(); ++at)
        if (IsBlank(commandLine[at]) && !IsBlank(commandLine[at - 1])) ends.push_back(at);
    if (!IsBlank(commandLine.back())) ends.push_back(commandLine.size());
    for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
        const std::string candidate = commandLine.substr(start, *end - start);
        const std::string hostPath = ResolveProgramFile(candidate, true);
        if (hostPath.empty()) continue;
        program->windowsName = candidate;
        program->hostPath = hostPath;
        program->arguments = commandLine.substr(*end);
        return true;
    }
    return false;
}

}  // namespace platform_posix
