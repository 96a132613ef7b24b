#include "pim/calendar_lines.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>

namespace morvane_pim {
namespace ical {

namespace {

// Octets of one folded line before its line end (RFC 5545 3.1).
constexpr size_t kFoldWidth = 75;
// Calendars nest three deep (VCALENDAR, VEVENT, VALARM); far deeper text
// is refused before anything walks it recursively.
constexpr size_t kDeepestNesting = 32;

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return text.substr(first, last - first);
}

bool IsNameChar(char c) { return isalnum(static_cast<unsigned char>(c)) || c == '-'; }

// Name and value separator of an unfolded line; parameters may quote ':'.
void SplitLine(ContentLine* line) {
    const std::string& raw = line->raw;
    size_t i = 0;
    while (i < raw.size() && IsNameChar(raw[i])) ++i;
    if (i == 0 || i == raw.size() || (raw[i] != ':' && raw[i] != ';')) return;
    line->name = Upper(raw.substr(0, i));
    bool quoted = false;
    for (; i < raw.size(); ++i) {
        if (raw[i] == '"') quoted = !quoted;
        if (raw[i] == ':' && !quoted) {
            line->colon = i;
            return;
        }
    }
    line->name.clear();  // no value: not a content line
}

// The physical lines of text: [begin, end of content, end with line end).
struct Physical {
    size_t begin, contentEnd, end;
};

std::vector<Physical> PhysicalLines(const std::string& text, std::string* lineEnd) {
    std::vector<Physical> lines;
    // A byte order mark, as some Windows programs write, is no content.
    size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < text.size()) {
        size_t stop = text.find_first_of("\r\n", i);
        if (stop == std::string::npos) stop = text.size();
        size_t next = stop;
        if (next < text.size() && text[next] == '\r') ++next;
        if (next < text.size() && text[next] == '\n' && (next == stop || text[stop] == '\r')) ++next;
        if (lineEnd->empty() && next > stop) *lineEnd = text.substr(stop, next - stop);
        lines.push_back(Physical{i, stop, next});
        i = next;
    }
    if (lineEnd->empty()) *lineEnd = "\r\n";
    return lines;
}

void Nest(ContentText* out) {
    std::vector<size_t> open;
    for (size_t i = 0; i < out->lines.size(); ++i) {
        ContentLine& line = out->lines[i];
        line.depth = static_cast<int>(open.size());
        if (line.name == "BEGIN") {
            if (open.size() >= kDeepestNesting && out->badNesting == 0) {
                out->badNesting = line.number;
                out->nestingReason = "components nested deeper than " + std::to_string(kDeepestNesting);
            }
            out->blocks.push_back(Block{Upper(Trimmed(line.Value())), i, i, line.depth});
            open.push_back(out->blocks.size() - 1);
        } else if (line.name == "END") {
            const std::string kind = Upper(Trimmed(line.Value()));
            if (open.empty() || out->blocks[open.back()].kind != kind) {
                if (out->badNesting == 0) {
                    out->badNesting = line.number;
                    out->nestingReason = open.empty() ? "END:" + kind + " without its BEGIN"
                                                      : "END:" + kind + " where " + out->blocks[open.back()].kind +
                                                            " of line " +
                                                            std::to_string(out->lines[out->blocks[open.back()].first].number) +
                                                            " is open";
                }
                continue;
            }
            out->blocks[open.back()].last = i;
            open.pop_back();
            line.depth = static_cast<int>(open.size());
        }
    }
    if (!open.empty() && out->badNesting == 0) {
        const Block& block = out->blocks[open.back()];
        out->badNesting = out->lines.back().number;
        out->nestingReason = "the text ends inside " + block.kind + " begun on line " +
                             std::to_string(out->lines[block.first].number) + " (cut short?)";
    }
}

}  // namespace

void ScanContentLines(const std::string& text, ContentText* out) {
    *out = ContentText();
    const std::vector<Physical> physical = PhysicalLines(text, &out->lineEnd);
    for (size_t i = 0; i < physical.size(); ++i) {
        const Physical& p = physical[i];
        const bool continues = p.contentEnd > p.begin && (text[p.begin] == ' ' || text[p.begin] == '\t');
        if (continues && !out->lines.empty()) {
            out->lines.back().raw.append(text, p.begin + 1, p.contentEnd - p.begin - 1);
            out->lines.back().end = p.end;
            continue;
        }
        ContentLine line;
        line.number = static_cast<uint32_t>(i + 1);
        line.begin = p.begin;
        line.end = p.end;
        line.raw = text.substr(p.begin, p.contentEnd - p.begin);
        out->lines.push_back(line);
    }
    for (ContentLine& line : out->lines) SplitLine(&line);
    Nest(out);
}

