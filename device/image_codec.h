/*
 * The pieces of an image file's text that reading and writing share: how
 * a link value of each type is spelt, and the names of fault effects.
 * Internal to the device; failures throw std::runtime_error, caught where
 * an image is read.
 */
#ifndef MORVANE_DEVICE_IMAGE_CODEC_H
#define MORVANE_DEVICE_IMAGE_CODEC_H

#include "device/ole_date.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace tethra_sim {

std::string Hex(const uint8_t* bytes, size_t n);
std::vector<uint8_t> Unhex(const std::string& text);
void UnhexInto(const std::string& text, uint8_t* out, size_t n);

// Device text is single-byte; each byte is shown as the character of the
// same number; text beyond U+00FF is refused.
std::vector<uint8_t> Utf8ToBytes(const std::string& text);

// Dates, times and date-times as "2026-12-06", "19:30:00" and
// "2026-12-06T19:30:00"; ParseDate is false for any other text.
bool ParseDate(uint32_t type, const std::string& text, double* out);
// The readable form of an 8-byte date value, when reading it back gives
// the same bytes; false when only {"ole": d} keeps them exactly.
bool ReadableDate(uint32_t type, double value, std::string* text);

bool IsDateType(uint32_t type);
// 1, 2 or 4 for the integer link types, 0 for the others.
size_t IntegerWidth(uint32_t type);

// Names of the fault effects in an image file, in FaultEffect order.
extern const char* const kEffectNames[5];

}  // namespace tethra_sim

#endif
