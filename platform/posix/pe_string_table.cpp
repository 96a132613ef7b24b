// Reading the RT_STRING resources of a PE image.
//
// Layouts used (offsets in bytes, all values little-endian):
//   DOS header        0 "MZ"; 0x3C offset of the PE signature (4)
//   PE signature      "PE\0\0" (4), followed by the COFF file header (20):
//                     2 NumberOfSections (2), 16 SizeOfOptionalHeader (2)
//   optional header   0 Magic (2): 0x10B PE32, 0x20B PE32+;
//                     PE32:  92 NumberOfRvaAndSizes (4), 96 data directories
//                     PE32+: 108 NumberOfRvaAndSizes (4), 112 data directories
//   data directory    RVA (4), Size (4); entry 2 is the resource table
//   section header    40 bytes: 8 VirtualSize, 12 VirtualAddress,
//                     16 SizeOfRawData, 20 PointerToRawData (4 each)
//   resource directory 16 bytes: 12 NumberOfNamedEntries (2),
//                     14 NumberOfIdEntries (2); then the named entries and
//                     the id entries, 8 bytes each: 0 name offset (high bit
//                     set) or id, 4 offset from the resource root of a
//                     subdirectory (high bit set) or of a data entry
//   resource data entry 16 bytes: 0 RVA of the data (4), 4 Size (4)
// The tree has three levels: type (RT_STRING = 6), name (block number),
// language.  Block n holds the strings (n - 1) * 16 .. (n - 1) * 16 + 15,
// each a length in UTF-16 code units (2) followed by that many units.
#include "platform/posix/pe_string_table.h"

#include <cstring>
#include <utility>

namespace platform_posix {
namespace {

constexpr uint32_t kDosNewHeaderOffset = 0x3C;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kRtString = 6;
constexpr uint32_t kStringsPerBlock = 16;
constexpr uint32_t kLastBlockId = (0xFFFFu >> 4) + 1;

// Bounds-checked little-endian reads from the file's bytes.
class ByteReader {
public:
    explicit ByteReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    bool U16(uint64_t offset, uint16_t* value) const {
        if (!Has(offset, 2)) return false;
        *value = static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t* value) const {
        uint16_t low = 0, high = 0;
        if (!U16(offset, &low) || !U16(offset + 2, &high)) return false;
        *value = static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
};

struct Section {
    uint32_t virtualAddress;
    uint32_t mappedSize;  // the part of the section the file supplies
    uint32_t rawOffset;
};

}  // namespace

// The image's sections and the resource tree, addressed by RVA.
class PeImageLayout {
public:
    explicit PeImageLayout(const ByteReader& file) : file_(file) {}

    // Reads the headers; false on a malformed image.  resourceRva() is 0
    // when the image has no resource table.
    bool ReadHeaders();
    uint32_t resourceRva() const { return resourceRva_; }

    // The file offset of [rva, rva + length), which must lie inside the
    // file part of one section and inside the file.
    bool FileOffset(uint64_t rva, uint64_t length, uint64_t* offset) const;
    bool U16AtRva(uint64_t rva, uint16_t* value) const {
        uint64_t offset = 0;
        return FileOffset(rva, 2, &offset) && file_.U16(offset, value);
    }
    bool U32AtRva(uint64_t rva, uint32_t* value) const {
        uint64_t offset = 0;
        return FileOffset(rva, 4, &offset) && file_.U32(offset, value);
    }

private:
    bool ReadSections(uint64_t tableOffset, uint16_t count);

