/*
 * Device text to host text.
 *
 * The device stores text without a terminator and with bare line feeds;
 * the host wants NUL-terminated text with CR LF.  A host buffer for a field
 * must hold kFieldTextSize bytes: at most kFieldSourceLimit bytes of a
 * value are read, and the text written stops once kFieldTextStop
 * characters are reached, which a CR LF written in one step can overrun by
 * one.
 */
#ifndef MORVANE_FIELDS_FIELD_TEXT_H
#define MORVANE_FIELDS_FIELD_TEXT_H

#include "schema/working_record.h"

#include <stddef.h>
#include <stdint.h>

// Value bytes read from one text field, at most.
constexpr uint32_t kFieldSourceLimit = 0xAFFF;  // 45,055
// The text copy stops as soon as this many characters are written.
constexpr uint32_t kFieldTextStop = 0xBFFF;  // 49,151
// Longest text given to the host, and the buffer it needs with its NUL.
constexpr uint32_t kFieldTextLimit = kFieldTextStop + 1;  // 49,152
constexpr size_t kFieldTextSize = kFieldTextLimit + 1;

// Copies length bytes of source (cut to kFieldSourceLimit) into out,
// writing a CR before every LF that does not already follow one.  Stops at
// a NUL byte or once kFieldTextStop characters are written; always
// NUL-terminates.  Returns the characters written.
uint32_t CopyTextWithCrLf(const uint8_t* source, uint32_t length, char* out);

// Copies min(length, kFieldSourceLimit) bytes unchanged and NUL-terminates;
// the category text "Undefined" (the device's "no category") becomes empty.
void CopyCategoryText(const uint8_t* source, uint32_t length, char* out);

// The Memo title: the memo text up to its first LF (or all of it), unchanged
// and cut to kFieldTextLimit characters.  noteText may be null: empty text.
void CopyMemoTitle(const WorkingField* noteText, char* out);

// The Memo text: what follows the first LF of the memo, moved to the front
// of the slot's own bytes and NUL-terminated there (its length stays), then
// given through CopyTextWithCrLf.  A memo without a LF has empty text.  So a
// later title or text read of the same record sees the shortened memo.
void TakeMemoText(WorkingField* noteText, char* out);

// A half of a stored date-time text YYYYMMDDHHMM...: selector 'D' gives the
// eight date characters, 'T' the four time characters from position 8, as
// far as the value reaches.  A slot without data gives empty text, whatever
// its length: a send date may sit under an empty or absent length, and is
// then read up to its first character that is not a digit, since the true
// extent of its bytes is no longer known; the record conversion ends every
// value with a zero byte past its length, so that read stays inside the
// value's buffer.  Any other selector gives empty text.
void CopyTimeStampHalf(const WorkingField* slot, char selector, char* out);

#endif
