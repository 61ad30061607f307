// The six command frames the panel sends, built byte-exact from device values.
#pragma once

#include <cstdint>

#include "protocol/wire_format.h"

namespace quorvane {

// A value, so no builder can alter a frame that has already been handed to the link.
using CommandFrame = WireFrame;

CommandFrame BuildReadStatus();
CommandFrame BuildReadAll();
// setpoint: its low 16 bits are sent, big-endian, after the two prefix bytes.
CommandFrame BuildSetCurrent(std::uint8_t prefix0, std::uint8_t prefix1, std::int32_t setpoint);
CommandFrame BuildSetFrequency(std::int32_t hertz);  // 32 bits big-endian
CommandFrame BuildSetDuration(std::uint8_t steps);
CommandFrame BuildSetSoftActive(std::uint8_t state);  // 0 or 1

}  // namespace quorvane
