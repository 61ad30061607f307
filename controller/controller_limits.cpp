// The lab's limits in the panel: what the limits file lets the operator
// send, the ramps it asks for, and the alarms the readings raise. Without a
// limits file nothing here reaches the board or the window.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "controller/panel_controls.h"
#include "controller/timing.h"

namespace quorvane {

namespace {

std::string JoinNote(const std::string& first, const std::string& second) {
  if (first.empty()) return second;
  if (second.empty()) return first;
  return first + "; " + second;
}

int ReadoutOf(Measurement measurement) {
  return kMeasurementControls[static_cast<std::size_t>(measurement)].readoutId;
}

// The read-outs an alarm shows on: its own, or all three for a silent board.
std::vector<int> ReadoutsOf(const Alarm& alarm) {
  if (const std::optional<Measurement> readout = alarm.readout()) return {ReadoutOf(*readout)};
  std::vector<int> all;
  for (const MeasurementControl& c : kMeasurementControls) all.push_back(c.readoutId);
  return all;
}

}  // namespace

void Controller::AskLimits() {
  m_limits = m_limitsSource ? m_limitsSource(m_openPortName) : PortLimits{};
  m_alarms = AlarmWatch(m_limits.limits);
  m_ramp.Stop();
  m_rampWanted.reset();
  m_rampDown = RampDown::kIdle;
  // The last port's notes would claim limits this one may not have.
  if (!Limited()) return ClearNotes();
  ShowLimitNotes();
  // A reopen after a device change gets no full reply: the slider takes the
  // new limit now.
  if (m_flags.synced) {
    m_window.SetSliderRange(SliderTop());
    NoteSliderPlaced();
  }
}

std::int32_t Controller::SliderTop() const {
  return Limited() ? CurrentTop(m_limits.limits, m_device.currentMax) : m_device.currentMax;
}

std::int32_t Controller::RampStepNow() const {
  const auto& rate = m_limits.limits.currentRamp;
  return rate ? RampStep(rate->value, kPollPeriod) : 0;
}

bool Controller::RiseRefused() const {
  return m_alarms.WantsRampDown() || m_rampDown == RampDown::kRamping;
}

std::optional<std::int32_t> Controller::CurrentToSend(std::int32_t target) {
  if (!Limited()) return target;
  target = std::min(ClampToLab(m_limits.limits, Setting::kCurrent, target), SliderTop());
  // Measured from what the panel sent last: during a ramp-down that is below
  // what the board has confirmed, and nothing may go back up.
  if (target > m_device.currentSetpoint && RiseRefused()) return std::nullopt;
  const std::int32_t step = RampStepNow();
  if (step == 0) return target;
  if (m_ramp.Running() && target > m_device.currentSetpoint) {
    DeferRise(target);
    return std::nullopt;
  }
  m_rampWanted.reset();
  const bool wasRunning = m_ramp.Running();
  const std::int32_t now = m_ramp.Start(target, m_confirmedSetpoint, step);
  if (wasRunning || m_ramp.Running()) ShowCurrentNote();
  return now;
}

void Controller::DeferRise(std::int32_t target) {
  m_rampWanted = target;
  const SettingSpec& item = SpecOf(Setting::kCurrent);
  m_window.SetText(ControlsOf(Setting::kCurrent).entryId, item.display(target));
}

void Controller::WatchReply(const Reply& reply) {
  ShowAlarmChanges(
      m_alarms.OnReply(reply, m_device, m_window.Now(), std::chrono::system_clock::now()));
}

void Controller::WatchTime() {
  ShowAlarmChanges(m_alarms.OnTime(m_window.Now(), std::chrono::system_clock::now()));
}

bool Controller::PollLimits() {
  if (!m_flags.portOpen) return false;
  WatchTime();
  if (RampDownStep()) return true;
  if (m_rampWanted) {
    const std::int32_t wanted = *m_rampWanted;
    m_rampWanted.reset();
    SendCurrentAtPoll(m_ramp.Start(wanted, m_confirmedSetpoint, RampStepNow()));
    ShowCurrentNote();
    return true;
  }
  if (!m_ramp.Running()) return false;
  const std::optional<std::int32_t> next = m_ramp.Next(m_confirmedSetpoint);
  if (!m_ramp.Running()) {
    ShowCurrentNote();  // the target is reached
    return false;
  }
  if (next) {
    SendCurrentAtPoll(*next);
    return true;
  }
  // Unconfirmed, though the board has answered a query since: the frame was
  // lost (the link drops frames when it purges for a write), and the ramp
  // would wait for it for ever. The same step goes again; never a further one.
  if (!m_answeredSinceStep) return false;
  SendCurrentAtPoll(m_ramp.Sent());
  return true;
}

// The one case the panel sends a setting nobody typed: the lab asked for the
// current to go to 0 on an alarm, at the ramp's rate, then soft-active off.
bool Controller::RampDownStep() {
  if (m_rampDown == RampDown::kDone && !m_alarms.WantsRampDown()) m_rampDown = RampDown::kIdle;
  if (m_rampDown == RampDown::kIdle && m_alarms.WantsRampDown()) m_rampDown = RampDown::kRamping;
  if (m_rampDown != RampDown::kRamping) return false;
  if (m_confirmedSetpoint != 0 || m_device.currentSetpoint != 0) {
    if (m_ramp.Running() && m_ramp.Target() == 0) return false;  // its own steps go on
    if (m_device.currentSetpoint == 0) {
      // A 0 already sent waits for its reply, and goes again if it was lost.
      if (!m_answeredSinceStep) return false;
      SendCurrentAtPoll(0);
      return true;
    }
    // Started, or again after a box or the operator's own decrease stopped it.
    m_rampWanted.reset();
    const std::int32_t step = RampStepNow();
    std::int32_t first = 0;
    if (step == 0) {
      m_ramp.Stop();
    } else {
      first = m_ramp.Start(0, m_confirmedSetpoint, step, true);
    }
    SendCurrentAtPoll(first);
    ShowCurrentNote();
    return true;
  }
  m_rampDown = RampDown::kDone;
  ShowCurrentNote();
  if (m_device.softActive == 0) return false;
  m_device.softActive = 0;
  Send(BuildSetSoftActive(0));
  m_pace.PauseThen(kAfterSoftActive, [this] { QueryStatus(); });
  return true;
}

void Controller::EndRamp() {
  if (!m_ramp.Running() && !m_rampWanted) return;
  m_ramp.Stop();
  m_rampWanted.reset();
  // The entry showed where the ramp was going; it stopped at what was sent last.
  const SettingSpec& item = SpecOf(Setting::kCurrent);
  m_window.SetText(ControlsOf(Setting::kCurrent).entryId, item.display(m_device.currentSetpoint));
  ShowCurrentNote();
}

void Controller::EndAlarms() {
  m_rampDown = RampDown::kIdle;
  ShowAlarmChanges(m_alarms.Reset());
}

void Controller::LimitsClosed() {
  EndRamp();
  EndAlarms();
  if (ReadOnly()) m_window.SetOpenPortHint("");
}

std::string Controller::AlarmReason(const Alarm& alarm) const {
  return m_alarms.WantsRampDown() ? RampDownText(alarm) : alarm.Text();
}

void Controller::ShowAlarmChanges(const AlarmChanges& changes) {
  if (!changes.Any()) return;
  std::vector<int> touched;
  for (const auto* list : {&changes.ended, &changes.started}) {
    for (const Alarm& alarm : *list) {
      for (int id : ReadoutsOf(alarm))
        if (std::find(touched.begin(), touched.end(), id) == touched.end()) touched.push_back(id);
    }
  }
  // Each read-out shows the newest alarm still on it, or none; an alarm that
  // ended under another leaves that one's reason, not its own.
  for (int id : touched) {
    std::string reason;
    for (const Alarm& alarm : m_alarms.Active()) {
      const std::vector<int> ids = ReadoutsOf(alarm);
      if (std::find(ids.begin(), ids.end(), id) != ids.end()) reason = AlarmReason(alarm);
    }
    std::string& shown = m_alarmsShown[id];
    if (shown == reason) continue;
    shown = reason;
    m_window.ShowAlarm(id, reason);
  }
  if (m_readingsObserver != nullptr) m_readingsObserver->OnAlarmChanges(changes);
}

std::string Controller::CurrentNote() const {
  return JoinNote(LabLimitNote(m_limits.limits, Setting::kCurrent),
                  m_ramp.Running() ? RampStatusText(m_ramp, m_confirmedSetpoint) : "");
}

void Controller::ShowCurrentNote() {
  SetNote(ControlsOf(Setting::kCurrent).entryId, CurrentNote());
}

void Controller::ShowLimitNotes() {
  for (const SettingControls& c : kSettingControls) {
    if (SpecOf(c.setting).kind == ValueKind::kSwitch) continue;
    const std::string note = LabLimitNote(m_limits.limits, c.setting);
    if (c.sliderId != kNoControl) SetNote(c.sliderId, note);
    SetNote(c.entryId, c.setting == Setting::kCurrent ? CurrentNote() : note);
  }
}

void Controller::SetNote(int controlId, const std::string& note) {
  std::string& shown = m_notes[controlId];
  if (shown == note) return;
  shown = note;
  m_window.SetControlNote(controlId, note);
}

void Controller::ClearNotes() {
  for (auto& [id, note] : m_notes) {
    if (note.empty()) continue;
    note.clear();
    m_window.SetControlNote(id, "");
  }
}

}  // namespace quorvane
