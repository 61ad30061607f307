// What the panel believes the board's parameters and readings are, in the
// board's own units.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/wire_format.h"

namespace quorvane {

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

// Stores the values a reply carries, as the board reported them. A frequency
// is held as the signed value the entry field's conversion also produces.
void StoreReply(DeviceState& state, const Reply& reply);

}  // namespace quorvane
