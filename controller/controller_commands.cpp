// The readings poll and the operator's setting commands: what goes to the board,
// in which order and with which pauses, so the board is never flooded.
#include <chrono>
#include <string>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "board/operator_entry.h"
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
    m_device.currentSetpoint = position;
    Send(BuildSetCurrent(m_device.currentPrefix[0], m_device.currentPrefix[1], position));
    // The query after the pause asks only if the port is still open then.
    return m_pace.PauseThen(kAfterSliderSet, [this] { QueryStatus(); });
  }
  QueryStatus();
}

void Controller::QueryStatus() {
  if (!m_flags.portOpen) return;
  Send(BuildReadStatus());
  // Nothing follows in this tick; the pause holds back whatever comes next.
  m_pace.PauseThen(kAfterStatusQuery, [] {});
}

template <typename Parse>
void Controller::RunSettingCommand(int editId, Parse parse) {
  if (!m_flags.synced || !m_flags.portOpen) return;
  const std::string text = m_window.GetText(editId);
  if (text.empty()) return;
  StopTimer(TIMER_POLL);
  const CommandFrame frame = parse(text);
  // Sent twice: a frame can be lost when the link purges its queues for a
  // write, and a setting has no acknowledgement other than the board's reply.
  Send(frame);
  m_pace.PauseThen(kBetweenRepeats, [this, frame] {
    Send(frame);
    StartTimer(TIMER_POLL, kPollPeriod);
  });
}

void Controller::OnSetCurrent() { Serve(&Controller::SetCurrentNow); }
void Controller::OnSetFrequency() { Serve(&Controller::SetFrequencyNow); }
void Controller::OnSetDuration() { Serve(&Controller::SetDurationNow); }
void Controller::OnSoftActive() { Serve(&Controller::SoftActiveNow); }

void Controller::SetCurrentNow() {
  RunSettingCommand(IDC_CURRENT_EDIT, [this](const std::string& text) {
    m_device.currentSetpoint = ParseCurrent(text, m_device.currentMax);
    // Keep the slider on the new set-point, or the next poll tick would take
    // the old slider position for an operator's move and send it back.
    PlaceSlider(m_device.currentSetpoint);
    return BuildSetCurrent(m_device.currentPrefix[0], m_device.currentPrefix[1],
                           m_device.currentSetpoint);
  });
}

void Controller::SetFrequencyNow() {
  RunSettingCommand(IDC_FREQUENCY_EDIT, [this](const std::string& text) {
    m_device.frequencyHz = ParseFrequency(text);
    return BuildSetFrequency(m_device.frequencyHz);
  });
}

void Controller::SetDurationNow() {
  RunSettingCommand(IDC_DURATION_EDIT, [this](const std::string& text) {
    m_device.pulseSteps = ParseDuration(text);
    return BuildSetDuration(m_device.pulseSteps);
  });
}

void Controller::SoftActiveNow() {
  if (!m_flags.synced || !m_flags.portOpen) return;
  StopTimer(TIMER_POLL);
  ToggleSoftActive(m_device);
  // The button keeps its look until the board reports the new state.
  Send(BuildSetSoftActive(m_device.softActive));
  m_pace.PauseThen(kAfterSoftActive, [this] { StartTimer(TIMER_POLL, kPollPeriod); });
}

}  // namespace quorvane
