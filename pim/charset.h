// The device's single-byte texts and the PC's UTF-8.  Built on iconv where
// the system has it (every set iconv knows); elsewhere (the Windows build)
// on a table of WINDOWS-1252 and ISO-8859-1, the sets the handheld uses.
#ifndef MORVANE_PIM_CHARSET_H
#define MORVANE_PIM_CHARSET_H

#include <stdint.h>

#include <string>

namespace morvane_pim {

// Device text to UTF-8.  False (with *out empty) only when the character
// set is unknown to iconv; a byte the set does not define becomes U+FFFD.
bool DeviceToUtf8(const std::string& text, const std::string& charset, std::string* out);

// UTF-8 to device text.  A character the set cannot hold is transliterated
// (iconv's //TRANSLIT: "Ł" becomes "L"), or "?" where nothing is near;
// *lossy says whether that happened.  Invalid UTF-8 is taken byte by byte
// as if it were Latin-1.  False only when the set is unknown to iconv.
bool Utf8ToDevice(const std::string& text, const std::string& charset, std::string* out, bool* lossy);

// Whether the character set is one the conversions know.
bool IsKnownCharset(const std::string& charset);

// Whether text is valid UTF-8.
bool IsValidUtf8(const std::string& text);
// Whether every byte of text is below 0x80.
bool IsAscii(const std::string& text);
// Appends the UTF-8 form of a code point below U+10000.
void AppendUtf8(uint32_t code, std::string* out);

}  // namespace morvane_pim

#endif
