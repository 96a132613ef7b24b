#include "support/decimal_text.h"

#include <string.h>

namespace {

// Decimal digits of magnitude, 1 to 10, in at most four comparisons.
int DigitCount(uint32_t magnitude) {
    if (magnitude < 10000) return magnitude < 100 ? (magnitude < 10 ? 1 : 2) : (magnitude < 1000 ? 3 : 4);
    if (magnitude < 100000000)
        return magnitude < 1000000 ? (magnitude < 100000 ? 5 : 6) : (magnitude < 10000000 ? 7 : 8);
    return magnitude < 1000000000 ? 9 : 10;
}

}  // namespace

size_t FormatDecimal(int32_t value, int width, char* out) {
    // The magnitude as unsigned, so that the most negative value has one.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    const int sign = value < 0 ? 1 : 0;
    // The zeros that pad to width are the magnitude's own leading zeros:
    // writing that many digits of it writes them.
    int digits = DigitCount(magnitude);
    if (digits < width - sign) digits = width - sign;
    const size_t length = static_cast<size_t>(sign + digits);

    if (sign != 0) out[0] = '-';
    char* end = out + length;
    *end = '\0';
    for (; digits >= 2; digits -= 2) {
        end -= 2;
        WriteDigitPair(magnitude % 100u, end);
        magnitude /= 100u;
    }
    if (digits == 1) end[-1] = static_cast<char>('0' + magnitude % 10u);
    return length;
}
