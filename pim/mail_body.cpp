// The body of a message: written as text/plain in UTF-8 with LF line ends
// (7bit where it is plain short ASCII lines, else quoted-printable), read
// from the first text/plain part, or the text of the first HTML part.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "pim/charset.h"
#include "pim/mail_codec.h"

namespace morvane_pim {
namespace mail {

namespace {

constexpr size_t kLineLength = 76;

std::string ReplaceAll(const std::string& text, const char* from, const char* to) {
    std::string out;
    const size_t length = strlen(from);
    size_t at = 0;
    for (size_t found; (found = text.find(from, at)) != std::string::npos; at = found + length)
        out += text.substr(at, found - at) + to;
    return out + text.substr(at);
}

std::string CrLfToLf(const std::string& text) {
    return ReplaceAll(text, "\r\n", "\n");
}

std::string LfToCrLf(const std::string& text) {
    return ReplaceAll(text, "\n", "\r\n");
}

// Text that needs no transfer encoding: printable ASCII in lines of at
// most 76 characters without trailing blanks, each ended.
bool IsPlainAscii(const std::string& text) {
    if (!text.empty() && text.back() != '\n') return false;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            if (column > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) return false;
            column = 0;
            continue;
        }
        if ((c < 0x20 && c != '\t') || c >= 0x7F || ++column > kLineLength) return false;
    }
    return true;
}

// Quoted-printable (RFC 2045) of text with LF line ends: lines of at most
// 76 characters, a blank never last before a line end, a text without a
// final line end closed by a soft line break.
std::string QuotedPrintable(const std::string& text) {
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += '\n';
            column = 0;
            continue;
        }
        const bool lineEnds = i + 1 == text.size() || text[i + 1] == '\n';
        const bool blank = c == ' ' || c == '\t';
        // A literal blank keeps room for one encoded character after it,
        // so that no soft break follows it directly.
        const bool literal = (c >= 33 && c <= 126 && c != '=') || (blank && !lineEnds && column + 1 + 3 < kLineLength);
        const size_t width = literal ? 1 : 3;
        if (column + width > kLineLength - 1) {
            out += "=\n";
            column = 0;
        }
        if (literal) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "=%02X", c);
            out += hex;
        }
        column += width;
    }
    if (!text.empty() && text.back() != '\n') out += "=\n";
    return out;
}

// format=flowed (RFC 3676): a line ending in a blank goes on in the next.
std::string Unflowed(const std::string& text, bool deleteSpace) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t eol = text.find('\n', at);
        const bool last = eol == std::string::npos;
        if (last) eol = text.size();
        std::string line = text.substr(at, eol - at);
        if (!line.empty() && line[0] == ' ') line.erase(0, 1);  // space-stuffed
        const bool flowed = !last && !line.empty() && line.back() == ' ' && line != "-- ";
        if (flowed && deleteSpace) line.pop_back();
        out += line;
        if (!last && !flowed) out += '\n';
        at = eol + 1;
    }
    return out;
}

// The characters an HTML entity stands for; the entity itself when unknown.
std::string Entity(const std::string& html, size_t* at) {
    static const char* const kNamed[][2] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "},
    };
    const size_t semicolon = html.find(';', *at);
    if (semicolon == std::string::npos || semicolon - *at > 10) return "&";
    const std::string name = html.substr(*at + 1, semicolon - *at - 1);
    std::string text;
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const unsigned long code = strtoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return "&";
        char utf8[8];
        utf8[g_unichar_to_utf8(static_cast<gunichar>(code), utf8)] = '\0';
        text = utf8;
    } else {
        for (const auto& named : kNamed)
            if (name == named[0]) text = named[1];
        if (text.empty()) return "&";
    }
    *at = semicolon;
    return text;
}

