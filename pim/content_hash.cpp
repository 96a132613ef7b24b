// What an item says, as a hash that does not move when another program
// merely writes the same item again, and the time those writes stamp.
#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "pim/content_lines.h"
#include "pim/pim.h"
#include "records/field_map.h"

namespace morvane_pim {

namespace {

// Properties that only say when or by whom an item was written.
static const char* const kVolatileProperties[] = {
    "PRODID", "DTSTAMP", "LAST-MODIFIED", "REV",
};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsVolatile(std::string_view line) {
    size_t size = 0;
    while (size < line.size() && line[size] != ';' && line[size] != ':') ++size;
    for (const char* property : kVolatileProperties) {
        size_t i = 0;
        while (i < size && property[i] != '\0' && UpperAscii(line[i]) == property[i]) ++i;
        if (i == size && property[i] == '\0') return true;
    }
    return false;
}

// FNV-1a, 64 bits, from two starts at once: 128 bits, enough to tell
// changed items apart (this is no defence against a forger).  The two
// chains of multiplications are independent, so one pass costs about what
// one of them does.
void Fnv1a(std::string_view text, uint64_t* first, uint64_t* second) {
    uint64_t a = *first, b = *second;
    for (unsigned char c : text) {
        a = (a ^ c) * 0x100000001b3ULL;
        b = (b ^ c) * 0x100000001b3ULL;
    }
    *first = a;
    *second = b;
}

constexpr uint64_t kFirstStart = 0xcbf29ce484222325ULL, kSecondStart = 0x84222325cbf29ce4ULL;

std::string HashHex(uint64_t first, uint64_t second) {
    char hex[33];
    snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(first),
             static_cast<unsigned long long>(second));
    return hex;
}

}  // namespace

std::string HashText(const std::string& text) {
    uint64_t first = kFirstStart, second = kSecondStart;
    Fnv1a(text, &first, &second);
    return HashHex(first, second);
}

std::string RevisionTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc;
    char text[20] = "";
    if (gmtime_r(&t, &utc) != nullptr) strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

std::string ContentHash(int32_t section, const Item& item) {
    if (section == morvane_host::kMailSection) {
        // A message is what its bytes say, with where it is and whether it
        // was read.
        return HashText(item.text + '\n' + std::to_string(item.folder) + (item.seen ? "S" : "-"));
    }
    // The hash of its unfolded lines, sorted, each with a line feed.
    std::deque<std::string> joined;
    std::vector<std::string_view> lines = UnfoldContentLines(item.text, &joined);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](std::string_view l) { return l.empty() || IsVolatile(l); }),
                lines.end());
    std::sort(lines.begin(), lines.end());
    uint64_t first = kFirstStart, second = kSecondStart;
    for (std::string_view line : lines) {
        Fnv1a(line, &first, &second);
        Fnv1a("\n", &first, &second);
    }
    return HashHex(first, second);
}

}  // namespace morvane_pim
