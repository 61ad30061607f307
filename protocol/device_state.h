// What the panel believes the board's parameters and readings are, with the text
// forms shown to the operator and the rules that turn typed text into device values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// COLORREF values, laid out 0x00BBGGRR.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kSoftActiveOnColor = 0x0000FF;   // red
inline constexpr ColorRef kSoftActiveOffColor = 0xF5F5F5;  // light grey

struct DeviceState {
  std::array<std::uint8_t, 2> currentPrefix{0, 0};  // echoed back in CMD_SET_CURRENT
  std::int32_t currentSetpoint = 0;                 // mA
  std::int32_t currentMax = 0;                      // mA, bounds slider and set-points
  std::int32_t frequencyHz = 0;                     // Hz
  std::uint8_t pulseSteps = 20;                     // board steps
  std::uint8_t softActive = 0;                      // 0 = off
  std::int32_t currentRead = 0;                     // mA
  std::int32_t seedTemp = 0;                        // hundredths of a degree C
  std::int32_t pumpTemp = 0;                        // hundredths of a degree C
};

// Text forms, identical to printf "%d", "%.2f", "%.1f" in the "C" locale
// whatever the process locale is.
std::string SetpointText(std::int32_t milliamperes);  // also currentRead
std::string FrequencyText(std::int32_t hertz);        // kHz, two decimals
std::string DurationText(std::uint8_t steps);
std::string TemperatureText(std::int32_t hundredths);  // degrees, one decimal

struct SoftActivePresentation {
  ColorRef color;
  const char* caption;
};
SoftActivePresentation PresentSoftActive(std::uint8_t softActive);

// The C library's atof in the "C" locale: the longest leading decimal (or hex,
// inf, nan) number after white space, 0.0 when there is none.
double AtofC(std::string_view text);

// Operator entries. An empty text means "do nothing"; the caller tests that.
// Values outside the signed 32-bit range, infinities and NaN saturate to the
// field's range (NaN counts as 0): no conversion with undefined behaviour runs.
std::int32_t ParseCurrent(std::string_view text, std::int32_t currentMax);  // 0..currentMax
std::int32_t ParseFrequency(std::string_view text);  // Hz, multiples of 10, 0..kMaxFrequencyHz
std::uint8_t ParseDuration(std::string_view text);   // clamped 0..255
void ToggleSoftActive(DeviceState& state);

inline constexpr std::int32_t kMaxFrequencyHz = 2147483640;  // largest multiple of 10 in int32

// Step buttons: nudgeTicks 0..49 gives a step of 1..10 mA.
inline constexpr std::uint8_t kMaxNudgeTicks = 49;
constexpr std::int32_t NudgeStep(std::uint8_t nudgeTicks) { return nudgeTicks / 5 + 1; }
std::int32_t StepDownRule(std::int32_t setpoint, std::uint8_t nudgeTicks);
std::int32_t StepUpRule(std::int32_t setpoint, std::int32_t currentMax, std::uint8_t nudgeTicks);

// Slider geometry: range 0..currentMax and nine ticks at i * currentMax / 10.
std::array<std::int32_t, 9> SliderTicks(std::int32_t currentMax);

}  // namespace quorvane