// The text of HTML, simply: tags dropped (with scripts and styles), block
// ends as line ends, runs of white space as one blank, entities resolved.
std::string HtmlText(const std::string& html) {
    static const char* const kBreaks[] = {"br", "p", "/p", "div", "/div", "tr", "li", "h1", "h2", "h3", "/h1",
                                          "/h2", "/h3", "blockquote", "/blockquote", "hr", "/table"};
    std::string out;
    bool blank = false;
    for (size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '<') {
            const size_t close = html.find('>', i);
            if (close == std::string::npos) break;
            std::string tag = html.substr(i + 1, close - i - 1);
            tag = tag.substr(0, tag.find_first_of(" \t\r\n/", 1));
            for (char& t : tag) t = g_ascii_tolower(t);
            i = close;
            if (tag == "script" || tag == "style") {
                const size_t end = html.find("</", close);
                i = end == std::string::npos ? html.size() : html.find('>', end);
                if (i == std::string::npos) i = html.size();
            }
            for (const char* name : kBreaks)
                if (tag == name && !out.empty() && (out.back() != '\n' || tag == "br")) out += '\n', blank = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = !out.empty() && out.back() != '\n';
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c == '&' ? Entity(html, &i) : std::string(1, c);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// A part's bytes in UTF-8: by its charset; without one (or US-ASCII),
// UTF-8 if they are, else Windows-1252, the most common 8-bit set.
std::string PartText(const std::string& bytes, const char* charset, std::vector<std::string>* warnings,
                     const std::string& name) {
    std::string text;
    if (charset == nullptr || g_ascii_strcasecmp(charset, "us-ascii") == 0) {
        if (IsValidUtf8(bytes)) return bytes;
        DeviceToUtf8(bytes, "WINDOWS-1252", &text);
        return text;
    }
    if (!DeviceToUtf8(bytes, g_mime_charset_iconv_name(charset), &text)) {
        warnings->push_back(name + ": the body's character set \"" + charset + "\" is unknown; read as Windows-1252");
        DeviceToUtf8(bytes, "WINDOWS-1252", &text);
    }
    return text;
}

void FindParts(GMimeObject* object, BodyParts* parts) {
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            FindParts(g_mime_multipart_get_part(multipart, i), parts);
        return;
    }
    if (!GMIME_IS_PART(object)) {  // an attached message
        parts->hasAttachment = true;
        return;
    }
    GMimePart* part = GMIME_PART(object);
    const char* disposition = g_mime_object_get_disposition(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool attached = (disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0) ||
                          g_mime_part_get_filename(part) != nullptr;
    const bool plain = g_mime_content_type_is_type(type, "text", "plain");
    const bool html = g_mime_content_type_is_type(type, "text", "html");
    if (attached || (!plain && !html)) {
        parts->hasAttachment = true;
    } else if (plain && parts->plain == nullptr) {
        parts->plain = part;
    } else if (html && parts->html == nullptr) {
        parts->html = part;
    }
}

}  // namespace

BodyPart WriteBody(const std::string& text) {
    const std::string lines = CrLfToLf(text);
    if (IsPlainAscii(lines)) return {"text/plain; charset=UTF-8", "7bit", lines};
    return {"text/plain; charset=UTF-8", "quoted-printable", QuotedPrintable(lines)};
}

std::string BodyAsRead(const std::string& text) {
    return LfToCrLf(CrLfToLf(CrLfToLf(text)));
}

std::string ReadBodyText(GMimePart* part, bool html, std::vector<std::string>* warnings, const std::string& name) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) return std::string();
    GMimeStream* stream = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, stream);
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    const std::string bytes(reinterpret_cast<const char*>(array->data), array->len);
    g_object_unref(stream);
    GMimeObject* object = GMIME_OBJECT(part);
    std::string text = CrLfToLf(PartText(bytes, g_mime_object_get_content_type_parameter(object, "charset"),
                                         warnings, name));
    const char* format = g_mime_object_get_content_type_parameter(object, "format");
    if (format != nullptr && g_ascii_strcasecmp(format, "flowed") == 0) {
        const char* delsp = g_mime_object_get_content_type_parameter(object, "delsp");
        text = Unflowed(text, delsp != nullptr && g_ascii_strcasecmp(delsp, "yes") == 0);
    }
    if (html) text = HtmlText(text);
    return LfToCrLf(CrLfToLf(text));
}

GMimeMessage* ParseMessage(const std::string& text) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    return message;
}

BodyParts FindBodyParts(GMimeMessage* message) {
    BodyParts parts;
    GMimeObject* top = g_mime_message_get_mime_part(message);
    if (top != nullptr) FindParts(top, &parts);
    return parts;
}

}  // namespace mail
}  // namespace morvane_pim
