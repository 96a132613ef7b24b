#include "support/decimal_text.h"

size_t FormatDecimal(int32_t value, int width, char* out) {
    // The magnitude as unsigned, so that the most negative value has one.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    size_t length = 0;
    if (value < 0) out[length++] = '-';
    for (int pad = width - static_cast<int>(length) - count; pad > 0; --pad) out[length++] = '0';
    while (count > 0) out[length++] = digits[--count];
    out[length] = '\0';
    return length;
}
