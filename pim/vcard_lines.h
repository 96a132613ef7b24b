// Content lines of vCard text (RFC 2425 and 2426, vCard 2.1, RFC 6350):
// "group.NAME;PARAM=a,b;BARE:value", folded over physical lines.  Reading
// keeps where each line stood in the text, so that a merge can copy the
// lines it does not change byte for byte and an error names its line.
#ifndef MORVANE_PIM_VCARD_LINES_H
#define MORVANE_PIM_VCARD_LINES_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace morvane_pim {

struct VcardParam {
    std::string name;                 // upper case; a 2.1 bare value ("WORK") is a TYPE, a bare encoding an ENCODING
    std::vector<std::string> values;  // quotes removed
};

struct VcardLine {
    std::string head;   // everything before the value's colon, as written
    std::string group;  // "item1" of "item1.TEL", as written
    std::string name;   // upper case
    std::vector<VcardParam> params;
    std::string value;  // after the colon: unfolded, quoted-printable soft breaks taken out
    uint32_t line = 0;  // its first physical line, counted from 1
    size_t begin = 0;   // its physical lines in the text, line ends included
    size_t end = 0;
};

// The content lines of text.  A physical line that starts with a space or
// tab continues the line before; a quoted-printable value ending in "="
// and a 2.1 base64 value go on over the following lines; blank lines are
// skipped.  CR LF, LF and CR all end a line.  False, with the line and the
// reason, where a line is no content line.
bool ParseVcardLines(const std::string& text, size_t start, std::vector<VcardLine>* lines, uint32_t* errorLine,
                     std::string* reason);

// The first parameter of that name, or null.
const VcardParam* FindVcardParam(const VcardLine& line, const char* name);

// The transfer encoding of a line's value, as written: the first value of
// its first ENCODING parameter (vCard 2.1's bare word is one); "" for none.
// Both the reading of the lines and the decoding of the value go by it.
std::string VcardEncoding(const VcardLine& line);
// Whether an encoding is quoted-printable, or base64 ("BASE64", "B"); any case.
bool IsQuotedPrintableEncoding(const std::string& encoding);
bool IsBase64Encoding(const std::string& encoding);

// Whether the TYPE values (split at commas, any case) include type.
bool HasVcardType(const VcardLine& line, const char* type);

// Whether the line says it is preferred: TYPE=PREF (2.1, 3.0) or PREF=n (4.0).
bool IsPreferredVcardLine(const VcardLine& line);

// The head of a line without its ENCODING and CHARSET parameters (and its
// VALUE parameter when dropValue), for a value written afresh.
std::string HeadWithoutEncoding(const VcardLine& line, bool dropValue = false);

// A logical line folded into physical lines of at most 75 octets, never
// inside a UTF-8 sequence, each ended with lineEnd.
std::string FoldVcardLine(const std::string& logical, const std::string& lineEnd);

}  // namespace morvane_pim

#endif
