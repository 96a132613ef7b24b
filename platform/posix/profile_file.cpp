// Profile files as lines (profile_file.h).
#include "platform/posix/profile_file.h"

#include <fstream>
#include <sstream>
#include <strings.h>

namespace platform_posix {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), Trim(b).c_str()) == 0; }

// The name of a section header line ("[name]", blanks allowed around it).
bool SectionOf(const std::string& text, std::string* name) {
    std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed[0] != '[') return false;
    size_t close = trimmed.find(']');
    *name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key and raw value of a "key=value" line; comments and headers are none.
bool KeyOf(const std::string& text, std::string* key, std::string* value) {
    std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[') return false;
    size_t equals = trimmed.find('=');
    if (equals == std::string::npos) return false;
    *key = Trim(trimmed.substr(0, equals));
    *value = trimmed.substr(equals + 1);
    return !key->empty();
}

// Index of the first header of section, or kNone; *end is set to the index
// of the next header (or the line count).
size_t FindSection(const ProfileLines& lines, const char* section, size_t* end) {
    std::string name;
    size_t header = kNone;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionOf(lines[i].text, &name)) continue;
        if (header != kNone) {
            *end = i;
            return header;
        }
        if (SameName(name, section)) header = i;
    }
    *end = lines.size();
    return header;
}

size_t FindKey(const ProfileLines& lines, size_t header, size_t end, const char* key) {
    std::string name, value;
    for (size_t i = header + 1; i < end; ++i)
        if (KeyOf(lines[i].text, &name, &value) && SameName(name, key)) return i;
    return kNone;
}

// The line ending new lines get: the file's own, CR LF for a new file.
std::string NewLineEnding(const ProfileLines& lines) {
    for (const ProfileLine& line : lines)
        if (!line.ending.empty()) return line.ending;
    return "\r\n";
}

// Inserts text as a line at index, making sure the line before it ends.
void InsertLine(ProfileLines* lines, size_t index, const std::string& text) {
    std::string ending = NewLineEnding(*lines);
    if (index > 0 && (*lines)[index - 1].ending.empty()) (*lines)[index - 1].ending = ending;
    lines->insert(lines->begin() + static_cast<std::ptrdiff_t>(index), ProfileLine{text, ending});
}

}  // namespace

bool LoadProfile(const std::string& hostPath, ProfileLines* lines) {
    lines->clear();
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t stop = newline == std::string::npos ? text.size() : newline;
        size_t textEnd = (stop > start && text[stop - 1] == '\r') ? stop - 1 : stop;
        lines->push_back(ProfileLine{text.substr(start, textEnd - start),
                                     newline == std::string::npos ? text.substr(textEnd) : text.substr(textEnd, stop + 1 - textEnd)});
        start = stop + 1;
    }
    return true;
}

std::string JoinProfile(const ProfileLines& lines) {
    std::string text;
    for (const ProfileLine& line : lines) text += line.text + line.ending;
    return text;
}

std::vector<std::string> SectionNames(const ProfileLines& lines) {
    std::vector<std::string> names;
    std::string name;
    for (const ProfileLine& line : lines)
        if (SectionOf(line.text, &name)) names.push_back(name);
    return names;
}

std::vector<std::string> KeyNames(const ProfileLines& lines, const char* section) {
    std::vector<std::string> names;
    size_t end = 0;
    size_t header = FindSection(lines, section, &end);
    std::string key, value;
    for (size_t i = header == kNone ? end : header + 1; i < end; ++i)
        if (KeyOf(lines[i].text, &key, &value)) names.push_back(key);
    return names;
}

bool FindValue(const ProfileLines& lines, const char* section, const char* key, std::string* value) {
    size_t end = 0;
    size_t header = FindSection(lines, section, &end);
    size_t index = header == kNone ? kNone : FindKey(lines, header, end, key);
    std::string name;
    if (index == kNone || !KeyOf(lines[index].text, &name, value)) return false;
    *value = Trim(*value);
    if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') && value->back() == value->front())
        *value = value->substr(1, value->size() - 2);
    return true;
}

bool SetValue(ProfileLines* lines, const char* section, const char* key, const char* text) {
    size_t end = 0;
    size_t header = FindSection(*lines, section, &end);
    if (header == kNone) {
        if (!lines->empty() && !Trim(lines->back().text).empty()) InsertLine(lines, lines->size(), "");
        InsertLine(lines, lines->size(), "[" + Trim(section) + "]");
        InsertLine(lines, lines->size(), Trim(key) + "=" + text);
        return true;
    }
    size_t index = FindKey(*lines, header, end, key);
    if (index != kNone) {
        std::string name, value;
        KeyOf((*lines)[index].text, &name, &value);
        std::string replacement = name + "=" + text;
        if ((*lines)[index].text == replacement) return false;
        (*lines)[index].text = replacement;
        return true;
    }
    // After the section's last line that is not blank, so that the blank
    // line separating it from the next section stays where it is.
    size_t after = header + 1;
    for (size_t i = header + 1; i < end; ++i)
        if (!Trim((*lines)[i].text).empty()) after = i + 1;
    InsertLine(lines, after, Trim(key) + "=" + text);
    return true;
}

bool DeleteKey(ProfileLines* lines, const char* section, const char* key) {
    size_t end = 0;
    size_t header = FindSection(*lines, section, &end);
    size_t index = header == kNone ? kNone : FindKey(*lines, header, end, key);
    if (index == kNone) return false;
    lines->erase(lines->begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool DeleteSection(ProfileLines* lines, const char* section) {
    size_t end = 0;
    size_t header = FindSection(*lines, section, &end);
    if (header == kNone) return false;
    lines->erase(lines->begin() + static_cast<std::ptrdiff_t>(header), lines->begin() + static_cast<std::ptrdiff_t>(end));
    return true;
}

}  // namespace platform_posix
