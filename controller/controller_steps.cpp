// The two current step buttons: a click steps by 1 mA, holding one repeats
// every 200 ms with a step that grows the longer it is held.
#include <chrono>

#include "controller/controller.h"
#include "controller/step_rule.h"
#include "controller/timing.h"

namespace quorvane {

std::int32_t StepDownRule(std::int32_t setpoint, std::uint8_t nudgeTicks) {
  const std::int64_t next = std::int64_t{setpoint} - NudgeStep(nudgeTicks);
  return next < 0 ? 0 : static_cast<std::int32_t>(next);
}

std::int32_t StepUpRule(std::int32_t setpoint, std::int32_t currentMax, std::uint8_t nudgeTicks) {
  const std::int64_t next = std::int64_t{setpoint} + NudgeStep(nudgeTicks);
  return next > currentMax ? currentMax : static_cast<std::int32_t>(next);
}

void Controller::OnNudgePress(NudgeDirection direction) {
  m_pace.Serve([this, direction] { NudgePressNow(direction); });
}

void Controller::OnMouseRelease() { Serve(&Controller::ReleaseNow); }

void Controller::EndHold() { Serve(&Controller::EndHoldNow); }

void Controller::NudgePressNow(NudgeDirection direction) {
  if (!m_flags.synced || ReadOnly()) return;
  // The poll stays off during a hold so its slider comparison cannot undo the steps.
  StopTimer(TIMER_POLL);
  StopTimer(direction == NudgeDirection::Down ? TIMER_NUDGE_UP : TIMER_NUDGE_DOWN);
  m_nudgeTicks = 0;
  StartTimer(direction == NudgeDirection::Down ? TIMER_NUDGE_DOWN : TIMER_NUDGE_UP, kRepeatPeriod);
  m_holding = true;
}

void Controller::ReleaseNow() {
  if (!m_flags.synced) return;
  m_holding = false;
  StopTimer(TIMER_NUDGE_UP);
  StopTimer(TIMER_NUDGE_DOWN);
  m_nudgeTicks = 0;
  // A ramp's steps are reckoned for the usual period.
  StartTimer(TIMER_POLL, m_ramp.Running() || m_rampWanted ? kPollPeriod : kPollAfterRelease);
}

void Controller::EndHoldNow() {
  if (m_holding) ReleaseNow();
}

void Controller::OnNudgeTick(NudgeDirection direction) {
  // A dead man's switch: the laser current climbs only while the operator's
  // finger is on the button. Whatever took the release, the first tick after
  // it ends the hold instead of stepping.
  if (!m_window.LeftButtonDown()) {
    if (m_flags.synced) return ReleaseNow();
    // Not reachable through a press, which needs the board synced; a repeat
    // timer must not outlive the hold all the same.
    StopTimer(TIMER_NUDGE_UP);
    StopTimer(TIMER_NUDGE_DOWN);
    m_holding = false;
    return;
  }
  if (m_nudgeTicks < kMaxNudgeTicks) ++m_nudgeTicks;
  if (direction == NudgeDirection::Down) {
    StepDown();
  } else {
    StepUp();
  }
}

void Controller::StepDown() {
  if (!m_flags.synced || !m_flags.portOpen || ReadOnly()) return;
  // From what was sent last, not from a ramp's target: a decrease is never
  // ramped, it ends a ramp running and goes out at once.
  const std::optional<std::int32_t> next =
      CurrentToSend(StepDownRule(m_device.currentSetpoint, m_nudgeTicks));
  if (!next) return;
  m_device.currentSetpoint = *next;
  // The slider follows, so the poll after the release does not send it back.
  PlaceSlider(m_device.currentSetpoint);
  Send(BuildSetCurrent(m_device.currentPrefix[0], m_device.currentPrefix[1],
                       m_device.currentSetpoint));
}

void Controller::StepUp() {
  if (!m_flags.synced || !m_flags.portOpen || ReadOnly()) return;
  if (RiseRefused()) return;
  // Under a ramp each step moves its target on; the ramp takes the current
  // there no faster than its rate.
  const std::int32_t from =
      m_rampWanted.value_or(m_ramp.Running() ? m_ramp.Target() : m_device.currentSetpoint);
  const std::int32_t wanted = StepUpRule(from, SliderTop(), m_nudgeTicks);
  if (RampStepNow() > 0 && m_lastStepRise && m_window.Now() - *m_lastStepRise < kPollPeriod) {
    // Small steps, each within the ramp's, would together outpace its rate:
    // this one is left to the next poll tick.
    return DeferRise(wanted);
  }
  const std::optional<std::int32_t> next = CurrentToSend(wanted);
  if (!next) return;
  if (RampStepNow() > 0) m_lastStepRise = m_window.Now();
  m_device.currentSetpoint = *next;
  PlaceSlider(m_ramp.Running() ? m_confirmedSetpoint : m_device.currentSetpoint);
  Send(BuildSetCurrent(m_device.currentPrefix[0], m_device.currentPrefix[1],
                       m_device.currentSetpoint));
}

}  // namespace quorvane
