// The tick function of the board's readings.
#include "sim/board_physics.h"

#include <algorithm>

namespace quorvane::sim {

namespace {

std::int32_t StepToward(std::int32_t value, std::int32_t target, std::int32_t maxStep) {
  if (value < target) return std::min(target, value + maxStep);
  return std::max(target, value - maxStep);
}

}  // namespace

void PhysicsTick(Readings& readings, std::int32_t setpoint, bool softActive, std::mt19937& rng) {
  if (softActive) {
    const std::int32_t step = readings.currentRead <= setpoint ? kRampUpPerTick : kRampDownPerTick;
    readings.currentRead = StepToward(readings.currentRead, setpoint, step);
  } else {
    readings.currentRead = StepToward(readings.currentRead, 0, kRampDownPerTick);
  }

  const std::int32_t gap = PumpTempTarget(readings.currentRead) - readings.pumpTemp;
  // Integer division would stall a small gap forever; always move at least one
  // hundredth so the pump settles exactly on its target.
  std::int32_t step = gap / kPumpTempDivisor;
  if (step == 0 && gap != 0) step = gap > 0 ? 1 : -1;
  readings.pumpTemp += step;

  // The raw engine output, not a distribution: distributions differ between
  // standard libraries and the same seed must give the same run everywhere.
  const auto span = static_cast<std::uint32_t>(2 * kSeedNoise + 1);
  readings.seedTemp = kAmbientTemp - kSeedNoise + static_cast<std::int32_t>(rng() % span);
}

}  // namespace quorvane::sim
