#include "support/trace_format.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

// Widths and precisions beyond this are left to vsnprintf, so that the
// length counted here never comes near INT_MAX.
constexpr int kLargestField = 1 << 20;

// What one conversion asks for.
struct Conversion {
    bool left = false;    // '-': pad on the right
    bool zero = false;    // '0': pad numbers with zeros
    int width = 0;
    int precision = -1;   // -1: none given
    char type = 0;
};

// The text written so far: everything is counted, only what fits is stored.
class Output {
public:
    Output(char* out, size_t size) : out_(out), size_(size) {}
    void Put(char c) {
        if (length_ + 1 < size_) out_[length_] = c;
        ++length_;
    }
    void Repeat(char c, int count) {
        for (; count > 0; --count) Put(c);
    }
    void Append(const char* text, size_t count) {
        const size_t room = length_ + 1 < size_ ? size_ - 1 - length_ : 0;
        if (room > 0) memcpy(out_ + length_, text, count < room ? count : room);
        length_ += count;
    }
    size_t Finish() {
        if (size_ > 0) out_[length_ < size_ ? length_ : size_ - 1] = '\0';
        return length_;
    }
private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

// A width or precision: digits, or '*' for the next argument.  False when
// it is too large to handle here.
bool ReadField(const char** p, va_list* args, int* value) {
    if (**p == '*') {
        ++*p;
        *value = va_arg(*args, int);
        return *value >= -kLargestField && *value <= kLargestField;
    }
    for (*value = 0; **p >= '0' && **p <= '9'; ++*p) {
        *value = *value * 10 + (**p - '0');
        if (*value > kLargestField) return false;
    }
    return true;
}

// Reads what follows a '%' up to and including the conversion letter.
// Returns the position after it, or nullptr for anything not handled here.
const char* ReadConversion(const char* p, va_list* args, Conversion* conversion) {
    for (; *p == '-' || *p == '0'; ++p) (*p == '-' ? conversion->left : conversion->zero) = true;
    const bool plain = *p != '*' && (*p < '0' || *p > '9');  // the most common case: "%s", "%d"
    if (!plain && !ReadField(&p, args, &conversion->width)) return nullptr;
    if (conversion->width < 0) {  // a negative '*' width pads on the right
        conversion->left = true;
        conversion->width = -conversion->width;
    }
    if (*p == '.') {
        ++p;
        if (!ReadField(&p, args, &conversion->precision)) return nullptr;
        if (conversion->precision < 0) conversion->precision = -1;  // as if none
    }
    conversion->type = *p;
    switch (*p) {
    case 'd': case 'i': case 'u': case 'x': case 'X': return p + 1;
    // What '0' does to a text or a character differs between C libraries.
    case 's': case 'c': return conversion->zero ? nullptr : p + 1;
    default: return nullptr;
    }
}

void PutNumber(Output* out, const Conversion& conversion, unsigned value, bool negative) {
    const char* alphabet = conversion.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    const unsigned base = conversion.type == 'x' || conversion.type == 'X' ? 16 : 10;
    char digits[sizeof(unsigned) * CHAR_BIT];
    int count = 0;
    for (; value != 0; value /= base) digits[count++] = alphabet[value % base];
    // Zero is "0", except with a precision, which gives it that many zeros.
    if (count == 0 && conversion.precision < 0) digits[count++] = '0';
    int zeros = conversion.precision > count ? conversion.precision - count : 0;
    const int length = (negative ? 1 : 0) + zeros + count;
    int pad = conversion.width > length ? conversion.width - length : 0;
    if (conversion.zero && !conversion.left && conversion.precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!conversion.left) out->Repeat(' ', pad);
    if (negative) out->Put('-');
    out->Repeat('0', zeros);
    while (count > 0) out->Put(digits[--count]);
    if (conversion.left) out->Repeat(' ', pad);
}

// Writes length bytes of text, padded with blanks to the width.
void PutPadded(Output* out, const Conversion& conversion, const char* text, size_t length) {
    const size_t width = static_cast<size_t>(conversion.width);
    const int pad = width > length ? static_cast<int>(width - length) : 0;
    if (!conversion.left) out->Repeat(' ', pad);
    out->Append(text, length);
    if (conversion.left) out->Repeat(' ', pad);
}

void PutText(Output* out, const Conversion& conversion, const char* text) {
    // A null text is "(null)", or nothing when the precision cuts it.
    if (text == nullptr) text = conversion.precision < 0 || conversion.precision >= 6 ? "(null)" : "";
    // With a precision, the text may end without a zero: look no further.
    size_t length = 0;
    if (conversion.precision < 0) length = strlen(text);
    else while (length < static_cast<size_t>(conversion.precision) && text[length] != '\0') ++length;
    PutPadded(out, conversion, text, length);
}

// Formats every conversion; false at the first one not handled here.
bool FormatAll(Output* out, const char* format, va_list* args) {
    for (const char* p = format;;) {
        const char* percent = strchr(p, '%');
        if (percent == nullptr) {
            out->Append(p, strlen(p));
            return true;
        }
        out->Append(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        if (*p == '%') {  // "%%"
            out->Put(*p++);
            continue;
        }
        Conversion conversion;
        p = ReadConversion(p, args, &conversion);
        if (p == nullptr) return false;
        if (conversion.type == 's') {
            PutText(out, conversion, va_arg(*args, const char*));
        } else if (conversion.type == 'c') {
            const char c = static_cast<char>(va_arg(*args, int));
            PutPadded(out, conversion, &c, 1);
        } else if (conversion.type == 'd' || conversion.type == 'i') {
            const int value = va_arg(*args, int);
            // The magnitude in unsigned arithmetic, which INT_MIN also has.
            const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
            PutNumber(out, conversion, magnitude, value < 0);
        } else {
            PutNumber(out, conversion, va_arg(*args, unsigned), false);
        }
    }
}

}  // namespace

int FormatTraceText(char* out, size_t size, const char* format, va_list args) {
    va_list start, rest;  // from the beginning for vsnprintf; the rest for this formatter
    va_copy(start, args);
    va_copy(rest, args);
    Output output(out, size);
    const int length = FormatAll(&output, format, &rest) ? static_cast<int>(output.Finish())
                                                          : vsnprintf(out, size, format, start);
    va_end(rest);
    va_end(start);
    return length;
}
