// A ramp of the current set-point: a step per poll, each waiting for the
// board's word on the one before.
#include <algorithm>

#include "limits/lab_limits.h"

namespace quorvane {

std::int32_t RampStep(std::int32_t mAPerSecond, std::chrono::milliseconds pollPeriod) {
  const std::int64_t step = std::int64_t{mAPerSecond} * pollPeriod.count() / 1000;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(step, 1, INT32_MAX));
}

std::int32_t CurrentRamp::Start(std::int32_t target, std::int32_t confirmed, std::int32_t step,
                                bool evenDown) {
  m_target = target;
  m_step = std::max(step, 1);
  const std::int64_t rise = std::int64_t{target} - confirmed;
  m_running = rise > m_step || (evenDown && -rise > m_step);
  m_sent = !m_running ? target : rise > 0 ? confirmed + m_step : confirmed - m_step;
  return m_sent;
}

std::optional<std::int32_t> CurrentRamp::Next(std::int32_t confirmed) {
  if (!m_running) return std::nullopt;
  if (confirmed == m_target) {
    m_running = false;
    return std::nullopt;
  }
  // One step ahead of the board at most: until it confirms, nothing more.
  if (confirmed != m_sent) return std::nullopt;
  m_sent = m_target > confirmed ? std::min(m_target, confirmed + m_step)
                                : std::max(m_target, confirmed - m_step);
  return m_sent;
}

std::string RampStatusText(const CurrentRamp& ramp, std::int32_t confirmed) {
  if (!ramp.Running()) return {};
  return "ramping the current to " + std::to_string(ramp.Target()) +
         " mA: " + std::to_string(confirmed) + " mA confirmed";
}

}  // namespace quorvane
