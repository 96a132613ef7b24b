// One vCard as an item holds it: BEGIN:VCARD, VERSION, its properties and
// END:VCARD, in version 2.1, 3.0 or 4.0, and the values of its lines as
// UTF-8 text whatever transfer encoding and character set they came in.
#ifndef MORVANE_PIM_VCARD_CARD_H
#define MORVANE_PIM_VCARD_CARD_H

#include <stdint.h>

#include <string>
#include <vector>

#include "pim/vcard_lines.h"
#include "pim/vcard_values.h"

namespace morvane_pim {

struct Vcard {
    int version = kVcard30;
    std::vector<VcardLine> lines;  // BEGIN first, END:VCARD last
    std::string lineEnd;           // what the text ends its lines with, for lines written into it
};

// The vCard of an item's text.  False, with the line (0: the text as a
// whole) and the reason, when the text is not exactly one vCard of a known
// version: empty, cut short before END:VCARD, a second vCard, an unknown
// or missing VERSION, a 3.0 or 4.0 line that is not UTF-8, a line that is
// no content line.
bool ParseVcard(const std::string& text, Vcard* card, uint32_t* errorLine, std::string* reason);

// The value of a line as UTF-8, still escaped, with its ENCODING
// (quoted-printable, base64) and CHARSET undone.  A 2.1 value that names no
// character set and is not UTF-8 is read as WINDOWS-1252, the set such
// files were mostly written in, and *guessed says so.  False, with the
// reason, for an unknown encoding or character set or a malformed value.
bool DecodeVcardValue(const VcardLine& line, int version, std::string* text, bool* guessed, std::string* reason);

}  // namespace morvane_pim

#endif
