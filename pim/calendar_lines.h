// iCalendar text as content lines (RFC 5545 section 3.1): reading an
// item's text line by line with the line numbers people see in an editor,
// writing property lines ourselves (escaping and folding), and editing an
// item's text in place so that every line nobody changed keeps its bytes.
// libical reads the values; these lines say where each property stands.
#ifndef MORVANE_PIM_CALENDAR_LINES_H
#define MORVANE_PIM_CALENDAR_LINES_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace morvane_pim {
namespace ical {

// One logical line: its physical lines unfolded.
struct ContentLine {
    uint32_t number = 0;      // the first physical line, from 1
    size_t begin = 0;         // bytes [begin, end) of the text, its line ends included
    size_t end = 0;
    std::string raw;          // unfolded, without line end
    std::string name;         // upper case; empty when the line has none
    size_t colon = std::string::npos;  // the ':' before the value, outside quoted parameters
    int depth = 0;            // components open around the line (a BEGIN line: those before it)

    bool HasValue() const { return colon != std::string::npos; }
    std::string Value() const { return HasValue() ? raw.substr(colon + 1) : std::string(); }
    std::string Params() const { return HasValue() ? raw.substr(name.size(), colon - name.size()) : std::string(); }
};

// A component of the text: its BEGIN and END lines (indices into lines).
struct Block {
    std::string kind;  // upper case, "VEVENT"
    size_t first = 0;  // the BEGIN line
    size_t last = 0;   // the END line
    int depth = 0;     // 0 for the VCALENDAR
};

struct ContentText {
    std::vector<ContentLine> lines;
    std::vector<Block> blocks;  // in the order their BEGIN lines come
    std::string lineEnd;        // the text's own line end: "\r\n", "\n" or "\r"
    // Where BEGIN and END do not pair: the line and what is wrong; number 0: none.
    uint32_t badNesting = 0;
    std::string nestingReason;
};

void ScanContentLines(const std::string& text, ContentText* out);

// The property lines directly inside a block (not inside its sub-components).
std::vector<size_t> PropertyLines(const ContentText& text, const Block& block);
// The first of those named name, or -1.
long FindProperty(const ContentText& text, const Block& block, const char* name);
// The blocks directly inside a block, of a kind (any kind for null).
std::vector<size_t> ChildBlocks(const ContentText& text, size_t block, const char* kind);

// TEXT values (RFC 5545 3.3.11).
std::string EscapeText(const std::string& utf8);
std::string UnescapeText(const std::string& value);
// A multi-valued TEXT (CATEGORIES) split at its unescaped commas, unescaped.
std::vector<std::string> SplitTextList(const std::string& value);

// A property we write: a name, parameters and the value as it stands in the
// line (already escaped or formatted).
struct Property {
    std::string name;
    std::vector<std::pair<std::string, std::string>> params;
    std::string value;
};
Property TextProperty(const char* name, const std::string& utf8);
// The property as folded content lines (at most 75 octets, never inside a
// UTF-8 character), each ended by lineEnd.
std::string FormatProperty(const Property& property, const std::string& lineEnd);
std::string FormatProperties(const std::vector<Property>& properties, const std::string& lineEnd);
// Lines ended by "\r\n" (as libical writes them) with another line end.
std::string WithLineEnd(const std::string& crlfText, const std::string& lineEnd);

// Edits by byte ranges of the original text, applied together; the bytes
// between them are kept.  Ranges must not overlap; insertions at the same
// place keep the order they were made in.
class TextEdit {
public:
    void Replace(size_t begin, size_t end, const std::string& with);
    void Insert(size_t at, const std::string& text) { Replace(at, at, text); }
    std::string Apply(const std::string& text) const;

private:
    struct Edit {
        size_t begin, end;
        std::string with;
        size_t order;
    };
    std::vector<Edit> edits_;
};

}  // namespace ical
}  // namespace morvane_pim

#endif