    const ByteReader& file_;
    std::vector<Section> sections_;
    uint32_t resourceRva_ = 0;
};

bool PeImageLayout::ReadHeaders() {
    uint16_t dosMagic = 0;
    uint32_t peOffset = 0, signature = 0;
    if (!file_.U16(0, &dosMagic) || dosMagic != 0x5A4D) return false;  // "MZ"
    if (!file_.U32(kDosNewHeaderOffset, &peOffset)) return false;
    if (!file_.U32(peOffset, &signature) || signature != 0x00004550) return false;  // "PE\0\0"
    const uint64_t coff = static_cast<uint64_t>(peOffset) + 4;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (!file_.U16(coff + 2, &sectionCount) || !file_.U16(coff + 16, &optionalSize)) return false;
    const uint64_t optional = coff + kCoffHeaderSize;
    if (!file_.U16(optional, &magic)) return false;
    uint32_t countField = 0;
    if (magic == kMagicPe32)
        countField = 92;
    else if (magic == kMagicPe32Plus)
        countField = 108;
    else
        return false;
    const uint32_t directories = countField + 4;
    uint32_t directoryCount = 0;
    if (optionalSize < directories || !file_.U32(optional + countField, &directoryCount)) return false;
    if (!ReadSections(optional + optionalSize, sectionCount)) return false;
    if (directoryCount <= kResourceDirectoryIndex) return true;  // no resource table
    const uint32_t resourceEntry = directories + kResourceDirectoryIndex * 8;
    if (optionalSize < resourceEntry + 8) return false;
    return file_.U32(optional + resourceEntry, &resourceRva_);
}

bool PeImageLayout::ReadSections(uint64_t tableOffset, uint16_t count) {
    sections_.clear();
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t header = tableOffset + static_cast<uint64_t>(i) * kSectionHeaderSize;
        uint32_t virtualSize = 0, rawSize = 0;
        Section section{};
        if (!file_.U32(header + 8, &virtualSize) || !file_.U32(header + 12, &section.virtualAddress) ||
            !file_.U32(header + 16, &rawSize) || !file_.U32(header + 20, &section.rawOffset))
            return false;
        // Beyond its virtual size a section is not part of the image; a
        // virtual size of 0 means the linker left it to the raw size.
        section.mappedSize = (virtualSize != 0 && virtualSize < rawSize) ? virtualSize : rawSize;
        sections_.push_back(section);
    }
    return true;
}

bool PeImageLayout::FileOffset(uint64_t rva, uint64_t length, uint64_t* offset) const {
    for (const Section& section : sections_) {
        if (rva < section.virtualAddress) continue;
        const uint64_t inSection = rva - section.virtualAddress;
        if (inSection > section.mappedSize || length > section.mappedSize - inSection) continue;
        *offset = section.rawOffset + inSection;
        return file_.Has(*offset, length);
    }
    return false;
}

namespace {

// One resource directory: where its entries start and how many there are.
struct Directory {
    uint64_t entries;
    uint32_t namedCount;
    uint32_t idCount;
};

bool ReadDirectory(const PeImageLayout& layout, uint64_t rva, Directory* directory) {
    uint16_t named = 0, ids = 0;
    if (!layout.U16AtRva(rva + 12, &named) || !layout.U16AtRva(rva + 14, &ids)) return false;
    directory->entries = rva + kDirectoryHeaderSize;
    directory->namedCount = named;
    directory->idCount = ids;
    return true;
}

bool ReadEntry(const PeImageLayout& layout, const Directory& directory, uint32_t index, uint32_t* name,
               uint32_t* target) {
    const uint64_t entry = directory.entries + static_cast<uint64_t>(index) * kDirectoryEntrySize;
    return layout.U32AtRva(entry, name) && layout.U32AtRva(entry + 4, target);
}

// Appends the single-byte form of one UTF-16 code unit sequence.
void AppendSingleByte(const uint8_t* units, uint32_t count, std::string* text) {
    text->reserve(text->size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t unit = static_cast<uint16_t>(units[2 * i] | units[2 * i + 1] << 8);
        if (unit < 0x100) {
            text->push_back(static_cast<char>(unit));
            continue;
        }
        text->push_back('?');
        const bool highSurrogate = unit >= 0xD800 && unit < 0xDC00;
        if (highSurrogate && i + 1 < count) {
            const uint16_t next = static_cast<uint16_t>(units[2 * i + 2] | units[2 * i + 3] << 8);
            if (next >= 0xDC00 && next < 0xE000) ++i;  // one character, one '?'
        }
    }
}

// Finds the RT_STRING directory among the resource types.  Returns false
// on a malformed tree; *found tells whether the image has strings at all.
bool FindStringDirectory(const PeImageLayout& layout, uint64_t root, Directory* blocks, bool* found) {
    Directory types{};
    *found = false;
    if (!ReadDirectory(layout, root, &types)) return false;
    for (uint32_t i = types.namedCount; i < types.namedCount + types.idCount; ++i) {
        uint32_t id = 0, target = 0;
        if (!ReadEntry(layout, types, i, &id, &target)) return false;
        if (id != kRtString) continue;
        if ((target & kSubdirectoryBit) == 0) return false;
        *found = true;
        return ReadDirectory(layout, root + (target & ~kSubdirectoryBit), blocks);
    }
    return true;
}

// Where the data of block entry `index` lies in the file: the first
// language's data entry.  Returns false on a malformed tree; *blockId is 0
// for a block that no lookup can reach or that has no language.
bool LocateBlock(const PeImageLayout& layout, uint64_t root, const Directory& blocks, uint32_t index,
                 uint32_t* blockId, uint64_t* offset, uint32_t* size) {
    uint32_t target = 0, language = 0, dataEntry = 0, dataRva = 0;
    Directory languages{};
    if (!ReadEntry(layout, blocks, index, blockId, &target) || (target & kSubdirectoryBit) == 0 ||
        !ReadDirectory(layout, root + (target & ~kSubdirectoryBit), &languages))
        return false;
    if (*blockId == 0 || *blockId > kLastBlockId || languages.namedCount + languages.idCount == 0) {
        *blockId = 0;
        return true;
    }
    return ReadEntry(layout, languages, 0, &language, &dataEntry) && (dataEntry & kSubdirectoryBit) == 0 &&
           layout.U32AtRva(root + dataEntry, &dataRva) && layout.U32AtRva(root + dataEntry + 4, size) &&
           layout.FileOffset(dataRva, *size, offset);
}

}  // namespace

bool PeStringTable::Parse(std::vector<uint8_t> image) {
    strings_.clear();
    image_ = std::move(image);
    const ByteReader file(image_);
    PeImageLayout layout(file);
    const bool ok = layout.ReadHeaders() && IndexStrings(layout);
    if (!ok) {
        strings_.clear();
        image_.clear();
    }
    return ok;
}

bool PeStringTable::IndexStrings(const PeImageLayout& layout) {
    const uint64_t root = layout.resourceRva();
    if (root == 0) return true;  // no resources at all
    Directory blocks{};
    bool found = false;
    if (!FindStringDirectory(layout, root, &blocks, &found)) return false;
    if (!found) return true;
    for (uint32_t i = blocks.namedCount; i < blocks.namedCount + blocks.idCount; ++i) {
        uint32_t blockId = 0, size = 0;
        uint64_t offset = 0;
        if (!LocateBlock(layout, root, blocks, i, &blockId, &offset, &size)) return false;
        if (blockId != 0 && !IndexBlock(blockId, static_cast<size_t>(offset), size)) return false;
    }
    return true;
}

bool PeStringTable::IndexBlock(uint32_t blockId, size_t offset, size_t size) {
    const ByteReader file(image_);
    const size_t end = offset + size;  // the caller checked it lies in the file
    size_t at = offset;
    for (uint32_t index = 0; index < kStringsPerBlock; ++index) {
        uint16_t units = 0;
        if (end - at < 2 || !file.U16(at, &units)) return false;
        at += 2;
        if ((end - at) / 2 < units) return false;
        const uint32_t id = (blockId - 1) * kStringsPerBlock + index;
        if (units != 0) strings_.emplace(id, Span{at, units});  // a repeated block keeps its first copy
        at += static_cast<size_t>(units) * 2;
    }
    return true;
}

bool PeStringTable::Find(uint32_t id, std::string* text) const {
    const auto found = strings_.find(id);
    if (found == strings_.end()) return false;
    text->clear();
    AppendSingleByte(image_.data() + found->second.offset, found->second.units, text);
    return true;
}

}  // namespace platform_posix
