#include "fields/field_text.h"

#include "fields/field_value.h"

#include <string.h>

namespace {

constexpr char kUndefinedCategory[] = "Undefined";

// Characters of a date-time text before its time half.
constexpr uint32_t kDateDigits = 8;
constexpr uint32_t kTimeDigits = 4;

// The lines of count bytes of source (no NUL among them), each LF given
// with a CR before it; see CopyTextWithCrLf.
uint32_t CopyLinesWithCrLf(const uint8_t* source, uint32_t count, char* out) {
    uint32_t written = 0;
    uint32_t taken = 0;
    while (taken < count && written < kFieldTextStop) {
        // The run up to the next LF is copied as it is.
        const void* lineFeed = memchr(source + taken, '\n', count - taken);
        uint32_t run = lineFeed == nullptr ? count - taken
                                           : static_cast<uint32_t>(static_cast<const uint8_t*>(lineFeed) - source) - taken;
        if (run > kFieldTextStop - written) run = kFieldTextStop - written;
        memcpy(out + written, source + taken, run);
        written += run;
        taken += run;
        if (taken == count || written == kFieldTextStop) break;
        // A CR LF the device already holds stays as it is; a bare LF gets
        // its CR, written in the same step.
        if (taken == 0 || source[taken - 1] != '\r') out[written++] = '\r';
        out[written++] = '\n';
        ++taken;
    }
    out[written] = '\0';
    return written;
}

}  // namespace

uint32_t CopyTextWithCrLf(const uint8_t* source, uint32_t length, char* out) {
    // A NUL ends the text where it stands.
    const uint32_t count =
        source == nullptr ? 0
                          : static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(source),
                                                          length > kFieldSourceLimit ? kFieldSourceLimit : length));
    if (count == 0) {
        out[0] = '\0';
        return 0;
    }
    // Most values are a single line: one copy, which never reaches the stop.
    static_assert(kFieldSourceLimit < kFieldTextStop, "a line read whole fits before the stop");
    if (memchr(source, '\n', count) == nullptr) {
        memcpy(out, source, count);
        out[count] = '\0';
        return count;
    }
    return CopyLinesWithCrLf(source, count, out);
}

void CopyCategoryText(const uint8_t* source, uint32_t length, char* out) {
    uint32_t count = length > kFieldSourceLimit ? kFieldSourceLimit : length;
    if (source != nullptr && count > 0) memcpy(out, source, count);
    out[source != nullptr ? count : 0] = '\0';
    if (strcmp(out, kUndefinedCategory) == 0) out[0] = '\0';
}

void CopyMemoTitle(const WorkingField* noteText, char* out) {
    out[0] = '\0';
    uint32_t length = TextLength(noteText);
    if (length == 0) return;
    const void* lineFeed = memchr(noteText->data, '\n', length);
    uint32_t titleLength =
        lineFeed == nullptr ? length : static_cast<uint32_t>(static_cast<const uint8_t*>(lineFeed) - noteText->data);
    if (titleLength > kFieldTextLimit) titleLength = kFieldTextLimit;
    memcpy(out, noteText->data, titleLength);
    out[titleLength] = '\0';
}

void TakeMemoText(WorkingField* noteText, char* out) {
    out[0] = '\0';
    uint32_t length = TextLength(noteText);
    if (length == 0) return;
    const void* lineFeed = memchr(noteText->data, '\n', length);
    if (lineFeed == nullptr) return;  // the whole memo is its title
    uint32_t textStart = static_cast<uint32_t>(static_cast<const uint8_t*>(lineFeed) - noteText->data) + 1;
    uint32_t considered = length > kFieldSourceLimit ? kFieldSourceLimit : length;
    // A first line longer than what is read leaves no text to give.
    if (textStart > considered) return;
    uint32_t remainder = considered - textStart;
    memmove(noteText->data, noteText->data + textStart, remainder);
    noteText->data[remainder] = '\0';
    CopyTextWithCrLf(noteText->data, remainder, out);
}

void CopyTimeStampHalf(const WorkingField* slot, char selector, char* out) {
    out[0] = '\0';
    if (!HoldsData(slot) || (selector != 'D' && selector != 'T')) return;
    bool lengthKnown = slot->length != 0 && slot->length != kValueAbsent;
    // Extent of the text: its length, or its run of digits when the length
    // no longer describes the bytes.
    uint32_t extent = 0;
    if (lengthKnown) {
        extent = slot->length;
    } else {
        while (extent < kDateDigits + kTimeDigits && slot->data[extent] >= '0' && slot->data[extent] <= '9') ++extent;
    }
    uint32_t first = selector == 'D' ? 0 : kDateDigits;
    uint32_t wanted = selector == 'D' ? kDateDigits : kTimeDigits;
    const uint32_t end = extent < first + wanted ? extent : first + wanted;
    uint32_t written = 0;
    for (uint32_t i = first; i < end && slot->data[i] != '\0'; ++i) out[written++] = static_cast<char>(slot->data[i]);
    // A text that ends inside the date has no time half.
    if (selector == 'T' && memchr(slot->data, '\0', extent < kDateDigits ? extent : kDateDigits) != nullptr)
        written = 0;
    out[written] = '\0';
}
