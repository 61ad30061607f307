// What the operator types, turned into device values: read as the C library's
// atof reads it in the "C" locale, truncated toward zero, kept in range.
#pragma once

#include <cstdint>
#include <string_view>

#include "protocol/device_state.h"

namespace quorvane {

// An empty text means "do nothing"; the caller tests that. Values outside
// the signed 32-bit range, infinities and NaN saturate to the field's range
// (NaN counts as 0): no conversion with undefined behaviour runs.
std::int32_t ParseCurrent(std::string_view text, std::int32_t currentMax);  // 0..currentMax
std::int32_t ParseFrequency(std::string_view text);  // Hz, multiples of 10, 0..kMaxFrequencyHz
std::uint8_t ParseDuration(std::string_view text);   // clamped 0..255
void ToggleSoftActive(DeviceState& state);

inline constexpr std::int32_t kMaxFrequencyHz = 2147483640;  // largest multiple of 10 in int32

}  // namespace quorvane
