// The header block of a message as text: where each header's lines are,
// their unfolded values, and edits that leave every other byte in place.
#include <string.h>

#include <string>

#include "pim/charset.h"
#include "pim/mail_codec.h"

namespace morvane_pim {
namespace mail {

namespace {

bool Fail(uint32_t number, const char* text, uint32_t* line, std::string* reason) {
    *line = number;
    *reason = text;
    return false;
}

// RFC 5322 field names: printable ASCII but the colon.
bool IsFieldName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (c < 33 || c > 126 || c == ':') return false;
    return true;
}

std::string Trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

}  // namespace

bool ScanHeaderBlock(const std::string& text, HeaderBlock* block, uint32_t* line, std::string* reason) {
    *block = HeaderBlock();
    if (text.empty()) return Fail(0, "the message is empty", line, reason);
    size_t at = 0;
    uint32_t number = 1;
    for (;; ++number) {
        if (at == text.size()) {  // headers only: a message without a body
            block->end = block->bodyBegin = at;
            block->bodyLine = number;
            break;
        }
        const size_t eol = text.find('\n', at);
        if (eol == std::string::npos)
            return Fail(number, "the message ends in the middle of a header line", line, reason);
        size_t stop = eol;
        if (stop > at && text[stop - 1] == '\r') --stop;
        if (number == 1) block->crlf = stop != eol;
        const std::string content = text.substr(at, stop - at);
        if (content.empty()) {
            block->end = at;
            block->bodyBegin = eol + 1;
            block->bodyLine = number + 1;
            break;
        }
        if (memchr(content.data(), '\0', content.size()) != nullptr)
            return Fail(number, "a NUL byte in a header line", line, reason);
        if (!IsValidUtf8(content)) return Fail(number, "a header line that is not UTF-8", line, reason);
        if (content[0] == ' ' || content[0] == '\t') {
            if (block->headers.empty())
                return Fail(number, "a continuation line before the first header", line, reason);
            block->headers.back().value += content;
            block->headers.back().end = eol + 1;
        } else {
            const size_t colon = content.find(':');
            RawHeader header;
            if (colon != std::string::npos) header.name = Trimmed(content.substr(0, colon));
            if (colon == std::string::npos || !IsFieldName(header.name))
                return Fail(number, "a line in the header block that is no header field", line, reason);
            header.value = content.substr(colon + 1);
            header.begin = at;
            header.end = eol + 1;
            header.line = number;
            block->headers.push_back(header);
        }
        at = eol + 1;
    }
    if (block->headers.empty()) return Fail(1, "the message has no headers", line, reason);
    for (RawHeader& header : block->headers) header.value = Trimmed(header.value);
    return true;
}

const RawHeader* FindHeader(const HeaderBlock& block, const char* name) {
    if (name == nullptr) return nullptr;
    for (const RawHeader& header : block.headers)
        if (g_ascii_strcasecmp(header.name.c_str(), name) == 0) return &header;
    return nullptr;
}

std::string SetHeader(const std::string& text, const char* name, const std::string& lines) {
    HeaderBlock block;
    uint32_t line = 0;
    std::string reason;
    if (name == nullptr || !ScanHeaderBlock(text, &block, &line, &reason)) return text;
    std::string added;
    for (char c : lines) {
        if (c == '\n' && block.crlf) added += '\r';
        added += c;
    }
    // Back to front, so that earlier offsets stay good; the new lines take
    // the place of the first one, or go at the end of the block.
    std::string out = text;
    size_t place = block.end;
    for (size_t i = block.headers.size(); i-- > 0;) {
        const RawHeader& header = block.headers[i];
        if (g_ascii_strcasecmp(header.name.c_str(), name) != 0) continue;
        out.erase(header.begin, header.end - header.begin);
        place = header.begin;
    }
    out.insert(place, added);
    return out;
}

std::string HeaderValueOf(const std::string& lines) {
    HeaderBlock block;
    uint32_t line = 0;
    std::string reason;
    if (!ScanHeaderBlock(lines, &block, &line, &reason)) return std::string();
    return block.headers[0].value;
}

}  // namespace mail
}  // namespace morvane_pim
