/*
 * Decimal texts of 32-bit numbers, written directly: the field readers
 * write a number for nearly every field the host reads, and the C
 * library's formatter costs several times the rest of such a read.
 */
#ifndef MORVANE_SUPPORT_DECIMAL_TEXT_H
#define MORVANE_SUPPORT_DECIMAL_TEXT_H

#include <stddef.h>
#include <stdint.h>

// Room for any text below: a sign, ten digits and the NUL.
constexpr size_t kDecimalTextSize = 12;

// Writes what snprintf writes for "%d" (width 0) or "%0<width>d" (width 1
// to 10): a '-' for a negative value, zeros up to width characters in all,
// then the digits; and a NUL.  out holds at least kDecimalTextSize bytes.
// Returns the length of the text.
size_t FormatDecimal(int32_t value, int width, char* out);

#endif
