// Content lines of vCard and iCalendar text (RFC 2425, RFC 5545): the
// physical lines joined where a line break is followed by a space or tab.
#ifndef MORVANE_PIM_CONTENT_LINES_H
#define MORVANE_PIM_CONTENT_LINES_H

#include <stdint.h>

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace morvane_pim {

// The logical lines of text, as views of it: CR LF, LF or CR end a line; a
// line that starts with a space or tab continues the one before (the space
// dropped).  A line so continued is joined in *joined, whose strings stay
// where they are as it grows; the views live as long as text and *joined.
std::vector<std::string_view> UnfoldContentLines(const std::string& text, std::deque<std::string>* joined);

// Pieces of text cut at separator where it is not inside double quotes
// (a line's parameters at ';', a parameter's values at ',').
std::vector<std::string> SplitOutsideQuotes(const std::string& text, char separator);

// 128 bits of hash of text, as 32 hex digits.
std::string HashText(const std::string& text);

// A time (seconds since 1970) as an item says when it was revised
// (DTSTAMP, LAST-MODIFIED, REV): UTC, "20261209T120000Z".
std::string RevisionTime(int64_t seconds);

}  // namespace morvane_pim

#endif
