// Values of vCard content lines: the backslash escapes of text, the
// components and lists of structured values, and the transfer encodings
// vCard 2.1 and 3.0 put on a value (quoted-printable, base64).
#ifndef MORVANE_PIM_VCARD_VALUES_H
#define MORVANE_PIM_VCARD_VALUES_H

#include <string>
#include <vector>

namespace morvane_pim {

// vCard versions as numbers: 2.1, 3.0 and 4.0.
constexpr int kVcard21 = 21;
constexpr int kVcard30 = 30;
constexpr int kVcard40 = 40;

// Text as a 3.0/4.0 value: "\\", "\;", "\," and every line break (CR LF,
// CR or LF) as "\n".
std::string EscapeVcardText(const std::string& text);

// Text as a 2.1 value: only "\\" and "\;" (a line break cannot be written
// as an escape in 2.1; the value is then quoted-printable).
std::string EscapeVcard21Text(const std::string& text);

// A part of an escaped value (a component, a list item) written again as
// it was read, made safe to write beside new parts: in 3.0/4.0 a raw line
// break (CR LF, CR or LF; a quoted-printable or base64 value can hold one)
// as "\n" (2.1 writes the value quoted-printable instead), and a backslash
// that was read as one of its own (at the end, or before a raw line break)
// doubled, so that it escapes neither the separator written after it nor
// the "\n".
std::string RewrittenPart(const std::string& escaped, int version);

// The text an escaped value stands for, line breaks as LF.  A backslash
// before a character the version does not escape is kept as it is, since
// careless writers leave lone backslashes in paths and such.
std::string UnescapeVcardText(const std::string& raw, int version);

// An escaped value cut at every separator not preceded by a backslash;
// the pieces stay escaped.  An empty value is one empty piece.
std::vector<std::string> SplitEscaped(const std::string& raw, char separator);

// Quoted-printable (RFC 2045) to bytes: "=XX" is a byte, "=" at the end of
// a line a soft line break.  False on a malformed "=".
bool DecodeQuotedPrintable(const std::string& in, std::string* out);

// Bytes as quoted-printable for a vCard 2.1 value: CR LF as "=0D=0A", what
// is not printable ASCII as "=XX", soft line breaks ("=" CR LF) so that no
// physical line passes 75 octets after a first line of firstLineUsed.
std::string EncodeQuotedPrintable(const std::string& bytes, size_t firstLineUsed, const std::string& lineEnd);

// Base64 to bytes, white space ignored.  False on other characters or a
// cut group.
bool DecodeBase64(const std::string& in, std::string* out);

}  // namespace morvane_pim

#endif
