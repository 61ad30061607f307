// How the board's values look on the window: their texts, the soft-active
// button's colour and caption, and the slider's tick marks.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorvane {

// COLORREF values, laid out 0x00BBGGRR.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kSoftActiveOnColor = 0x0000FF;   // red
inline constexpr ColorRef kSoftActiveOffColor = 0xF5F5F5;  // light grey
// A read-out in alarm under the lab's limits: white on red.
inline constexpr ColorRef kAlarmColor = 0x0000FF;
inline constexpr ColorRef kAlarmTextColor = 0xFFFFFF;

// Text forms, identical to printf "%d", "%.2f", "%.1f" in the "C" locale
// whatever the process locale is (Qt sets it from the desktop, which may
// write "12,34").
std::string SetpointText(std::int32_t milliamperes);  // also currentRead
std::string FrequencyText(std::int32_t hertz);        // kHz, two decimals
std::string DurationText(std::uint8_t steps);
std::string TemperatureText(std::int32_t hundredths);  // degrees, one decimal

struct SoftActivePresentation {
  ColorRef color;
  const char* caption;
};
SoftActivePresentation PresentSoftActive(std::uint8_t softActive);

// Slider geometry: range 0..currentMax and nine ticks at i * currentMax / 10.
std::array<std::int32_t, 9> SliderTicks(std::int32_t currentMax);

}  // namespace quorvane
