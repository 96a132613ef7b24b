// A calendar item the handheld changed says that it was revised, as a
// calendar program's edit would: DTSTAMP and LAST-MODIFIED take the time
// of the sync, and SEQUENCE goes up when the change is to its times, its
// repeat or its status (RFC 5545 3.8.7.4).  Invitations rely on them: a server
// sends the attendees an organiser's change, and their programs take an
// update whose SEQUENCE and DTSTAMP are those they already hold for the
// copy they have.
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pim/calendar_item.h"
#include "pim/content_lines.h"

namespace morvane_pim {
namespace cal {

namespace {

// What says when and how often an item was revised, not what it is.
bool IsRevisionMark(const std::string& name) {
    return name == "DTSTAMP" || name == "LAST-MODIFIED" || name == "SEQUENCE";
}

// The properties whose change is a significant revision: the organiser's
// program raises SEQUENCE for them.
bool IsSignificant(const std::string& name) {
    static const char* const kSignificant[] = {"DTSTART", "DTEND", "DURATION", "DUE", "RRULE", "RDATE", "EXDATE", "STATUS"};
    return std::find_if(std::begin(kSignificant), std::end(kSignificant),
                        [&](const char* n) { return name == n; }) != std::end(kSignificant);
}

// The master's lines (its sub-components' too), the revision marks left
// out; only those of significant properties when significant is set.
std::vector<std::string> MasterLines(const ParsedItem& item, bool significant) {
    const ical::Block& master = item.Master();
    std::vector<std::string> lines;
    for (size_t i = master.first + 1; i < master.last; ++i) {
        const ical::ContentLine& line = item.lines.lines[i];
        const bool own = line.depth == master.depth + 1;
        if (own && IsRevisionMark(line.name)) continue;
        if (significant && (!own || !IsSignificant(line.name))) continue;
        lines.push_back(line.raw);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

bool MarkRevised(const ParsedItem& before, const ParsedItem& after, const Context& context, std::string* text) {
    if (MasterLines(before, false) == MasterLines(after, false)) return false;
    Merger merger(after);
    const std::string end = "\r\n";
    if (MasterLines(before, true) != MasterLines(after, true)) {
        const ical::ContentLine* sequence = after.Line("SEQUENCE");
        const long was = sequence != nullptr ? strtol(sequence->Value().c_str(), nullptr, 10) : 0;
        merger.ReplaceProperties({"SEQUENCE"}, "SEQUENCE:" + std::to_string(std::max(was, 0L) + 1) + end);
    }
    if (context.settings != nullptr && context.settings->now != 0) {
        const std::string stamp = RevisionTime(context.settings->now);
        merger.ReplaceProperties({"DTSTAMP"}, "DTSTAMP:" + stamp + end);
        // An item that never said when it was last changed is not made to.
        if (after.Line("LAST-MODIFIED") != nullptr)
            merger.ReplaceProperties({"LAST-MODIFIED"}, "LAST-MODIFIED:" + stamp + end);
    }
    *text = merger.Result();
    return true;
}

}  // namespace cal
}  // namespace morvane_pim
