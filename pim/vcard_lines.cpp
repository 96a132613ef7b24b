#include "pim/vcard_lines.h"

#include "pim/content_lines.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>

namespace morvane_pim {

namespace {

// The bare words vCard 2.1 uses for a transfer encoding ("TEL;QUOTED-PRINTABLE:").
static const char* const kEncodingWords[] = {
    "QUOTED-PRINTABLE", "BASE64", "8BIT", "7BIT",
};

struct PhysicalLine {
    size_t begin;
    size_t contentEnd;  // where its line end starts
    size_t end;         // after its line end
};

PhysicalLine NextPhysicalLine(const std::string& text, size_t pos) {
    const size_t stop = text.find_first_of("\r\n", pos);
    if (stop == std::string::npos) return {pos, text.size(), text.size()};
    size_t after = stop + 1;
    if (text[stop] == '\r' && after < text.size() && text[after] == '\n') ++after;
    return {pos, stop, after};
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Trimmed(const std::string& s) {
    size_t first = 0;
    size_t last = s.size();
    while (first < last && (s[first] == ' ' || s[first] == '\t')) ++first;
    while (last > first && (s[last - 1] == ' ' || s[last - 1] == '\t')) --last;
    return s.substr(first, last - first);
}

bool IsBlank(const std::string& s) {
    return Trimmed(s).empty();
}

// Where the value starts: the first colon outside a quoted parameter value.
size_t ValueColon(const std::string& logical) {
    bool quoted = false;
    for (size_t i = 0; i < logical.size(); ++i) {
        if (logical[i] == '"') quoted = !quoted;
        if (logical[i] == ':' && !quoted) return i;
    }
    return std::string::npos;
}

bool IsBase64Line(const std::string& content) {
    if (content.empty()) return false;
    for (char c : content)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') return false;
    return true;
}

bool IsEncodingWord(const std::string& upper) {
    for (const char* word : kEncodingWords)
        if (upper == word) return true;
    return false;
}

bool IsNameCharacter(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

VcardParam ParseParam(const std::string& token) {
    VcardParam param;
    const size_t equals = token.find('=');
    if (equals == std::string::npos) {
        const std::string upper = Upper(token);
        param.name = IsEncodingWord(upper) ? "ENCODING" : "TYPE";
        param.values.push_back(token);
        return param;
    }
    param.name = Upper(Trimmed(token.substr(0, equals)));
    for (std::string value : SplitOutsideQuotes(token.substr(equals + 1), ',')) {
        value = Trimmed(value);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        param.values.push_back(value);
    }
    return param;
}

// The parameters of a line's head, split at its semicolons: every piece
// after the property's name.
void AddParams(const std::vector<std::string>& tokens, std::vector<VcardParam>* params) {
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string token = Trimmed(tokens[i]);
        if (!token.empty()) params->push_back(ParseParam(token));
    }
}

// The transfer encoding the head (so far) of a line gives its value, as
// VcardEncoding reads it of the whole line.  Enough to know how the line's
// following physical lines continue it; a parameter that only holds the
// word in a longer name or value leaves the value plain, and must not
// join the next line to it.
std::string HeadEncoding(const std::string& logical) {
    VcardLine line;
    AddParams(SplitOutsideQuotes(logical.substr(0, ValueColon(logical)), ';'), &line.params);
    return VcardEncoding(line);
}

// A logical line into its group, name, parameters and value.
bool SplitLogicalLine(const std::string& logical, VcardLine* line, std::string* reason) {
    const size_t colon = ValueColon(logical);
    if (colon == std::string::npos) {
        *reason = "a content line without a colon";
        return false;
    }
    line->head = logical.substr(0, colon);
    line->value = logical.substr(colon + 1);
    const std::vector<std::string> tokens = SplitOutsideQuotes(line->head, ';');
    const std::string nameToken = Trimmed(tokens[0]);
    const size_t dot = nameToken.rfind('.');
    line->group = dot == std::string::npos ? std::string() : nameToken.substr(0, dot);
    line->name = Upper(dot == std::string::npos ? nameToken : nameToken.substr(dot + 1));
    bool named = !line->name.empty();
    for (char c : line->name) named = named && IsNameCharacter(c);
    if (!named) {
        *reason = "'" + nameToken.substr(0, 40) + "' is no property name";
        return false;
    }
    AddParams(tokens, &line->params);
    return true;
}

}  // namespace

bool ParseVcardLines(const std::string& text, size_t start, std::vector<VcardLine>* lines, uint32_t* errorLine,
                     std::string* reason) {
    lines->clear();
    std::string logical;
    bool open = false;
    uint32_t number = 0;
    auto finish = [&]() {
        if (!open) return true;
        open = false;
        if (SplitLogicalLine(logical, &lines->back(), reason)) return true;
        *errorLine = lines->back().line;
        return false;
    };
    for (size_t pos = start; pos < text.size();) {
        const PhysicalLine physical = NextPhysicalLine(text, pos);
        pos = physical.end;
        ++number;
        const std::string content = text.substr(physical.begin, physical.contentEnd - physical.begin);
        if (open) {
            bool joined = true;
            if (!logical.empty() && logical.back() == '=' && IsQuotedPrintableEncoding(HeadEncoding(logical))) {
                logical.pop_back();  // a soft line break
                logical += content;
            } else if (!content.empty() && (content[0] == ' ' || content[0] == '\t')) {
                logical += content.substr(1);
            } else if (IsBase64Line(content) && IsBase64Encoding(HeadEncoding(logical))) {
                logical += content;  // 2.1 writers need not indent base64 lines
            } else {
                joined = false;
            }
            if (joined) {
                lines->back().end = physical.end;
                continue;
            }
            if (!finish()) return false;
        }
        if (IsBlank(content)) continue;
        if (content[0] == ' ' || content[0] == '\t') {
            *errorLine = number;
            *reason = "a continued line with no line before it";
            return false;
        }
        lines->emplace_back();
        lines->back().line = number;
        lines->back().begin = physical.begin;
        lines->back().end = physical.end;
        logical = content;
        open = true;
    }
    return finish();
}

const VcardParam* FindVcardParam(const VcardLine& line, const char* name) {
    for (const VcardParam& param : line.params)
        if (param.name == name) return &param;
    return nullptr;
}

std::string VcardEncoding(const VcardLine& line) {
    const VcardParam* encoding = FindVcardParam(line, "ENCODING");
    return encoding != nullptr && !encoding->values.empty() ? encoding->values[0] : std::string();
}

bool IsQuotedPrintableEncoding(const std::string& encoding) {
    return strcasecmp(encoding.c_str(), "QUOTED-PRINTABLE") == 0;
}

bool IsBase64Encoding(const std::string& encoding) {
    return strcasecmp(encoding.c_str(), "BASE64") == 0 || strcasecmp(encoding.c_str(), "B") == 0;
}

bool HasVcardType(const VcardLine& line, const char* type) {
    for (const VcardParam& param : line.params) {
        if (param.name != "TYPE") continue;
        for (const std::string& value : param.values)
            for (const std::string& piece : SplitOutsideQuotes(value, ','))
                if (strcasecmp(Trimmed(piece).c_str(), type) == 0) return true;
    }
    return false;
}

bool IsPreferredVcardLine(const VcardLine& line) {
    return HasVcardType(line, "PREF") || FindVcardParam(line, "PREF") != nullptr;
}

std::string HeadWithoutEncoding(const VcardLine& line, bool dropValue) {
    std::string head;
    bool first = true;
    for (const std::string& token : SplitOutsideQuotes(line.head, ';')) {
        if (!first) {
            const std::string name = Upper(Trimmed(token.substr(0, token.find('='))));
            if (name == "ENCODING" || name == "CHARSET" || IsEncodingWord(name)) continue;
            if (dropValue && name == "VALUE") continue;
            head += ';';
        }
        head += token;
        first = false;
    }
    return head;
}

std::string FoldVcardLine(const std::string& logical, const std::string& lineEnd) {
    std::string out;
    size_t i = 0;
    bool first = true;
    for (;;) {
        const size_t room = first ? 75 : 74;  // a continued line spends one octet on its space
        if (!first) out.push_back(' ');
        if (logical.size() - i <= room) {
            out.append(logical, i, std::string::npos);
            out += lineEnd;
            return out;
        }
        size_t cut = i + room;
        while (cut > i && (static_cast<unsigned char>(logical[cut]) & 0xC0) == 0x80) --cut;
        if (cut == i) cut = i + room;  // no sequence start within reach: not UTF-8 anyway
        out.append(logical, i, cut - i);
        out += lineEnd;
        i = cut;
        first = false;
    }
}

}  // namespace morvane_pim
