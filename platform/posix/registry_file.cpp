// Parsing of .reg text (registry_file.h).
#include "platform/posix/registry_file.h"

#include <cctype>
#include <vector>

namespace platform_posix {
namespace {

const char kHeaderVersion5[] = "Windows Registry Editor Version 5.00";
const char kHeaderVersion4[] = "REGEDIT4";

// The registry editor writes version 5.00 files in UTF-16LE with a byte
// order mark.  Names and values this layer serves are 8-bit text, so code
// units above 255 become '?'.
std::string DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string text;
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
            text += unit < 256 ? static_cast<char>(unit) : '?';
        }
        return text;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Reads a quoted string starting at text[*pos] == '"', undoing the \\ and \"
// escapes; leaves *pos after the closing quote.  False when unterminated.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out) {
    out->clear();
    size_t i = *pos + 1;
    while (i < text.size()) {
        char c = text[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            *out += text[i + 1];
            i += 2;
            continue;
        }
        *out += c;
        ++i;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

bool ParseDword(const std::string& digits, std::string* data) {
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t value = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    data->clear();
    for (int shift = 0; shift < 32; shift += 8) *data += static_cast<char>((value >> shift) & 0xFF);
    return true;
}

// "01,02,ab" (blanks allowed, a trailing comma tolerated) into bytes.
bool ParseHexBytes(const std::string& list, std::string* data) {
    data->clear();
    std::string compact;
    for (char c : list)
        if (c != ' ' && c != '\t') compact += c;
    if (!compact.empty() && compact.back() == ',') compact.pop_back();
    if (compact.empty()) return true;
    for (size_t i = 0; i < compact.size(); i += 3) {
        if (i + 2 > compact.size() || (i + 2 < compact.size() && compact[i + 2] != ',')) return false;
        int high = HexDigit(compact[i]);
        int low = HexDigit(compact[i + 1]);
        if (high < 0 || low < 0) return false;
        *data += static_cast<char>(high * 16 + low);
    }
    return true;
}

// Parses "hex:..." or "hex(N):...", joining the continuation lines that
// end in a backslash; *next is advanced past every line consumed.
bool ParseHexValue(const std::string& text, const std::vector<std::string>& lines, size_t* next,
                   RegistryValue* value) {
    size_t colon = text.find(':');
    std::string kind = text.substr(0, colon);
    value->type = REG_BINARY;
    if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
        DWORD type = 0;
        if (kind.size() > 4 + 8 + 1) return false;
        for (size_t i = 4; i + 1 < kind.size(); ++i) {
            int digit = HexDigit(kind[i]);
            if (digit < 0) return false;
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value->type = type;
    } else if (kind != "hex") {
        return false;
    }
    std::string list = Trim(text.substr(colon + 1));
    while (!list.empty() && list.back() == '\\' && *next < lines.size()) {
        list.pop_back();
        list += Trim(lines[(*next)++]);
    }
    return ParseHexBytes(list, &value->data);
}

// One value line into name and value; false when it is malformed.  A
// deletion ("name"=-) parses but sets *deletion.
bool ParseValueLine(const std::string& line, const std::vector<std::string>& lines, size_t* next,
                    std::string* name, RegistryValue* value, bool* deletion) {
    size_t pos = 0;
    *deletion = false;
    if (line[0] == '@') {
        name->clear();
        pos = 1;
    } else if (line[0] != '"' || !ReadQuoted(line, &pos, name)) {
        return false;
    }
    std::string rest = Trim(line.substr(pos));
    if (rest.empty() || rest[0] != '=') return false;
    rest = Trim(rest.substr(1));
    if (rest == "-") {
        *deletion = true;
        return true;
    }
    if (!rest.empty() && rest[0] == '"') {
        size_t end = 0;
        if (!ReadQuoted(rest, &end, &value->data) || !Trim(rest.substr(end)).empty()) return false;
        value->type = REG_SZ;
        value->data += '\0';
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        value->type = REG_DWORD;
        return ParseDword(Trim(rest.substr(6)), &value->data);
    }
    if (rest.compare(0, 3, "hex") == 0 && rest.find(':') != std::string::npos) {
        return ParseHexValue(rest, lines, next, value);
    }
    return false;
}

}  // namespace

std::string RegistryFold(const std::string& name) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return folded;
}

bool ParseRegistryFile(const std::string& bytes, RegistryTree* tree) {
    tree->clear();
    std::vector<std::string> lines = SplitLines(DecodeText(bytes));
    if (lines.empty()) return false;
    std::string header = Trim(lines[0]);
    if (header != kHeaderVersion5 && header != kHeaderVersion4) return false;
    RegistryValues* current = nullptr;  // none before the first key and after a deleted one
    size_t next = 1;
    while (next < lines.size()) {
        std::string line = Trim(lines[next++]);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            std::string path = close == std::string::npos ? "" : line.substr(1, close - 1);
            while (!path.empty() && path.back() == '\\') path.pop_back();
            bool usable = !path.empty() && path[0] != '-' && Trim(line.substr(close + 1)).empty();
            current = usable ? &(*tree)[RegistryFold(path)] : nullptr;
            continue;
        }
        std::string name;
        RegistryValue value{REG_NONE, ""};
        bool deletion = false;
        if (!ParseValueLine(line, lines, &next, &name, &value, &deletion)) continue;
        if (current == nullptr || deletion) continue;
        (*current)[RegistryFold(name)] = value;
    }
    return true;
}

}  // namespace platform_posix
