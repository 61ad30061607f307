// What the operator types, turned into device values: read as the C library's
// atof reads it in the "C" locale, truncated toward zero, kept in range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/device_state.h"

namespace quorvane {

// The number atof reads from text in units of 10^-decimals (decimals 0..2),
// cut toward zero: the decimal the operator typed is cut, not its nearest
// binary fraction, so 0.29 is 29 hundredths. Beyond the signed 32-bit range it
// saturates; NaN counts as 0. Each Parse below is this, kept in its field's
// range; a caller that must refuse rather than clamp compares it with the range.
std::int32_t CutEntry(std::string_view text, int decimals);

// An empty text means "do nothing"; the caller tests that. Values outside
// the signed 32-bit range, infinities and NaN saturate to the field's range
// (NaN counts as 0): no conversion with undefined behaviour runs.
std::int32_t ParseCurrent(std::string_view text, std::int32_t currentMax);  // 0..currentMax
std::int32_t ParseFrequency(std::string_view text);  // Hz, multiples of 10, 0..kMaxFrequencyHz
std::uint8_t ParseDuration(std::string_view text);   // clamped 0..255
void ToggleSoftActive(DeviceState& state);

// Whether a character typed into an entry field may reach it, judged only by
// the character and the field's whole current text (never the caret or the
// selection): digits and backspace always, a point only into a non-empty text
// that holds none, a minus only into an empty field. Everything else can never
// be part of a number and is dropped. Every platform's entry field asks here.
bool AdmitsTypedChar(char32_t ch, std::u16string_view currentText);

// What of a pasted or dropped text may go into a field, as if its characters
// were typed one by one at the caret: the first admitted one replaces the
// selection [selectionStart, selectionEnd) and each is judged against the
// text as it stands after the ones before. Returns the characters to insert.
std::u16string FilterInsertedText(std::u16string_view currentText, std::size_t selectionStart,
                                  std::size_t selectionEnd, std::u16string_view inserted);

inline constexpr std::int32_t kMaxFrequencyHz = 2147483640;  // largest multiple of 10 in int32

}  // namespace quorvane
