// The step buttons' rule: how far one step moves the set-point after a hold
// of nudgeTicks repeats, kept within 0..currentMax.
#pragma once

#include <cstdint>

namespace quorvane {

// nudgeTicks 0..49 gives a step of 1..10 mA.
inline constexpr std::uint8_t kMaxNudgeTicks = 49;
constexpr std::int32_t NudgeStep(std::uint8_t nudgeTicks) { return nudgeTicks / 5 + 1; }
std::int32_t StepDownRule(std::int32_t setpoint, std::uint8_t nudgeTicks);
std::int32_t StepUpRule(std::int32_t setpoint, std::int32_t currentMax, std::uint8_t nudgeTicks);

}  // namespace quorvane
