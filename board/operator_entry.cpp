// Typed entries to device values: truncated toward zero and kept in range,
// with no conversion whose behaviour is undefined.
#include "board/operator_entry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "board/c_number.h"

namespace quorvane {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::int32_t CutEntry(std::string_view text, int decimals) {
  constexpr double kScales[] = {1.0, 10.0, 100.0};
  decimals = std::clamp(decimals, 0, 2);
  const double value = AtofC(text);
  if (std::isnan(value)) return 0;
  // Settled on the double: converting one beyond the range is undefined.
  const double scaled = value * kScales[decimals];
  if (scaled >= static_cast<double>(kInt32Max) + 1.0) return static_cast<std::int32_t>(kInt32Max);
  if (scaled <= static_cast<double>(kInt32Min) - 1.0) return static_cast<std::int32_t>(kInt32Min);
  // Less than half a unit is no unit however it was written; this also keeps
  // the text below short.
  if (std::fabs(scaled) < 0.5) return 0;

  // The product with the scale can fall just short of a whole number
  // (0.29 * 100 is 28.999999999999996), so the digits are cut instead. The
  // shortest text that reads back as value is the text typed whenever that
  // had at most 15 significant digits, as every entry a person types has.
  char digits[48];
  const auto [end, error] =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed);
  if (error != std::errc{}) return static_cast<std::int32_t>(std::trunc(scaled));
  const char* at = digits;
  const bool negative = *at == '-';
  if (negative) ++at;
  std::int64_t units = 0;
  for (; at != end && *at != '.'; ++at) units = units * 10 + (*at - '0');
  if (at != end) ++at;  // the point
  for (int place = 0; place < decimals; ++place) {
    units = units * 10 + (at != end ? *at - '0' : 0);
    if (at != end) ++at;
  }
  return static_cast<std::int32_t>(std::clamp(negative ? -units : units, kInt32Min, kInt32Max));
}

std::int32_t ParseCurrent(std::string_view text, std::int32_t currentMax) {
  const std::int32_t c = CutEntry(text, 0);
  if (c < 0) return 0;
  if (c > currentMax) return currentMax;
  return c;
}

std::int32_t ParseFrequency(std::string_view text) {
  // Hundredths of a kilohertz, cut not rounded, then tens of hertz. The
  // product is formed wide so a huge entry saturates instead of wrapping to 0 Hz.
  const std::int64_t f = std::int64_t{CutEntry(text, 2)} * 10;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(f, 0, kMaxFrequencyHz));
}

std::uint8_t ParseDuration(std::string_view text) {
  // Clamped rather than wrapped: -1 must not become 255, the longest pulse.
  return static_cast<std::uint8_t>(std::clamp(CutEntry(text, 0), 0, 255));
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
