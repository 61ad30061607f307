// Text forms and entry conversions of the device values, independent of the
// process locale (Qt sets it from the desktop, which may write "12,34").
#include "protocol/device_state.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace quorvane {
namespace {

std::string FixedText(double value, int decimals) {
  // to_chars is locale-free and rounds the exact binary value like printf.
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (ec != std::errc{}) return "nan";
  return std::string(buffer, end);
}

// The "C" locale, made once; strtod_l then reads '.' as the decimal point
// whatever the process locale says.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// Truncates toward zero and saturates to lo..hi; NaN counts as 0. Converting
// an out-of-range double to an integer is undefined, so it never happens.
std::int64_t TruncateSaturating(double value, std::int64_t lo, std::int64_t hi) {
  if (std::isnan(value)) return std::clamp<std::int64_t>(0, lo, hi);
  if (value <= static_cast<double>(lo)) return lo;
  if (value >= static_cast<double>(hi)) return hi;
  return static_cast<std::int64_t>(value);
}

// "%.<decimals>f" of value * 10^-scaleDigits, where decimals = scaleDigits - 1.
// Readings arrive twice a second and streams are replayed in bulk, so the
// common case is done in integers; it gives the same text as rounding the
// double, because the double lies within an ulp of value / 10^scaleDigits and
// only a last digit of 5 puts it near a rounding tie. Those, and negative
// values, go through the exact double path.
std::string ScaledText(std::int32_t value, double scale, int scaleDigits) {
  if (value < 0 || value % 10 == 5) return FixedText(value * scale, scaleDigits - 1);
  const std::int64_t rounded = (std::int64_t{value} + 5) / 10;  // in units of the last decimal
  const std::int64_t unit = scaleDigits == 3 ? 100 : 10;
  char buffer[32];
  char* end = std::to_chars(buffer, buffer + 20, rounded / unit).ptr;
  *end++ = '.';
  std::int64_t fraction = rounded % unit;
  for (std::int64_t digit = unit / 10; digit > 0; digit /= 10) {
    *end++ = static_cast<char>('0' + fraction / digit);
    fraction %= digit;
  }
  return std::string(buffer, end);
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::string SetpointText(std::int32_t milliamperes) { return std::to_string(milliamperes); }

std::string FrequencyText(std::int32_t hertz) { return ScaledText(hertz, 0.001, 3); }

std::string DurationText(std::uint8_t steps) { return std::to_string(steps); }

std::string TemperatureText(std::int32_t hundredths) { return ScaledText(hundredths, 0.01, 2); }

SoftActivePresentation PresentSoftActive(std::uint8_t softActive) {
  if (softActive != 0) return {kSoftActiveOnColor, "ON"};
  return {kSoftActiveOffColor, "OFF"};
}

double AtofC(std::string_view text) {
  const std::string terminated(text);
  if (CLocale() == static_cast<locale_t>(nullptr)) return 0.0;
  return strtod_l(terminated.c_str(), nullptr, CLocale());
}

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

std::int32_t StepDownRule(std::int32_t setpoint, std::uint8_t nudgeTicks) {
  const std::int64_t next = std::int64_t{setpoint} - NudgeStep(nudgeTicks);
  return next < 0 ? 0 : static_cast<std::int32_t>(next);
}

std::int32_t StepUpRule(std::int32_t setpoint, std::int32_t currentMax, std::uint8_t nudgeTicks) {
  const std::int64_t next = std::int64_t{setpoint} + NudgeStep(nudgeTicks);
  return next > currentMax ? currentMax : static_cast<std::int32_t>(next);
}

std::array<std::int32_t, 9> SliderTicks(std::int32_t currentMax) {
  std::array<std::int32_t, 9> ticks{};
  for (int i = 1; i <= 9; ++i) {
    ticks[i - 1] = static_cast<std::int32_t>(std::int64_t{i} * currentMax / 10);
  }
  return ticks;
}

}  // namespace quorvane
