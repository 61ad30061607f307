// The readings poll and the operator's setting commands: what goes to the board,
// in which order and with which pauses, so the board is never flooded.
#include <chrono>
#include <string>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "controller/panel_controls.h"
#include "controller/timing.h"

namespace quorvane {

void Controller::OnTimerPoll() {
  const std::int32_t position = m_window.SliderPosition();
  // Compared with where the panel left the slider, not with the set-point: a
  // set-point beyond the slider's range would otherwise look like a move and
  // go back to the board as a setting nobody gave.
  if (position != m_sliderPlaced) {
    if (!m_flags.portOpen) return;
    // The operator moved the slider since the last tick.
    m_sliderPlaced = position;
    const std::optional<std::int32_t> setpoint =
        ReadOnly() ? std::nullopt : CurrentToSend(position);
    if (setpoint) return SendCurrentAtPoll(*setpoint);
    // Refused, or left to the ramp running: the slider goes back to the
    // set-point (under a ramp, what the board confirmed), and nothing is
    // sent for the move itself.
    PlaceSlider(m_ramp.Running() ? m_confirmedSetpoint : m_device.currentSetpoint);
  }
  if (Limited() && PollLimits()) return;
  QueryStatus();
}

void Controller::SendCurrentAtPoll(std::int32_t setpoint) {
  m_device.currentSetpoint = setpoint;
  m_answeredSinceStep = false;
  if (m_ramp.Running()) {
    // Under a ramp the slider shows what the board has confirmed, and the
    // poll keeps the period the ramp's step is reckoned for (after a step
    // button's release it runs faster).
    PlaceSlider(m_confirmedSetpoint);
    if (m_pollPeriod != kPollPeriod) StartTimer(TIMER_POLL, kPollPeriod);
  }
  Send(BuildSetCurrent(m_device.currentPrefix[0], m_device.currentPrefix[1], setpoint));
  // The query after the pause asks only if the port is still open then.
  m_pace.PauseThen(kAfterSliderSet, [this] { QueryStatus(); });
}

void Controller::QueryStatus() {
  if (!m_flags.portOpen) return;
  Send(BuildReadStatus());
  // Nothing follows in this tick; the pause holds back whatever comes next.
  m_pace.PauseThen(kAfterStatusQuery, [] {});
}

void Controller::OnSetCurrent() { OnSet(Setting::kCurrent); }
void Controller::OnSetFrequency() { OnSet(Setting::kFrequency); }
void Controller::OnSetDuration() { OnSet(Setting::kDuration); }
void Controller::OnSoftActive() { OnSet(Setting::kSoftActive); }

void Controller::OnSet(Setting setting) {
  m_pace.Serve([this, setting] {
    if (SpecOf(setting).kind == ValueKind::kSwitch) return ToggleNow(setting);
    SetNow(setting);
  });
}

void Controller::SetNow(Setting setting) {
  if (!m_flags.synced || !m_flags.portOpen) return;
  const SettingSpec& item = SpecOf(setting);
  const std::string text = m_window.GetText(ControlsOf(setting).entryId);
  if (text.empty() || ReadOnly()) return;
  // The field's own conversion keeps to the board's range; the lab's window
  // is laid over it.
  std::int32_t value = item.parse(text, m_device);
  if (Limited()) {
    value = ClampToLab(m_limits.limits, setting, value);
    if (setting == Setting::kCurrent) {
      const std::optional<std::int32_t> sent = CurrentToSend(value);
      if (!sent) return;
      value = *sent;
    }
  }
  StopTimer(TIMER_POLL);
  item.put(m_device, value);
  // Keep the slider on the new set-point, or the next poll tick would take
  // the old slider position for an operator's move and send it back. Under a
  // ramp it shows what the board has confirmed.
  if (ControlsOf(setting).sliderId != kNoControl)
    PlaceSlider(m_ramp.Running() ? m_confirmedSetpoint : item.get(m_device));
  const CommandFrame frame = item.build(m_device, item.get(m_device));
  Send(frame);
  m_pace.PauseThen(kBetweenRepeats, [this, frame, twice = item.sentTwice] {
    if (twice) Send(frame);
    StartTimer(TIMER_POLL, kPollPeriod);
  });
}

void Controller::ToggleNow(Setting setting) {
  if (!m_flags.synced || !m_flags.portOpen || ReadOnly()) return;
  const SettingSpec& item = SpecOf(setting);
  // While the lab's ramp-down runs, soft-active may go off but not on.
  if (item.get(m_device) == 0 && RiseRefused()) return;
  StopTimer(TIMER_POLL);
  // The button keeps its look until the board reports the new state.
  item.put(m_device, item.get(m_device) == 0 ? 1 : 0);
  Send(item.build(m_device, item.get(m_device)));
  m_pace.PauseThen(kAfterSoftActive, [this] { StartTimer(TIMER_POLL, kPollPeriod); });
}

}  // namespace quorvane
