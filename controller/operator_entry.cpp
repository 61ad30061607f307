// Typed entries to device values: truncated toward zero and kept in range,
// with no conversion whose behaviour is undefined.
#include "controller/operator_entry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "controller/c_number.h"

namespace quorvane {
namespace {

// Truncates toward zero and saturates to lo..hi; NaN counts as 0. Converting
// an out-of-range double to an integer is undefined, so it never happens.
std::int64_t TruncateSaturating(double value, std::int64_t lo, std::int64_t hi) {
  if (std::isnan(value)) return std::clamp<std::int64_t>(0, lo, hi);
  if (value <= static_cast<double>(lo)) return lo;
  if (value >= static_cast<double>(hi)) return hi;
  return static_cast<std::int64_t>(value);
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::int32_t ParseCurrent(std::string_view text, std::int32_t currentMax) {
  const auto c = TruncateSaturating(AtofC(text), kInt32Min, kInt32Max);
  if (c < 0) return 0;
  if (c > currentMax) return currentMax;
  return static_cast<std::int32_t>(c);
}

std::int32_t ParseFrequency(std::string_view text) {
  // Hundredths of a kilohertz, cut not rounded, then tens of hertz. The
  // product is formed wide so a huge entry saturates instead of wrapping to 0 Hz.
  const double hundredths = AtofC(text) * 100.0;
  const std::int64_t f = TruncateSaturating(hundredths, kInt32Min, kInt32Max) * 10;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(f, 0, kMaxFrequencyHz));
}

std::uint8_t ParseDuration(std::string_view text) {
  // Clamped rather than wrapped: -1 must not become 255, the longest pulse.
  return static_cast<std::uint8_t>(TruncateSaturating(AtofC(text), 0, 255));
}

void ToggleSoftActive(DeviceState& state) { state.softActive = state.softActive == 0 ? 1 : 0; }

bool AdmitsTypedChar(char32_t ch, std::u16string_view currentText) {
  constexpr char32_t kBackspace = 0x08;
  if (ch == U'.')
    return !currentText.empty() && currentText.find(u'.') == std::u16string_view::npos;
  if (ch == U'-') return currentText.empty();
  return (ch >= U'0' && ch <= U'9') || ch == kBackspace;
}

std::u16string FilterInsertedText(std::u16string_view currentText, std::size_t selectionStart,
                                  std::size_t selectionEnd, std::u16string_view inserted) {
  selectionEnd = std::min(selectionEnd, currentText.size());
  selectionStart = std::min(selectionStart, selectionEnd);
  std::u16string text(currentText);
  std::u16string admitted;
  for (const char16_t ch : inserted) {
    // A backspace in pasted text would be a character, not an erase.
    if (ch == u'\b' || !AdmitsTypedChar(ch, text)) continue;
    // The first admitted character replaces the selection, as a typed one does.
    text.replace(selectionStart, selectionEnd - selectionStart, 1, ch);
    selectionEnd = ++selectionStart;
    admitted += ch;
  }
  return admitted;
}

}  // namespace quorvane
