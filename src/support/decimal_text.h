/*
 * Decimal texts of 32-bit numbers, written directly: the field readers
 * write a number for nearly every field the host reads, and the C
 * library's formatter costs several times the rest of such a read.
 */
#ifndef MORVANE_SUPPORT_DECIMAL_TEXT_H
#define MORVANE_SUPPORT_DECIMAL_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// "00" to "99", the text of each number below 100 at twice its value:
// digits are written two at a time, with one division per pair.
inline constexpr char kDigitPairs[] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

// Writes value (0..99) as two digits, without a NUL.
inline void WriteDigitPair(uint32_t value, char* out) { memcpy(out, &kDigitPairs[2 * value], 2); }

// Room for any text below: a sign, ten digits and the NUL.
constexpr size_t kDecimalTextSize = 12;

// Writes what snprintf writes for "%d" (width 0) or "%0<width>d" (width 1
// to 10): a '-' for a negative value, zeros up to width characters in all,
// then the digits; and a NUL.  out holds at least kDecimalTextSize bytes.
// Returns the length of the text.
size_t FormatDecimal(int32_t value, int width, char* out);

#endif
