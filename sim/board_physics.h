// What the board's readings do over time, kept apart from the frame handling
// so the curves can be tuned and tested on their own.
#pragma once

#include <cstdint>
#include <random>

namespace quorvane::sim {

// Readings move in steps of one tick.
inline constexpr int kPhysicsTickMs = 100;
inline constexpr std::int32_t kRampUpPerTick = 50;     // mA per tick towards the set-point
inline constexpr std::int32_t kRampDownPerTick = 150;  // mA per tick towards 0 when inactive
inline constexpr std::int32_t kAmbientTemp = 2500;     // hundredths of a degree C
inline constexpr std::int32_t kPumpTempCeiling = 6000;
inline constexpr std::int32_t kPumpTempDivisor = 16;  // 1/16 of the gap closed per tick
inline constexpr std::int32_t kSeedNoise = 4;         // seed wanders within +-0.04 degrees

struct Readings {
  std::int32_t currentRead = 0;  // mA
  std::int32_t seedTemp = kAmbientTemp;
  std::int32_t pumpTemp = kAmbientTemp;
};

// The pump heats one hundredth of a degree per mA above ambient, up to the
// ceiling, and cools back when the current drops.
constexpr std::int32_t PumpTempTarget(std::int32_t currentRead) {
  const std::int32_t target = kAmbientTemp + currentRead;
  return target > kPumpTempCeiling ? kPumpTempCeiling : target;
}

// One tick: the measured current ramps towards the set-point while the laser
// is soft-active and falls to 0 otherwise; the pump temperature closes part of
// its gap to the target; the seed temperature jitters around ambient.
void PhysicsTick(Readings& readings, std::int32_t setpoint, bool softActive, std::mt19937& rng);

}  // namespace quorvane::sim
