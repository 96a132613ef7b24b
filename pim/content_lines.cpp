#include "pim/content_lines.h"

namespace morvane_pim {

std::vector<std::string_view> UnfoldContentLines(const std::string& text, std::deque<std::string>* joined) {
    std::vector<std::string_view> lines;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* stop = p;
        while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
        const std::string_view line(p, static_cast<size_t>(stop - p));
        p = stop;
        if (p < end && *p == '\r') ++p;
        if (p < end && *p == '\n') ++p;
        if (line.empty() || (line[0] != ' ' && line[0] != '\t') || lines.empty()) {
            lines.push_back(line);
            continue;
        }
        if (joined->empty() || lines.back().data() != joined->back().data()) joined->emplace_back(lines.back());
        joined->back().append(line.substr(1));
        lines.back() = joined->back();
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
