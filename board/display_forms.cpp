// Texts of the device values that do not depend on the process locale, the
// soft-active button's look and the slider's ticks.
#include "board/display_forms.h"

#include <charconv>

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

}  // namespace

std::string SetpointText(std::int32_t milliamperes) { return std::to_string(milliamperes); }

std::string FrequencyText(std::int32_t hertz) { return ScaledText(hertz, 0.001, 3); }

std::string DurationText(std::uint8_t steps) { return std::to_string(steps); }

std::string TemperatureText(std::int32_t hundredths) { return ScaledText(hundredths, 0.01, 2); }

SoftActivePresentation PresentSoftActive(std::uint8_t softActive) {
  if (softActive != 0) return {kSoftActiveOnColor, "ON"};
  return {kSoftActiveOffColor, "OFF"};
}

std::array<std::int32_t, 9> SliderTicks(std::int32_t currentMax) {
  std::array<std::int32_t, 9> ticks{};
  for (int i = 1; i <= 9; ++i) {
    ticks[i - 1] = static_cast<std::int32_t>(std::int64_t{i} * currentMax / 10);
  }
  return ticks;
}

}  // namespace quorvane