std::vector<size_t> PropertyLines(const ContentText& text, const Block& block) {
    std::vector<size_t> found;
    for (size_t i = block.first + 1; i < block.last; ++i)
        if (text.lines[i].depth == block.depth + 1 && text.lines[i].name != "BEGIN" && text.lines[i].name != "END" &&
            !text.lines[i].name.empty())
            found.push_back(i);
    return found;
}

long FindProperty(const ContentText& text, const Block& block, const char* name) {
    for (size_t i : PropertyLines(text, block))
        if (text.lines[i].name == name) return static_cast<long>(i);
    return -1;
}

std::vector<size_t> ChildBlocks(const ContentText& text, size_t block, const char* kind) {
    std::vector<size_t> found;
    const Block& parent = text.blocks[block];
    for (size_t b = block + 1; b < text.blocks.size(); ++b) {
        const Block& child = text.blocks[b];
        if (child.first > parent.last) break;
        if (child.depth == parent.depth + 1 && (kind == nullptr || child.kind == kind)) found.push_back(b);
    }
    return found;
}

std::string EscapeText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::string UnescapeText(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += (next == 'n' || next == 'N') ? '\n' : next;
    }
    return out;
}

std::vector<std::string> SplitTextList(const std::string& value) {
    std::vector<std::string> parts;
    std::string current;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            current += value[i];
            current += value[++i];
        } else if (value[i] == ',') {
            parts.push_back(UnescapeText(current));
            current.clear();
        } else {
            current += value[i];
        }
    }
    parts.push_back(UnescapeText(current));
    return parts;
}

Property TextProperty(const char* name, const std::string& utf8) { return Property{name, {}, EscapeText(utf8)}; }

std::string FormatProperty(const Property& property, const std::string& lineEnd) {
    std::string line = property.name;
    for (const auto& param : property.params) {
        // A value holding a separator is quoted (RFC 5545 3.2).
        const bool quote = param.second.find_first_of(":;,") != std::string::npos;
        line += ";" + param.first + "=" + (quote ? "\"" + param.second + "\"" : param.second);
    }
    line += ":" + property.value;
    std::string out;
    size_t start = 0, width = kFoldWidth;
    while (line.size() - start > width) {
        size_t cut = start + width;
        // Back off to the start of a UTF-8 character.
        while (cut > start + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line, start, cut - start);
        out += lineEnd;
        out += ' ';
        start = cut;
        width = kFoldWidth - 1;  // the leading space counts
    }
    out.append(line, start, std::string::npos);
    out += lineEnd;
    return out;
}

std::string FormatProperties(const std::vector<Property>& properties, const std::string& lineEnd) {
    std::string out;
    for (const Property& property : properties) out += FormatProperty(property, lineEnd);
    return out;
}

std::string WithLineEnd(const std::string& crlfText, const std::string& lineEnd) {
    if (lineEnd == "\r\n") return crlfText;
    std::string out;
    out.reserve(crlfText.size());
    for (size_t i = 0; i < crlfText.size(); ++i) {
        if (crlfText[i] == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n') {
            out += lineEnd;
            ++i;
        } else {
            out += crlfText[i];
        }
    }
    return out;
}

void TextEdit::Replace(size_t begin, size_t end, const std::string& with) {
    edits_.push_back(Edit{begin, end, with, edits_.size()});
}

std::string TextEdit::Apply(const std::string& text) const {
    std::vector<Edit> sorted = edits_;
    std::sort(sorted.begin(), sorted.end(), [](const Edit& a, const Edit& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.order < b.order;
    });
    std::string out;
    size_t at = 0;
    for (const Edit& edit : sorted) {
        if (edit.begin < at) continue;  // overlapping: the first one made stands
        out.append(text, at, edit.begin - at);
        out += edit.with;
        at = edit.end;
    }
    out.append(text, at, std::string::npos);
    return out;
}

}  // namespace ical
}  // namespace morvane_pim
