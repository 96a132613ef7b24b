// The string table (RT_STRING resources) of a Windows PE image file, read
// from the file's bytes without loading it, so that the same "Gantry1.dll"
// serves on every system.
//
// Both PE32 and PE32+ images are read.  Every offset and size taken from
// the file is checked against the file before it is used: a malformed or
// truncated image is refused as a whole and never read out of bounds.
//
// Texts are converted from UTF-16 to single-byte text the way an ANSI
// Latin-1 code page would: code units below 0x100 become that byte, any
// other character (a surrogate pair counts as one) becomes '?'.
#ifndef MORVANE_PLATFORM_POSIX_PE_STRING_TABLE_H
#define MORVANE_PLATFORM_POSIX_PE_STRING_TABLE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform_posix {

class PeImageLayout;

class PeStringTable {
public:
    // Takes the bytes of a PE image and indexes its string table.  On
    // success returns true (an image without string resources gives an
    // empty table); on a malformed image returns false and leaves the table
    // empty.  Of each string block the first language listed is used.  The
    // texts are decoded on lookup, so a hostile image that points many
    // blocks at the same data costs no more memory than its own size.
    bool Parse(std::vector<uint8_t> image);

    // Stores the text of string resource `id` and returns true, or returns
    // false when the image has no such string.  An empty string counts as
    // missing, as resource compilers store none.
    bool Find(uint32_t id, std::string* text) const;

    size_t size() const { return strings_.size(); }

private:
    // Where one string's UTF-16 code units lie in the image.
    struct Span {
        size_t offset;
        uint32_t units;
    };

    bool IndexStrings(const PeImageLayout& layout);
    bool IndexBlock(uint32_t blockId, size_t offset, size_t size);

    std::vector<uint8_t> image_;
    std::map<uint32_t, Span> strings_;
};

}  // namespace platform_posix

#endif
