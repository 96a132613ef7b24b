// What an item says, as a hash that does not move when another program
// merely writes the same item again, and the time those writes stamp.
#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <string>
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

bool IsVolatile(const std::string& line) {
    const size_t end = line.find_first_of(";:");
    std::string name = line.substr(0, end);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
    for (const char* property : kVolatileProperties)
        if (name == property) return true;
    return false;
}

// FNV-1a, 64 bits, from two starts at once: 128 bits, enough to tell
// changed items apart (this is no defence against a forger).  The two
// chains of multiplications are independent, so one pass costs about what
// one of them does.
void Fnv1a(const std::string& text, uint64_t* first, uint64_t* second) {
    uint64_t a = *first, b = *second;
    for (unsigned char c : text) {
        a = (a ^ c) * 0x100000001b3ULL;
        b = (b ^ c) * 0x100000001b3ULL;
    }
    *first = a;
    *second = b;
}

}  // namespace

std::string HashText(const std::string& text) {
    uint64_t first = 0xcbf29ce484222325ULL, second = 0x84222325cbf29ce4ULL;
    Fnv1a(text, &first, &second);
    char hex[33];
    snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(first),
             static_cast<unsigned long long>(second));
    return hex;
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
    std::vector<std::string> lines = UnfoldContentLines(item.text);
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::string& l) { return l.empty() || IsVolatile(l); }),
                lines.end());
    std::sort(lines.begin(), lines.end());
    std::string joined;
    joined.reserve(item.text.size() + lines.size());
    for (const std::string& line : lines) {
        joined += line;
        joined += '\n';
    }
    return HashText(joined);
}

}  // namespace morvane_pim
