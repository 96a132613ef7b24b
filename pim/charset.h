// The device's single-byte texts and the PC's UTF-8, through iconv.
#ifndef MORVANE_PIM_CHARSET_H
#define MORVANE_PIM_CHARSET_H

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

// Whether text is valid UTF-8.
bool IsValidUtf8(const std::string& text);

}  // namespace morvane_pim

#endif
