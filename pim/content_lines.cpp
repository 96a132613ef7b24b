#include "pim/content_lines.h"

namespace morvane_pim {

std::vector<std::string> UnfoldContentLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(i, end - i);
        i = end;
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitOutsideQuotes(const std::string& text, char separator) {
    std::vector<std::string> pieces(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == separator && !quoted)
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

}  // namespace morvane_pim
