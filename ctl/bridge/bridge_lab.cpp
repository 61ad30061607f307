// The bridge under the lab's limits: the limits read at each open of the
// board, the alarms watched and published, and a rise of the current carried
// out as a ramp a step per poll, each step a setting exchange of its own.
#include <algorithm>

#include "controller/timing.h"
#include "ctl/bridge/bridge_loop.h"
#include "ctl/bridge/lab_messages.h"
#include "ctl/readings_output.h"

namespace quorvane::ctl {
namespace {

std::string MilliampText(std::int32_t value) { return std::to_string(value) + " mA"; }

}  // namespace

void BridgeLoop::HeldByBroker(const std::string& topic, const std::string& payload) {
  m_retained[topic] = {payload, m_options.bridge.stateQos, true};
}

// At each open: an administrator's change applies from the next one.
void BridgeLoop::ReadLimits() {
  m_limits = LimitsFor(m_port.name, m_sources);
  if (m_limits.ReadOnly()) {
    if (m_limits.unusable != m_saidUnusable)
      Note(UnusableText(m_limits) +
           "; the readings are published, every setting from the broker is refused.");
    m_saidUnusable = m_limits.unusable;
  } else {
    m_saidUnusable.clear();
  }
  // An unusable file's limits are none to watch: nothing is sent anyway.
  m_alarms.SetLimits(m_limits.ReadOnly() ? LabLimits{} : m_limits.limits);
  const auto [discoveryTopic, discoveryConfig] = AlarmDiscoveryConfig(m_id);
  if (AlarmTopicApplies()) {
    PublishAlarm();
    if (m_options.bridge.discovery)
      PublishRetained(discoveryTopic, discoveryConfig, m_options.bridge.stateQos);
  } else {
    // Published under an earlier open's file: cleared, not left standing.
    for (const std::string& topic : {m_topics.alarm, discoveryTopic})
      if (m_retained.contains(topic)) PublishRetained(topic, "", m_options.bridge.stateQos);
  }
  const DeviceState d = m_session->Device();
  WatchReply(AllReply{d.currentPrefix, static_cast<std::uint16_t>(d.currentSetpoint),
                      static_cast<std::uint16_t>(d.currentMax),
                      static_cast<std::uint32_t>(d.frequencyHz), d.pulseSteps, d.softActive});
}

bool BridgeLoop::AlarmTopicApplies() const {
  return !m_limits.ReadOnly() && !m_limits.limits.Empty();
}

void BridgeLoop::WatchReply(const Reply& reply) {
  if (!m_session) return;
  TakeAlarmChanges(
      m_alarms.OnReply(reply, m_session->Device(), Clock::now(), std::chrono::system_clock::now()));
}

void BridgeLoop::TakeAlarmChanges(const AlarmChanges& changes) {
  for (const Alarm& alarm : changes.started) Note("alarm: " + alarm.Text() + ".");
  for (const Alarm& alarm : changes.ended) Note("alarm over (it was: " + alarm.Text() + ").");
  if (!changes.Any()) return;
  PublishAlarm();
  // Started between polls, in the middle of an exchange perhaps: the
  // ramp-down waits for the pause.
  if (!changes.started.empty() && m_alarms.WantsRampDown()) m_rampDownDue = true;
}

void BridgeLoop::PublishAlarm() {
  if (AlarmTopicApplies())
    PublishRetained(m_topics.alarm, JsonText(AlarmJson(m_alarms.Active(), m_limits.limits)),
                    m_options.bridge.stateQos);
}

const Alarm* BridgeLoop::RampDownAlarm() const {
  return m_alarms.WantsRampDown() && !m_alarms.Active().empty() ? &m_alarms.Active().front()
                                                                : nullptr;
}

void BridgeLoop::RunLab() {
  if (!m_session || Stopping()) return;
  TakeAlarmChanges(m_alarms.OnTime(Clock::now(), std::chrono::system_clock::now()));
  if (m_rampDownDue) {
    m_rampDownDue = false;
    // One ramp-down at a time: a second alarm finds it running.
    if (const Alarm* alarm = RampDownAlarm(); alarm && !m_rampDown) {
      Note(RampDownText(*alarm) + ".");
      EndRamp("superseded by the lab's ramp-down (" + alarm->Text() + ")");
      RampDownFrom(m_session->Device().currentSetpoint);
      return;
    }
  }
  if (!m_ramp.Running() || !m_rampStepDue || Clock::now() < m_nextRampStep) return;
  m_rampStepDue = false;
  const std::int32_t confirmed = m_session->Device().currentSetpoint;
  const std::optional<std::int32_t> next = m_ramp.Next(confirmed);
  if (confirmed == m_rampTarget) return FinishRamp();
  if (next) return SendRampStep(*next);
  // The board holds what was not sent (a resync found another set-point).
  EndRamp("the board holds " + MilliampText(confirmed) + ", not the " +
          MilliampText(m_ramp.Sent()) + " sent");
}

bool BridgeLoop::StartRamp(const SetRequest& request, std::int32_t target) {
  // A newer request re-targets from where the board stands.
  if (m_rampRequest) EndRamp("superseded by a newer request");
  // A decrease overtaking the lab's ramp-down goes as it is; the ramp-down
  // then goes on from there.
  if (m_rampDown || !m_limits.limits.currentRamp) return false;
  const std::int32_t confirmed = m_session->Device().currentSetpoint;
  const std::int32_t step = RampStep(m_limits.limits.currentRamp->value, kPollPeriod);
  const std::int32_t first = m_ramp.Start(target, confirmed, step);
  if (!m_ramp.Running()) return false;
  m_rampRequest = request;
  m_rampTarget = target;
  m_rampStood = confirmed;
  Note("ramping the current to " + MilliampText(target) + " " + FromBroker(request.requestId) +
       ", " + MilliampText(step) + " a step (" + m_limits.limits.currentRamp->source.Text() + ").");
  SendRampStep(first);
  return true;
}

// After a current sent as it is: the set-point alarm judged, and a lab's
// ramp-down that an operator's decrease overtook goes on from there.
void BridgeLoop::AfterCurrentSent(const SettingExchange& exchange) {
  if (!m_session) return;
  if (exchange.reported)
    WatchReply(CurrentReply{m_session->Device().currentPrefix,
                            static_cast<std::uint16_t>(*exchange.reported)});
  if (m_rampDown && !Stopping()) RampDownFrom(m_session->Device().currentSetpoint);
}

// The lab's ramp-down: at the ramp rate where the file has one, else at
// once; soft-active off at the end.
void BridgeLoop::RampDownFrom(std::int32_t confirmed) {
  m_ramp.Stop();
  m_rampDown = true;
  m_rampTarget = 0;
  m_rampStood = confirmed;
  if (confirmed == 0) return FinishRamp();
  const std::int32_t step = m_limits.limits.currentRamp
                                ? RampStep(m_limits.limits.currentRamp->value, kPollPeriod)
                                : confirmed;
  SendRampStep(m_ramp.Start(0, confirmed, step, true));
}

void BridgeLoop::SendRampStep(std::int32_t value) {
  const SettingExchange exchange =
      ExchangeSetting(*m_session, Setting::kCurrent, std::to_string(value));
  m_nextRampStep = Clock::now() + kPollPeriod;
  m_rampStepDue = false;
  if (exchange.reported && exchange.result != WaitResult::kPortLost)
    WatchReply(CurrentReply{m_session->Device().currentPrefix,
                            static_cast<std::uint16_t>(*exchange.reported)});
  if (exchange.Confirmed()) {
    m_rampStood = value;
    if (value == m_rampTarget) FinishRamp();
    return;
  }
  std::string why;
  switch (exchange.result) {
    case WaitResult::kPortLost:
      why = m_port.name + " went away";
      break;
    case WaitResult::kStopped:
      why = "the bridge was stopped";
      break;
    case WaitResult::kDone:
    case WaitResult::kTimedOut:
      why = exchange.reported
                ? "the board reports " + MilliampText(*exchange.reported) + " for " +
                      MilliampText(value)
                : "no reply to the step to " + MilliampText(value) + " (board silent)";
      break;
  }
  // Without the board's word on this step none more is sent.
  EndRamp(why);
  if (exchange.result == WaitResult::kPortLost) LosePort();
}

void BridgeLoop::FinishRamp() {
  m_ramp.Stop();
  if (m_rampRequest) {
    Note("setting current " + MilliampText(m_rampTarget) + " " +
         FromBroker(m_rampRequest->requestId) + ": ramped, confirmed by the board.");
    Answer(ConfirmedJson(*m_rampRequest, static_cast<std::uint32_t>(m_rampTarget)));
    m_rampRequest.reset();
  }
  if (m_rampDown) {
    m_rampDown = false;
    SwitchOffForLab();
  }
}

void BridgeLoop::EndRamp(const std::string& why) {
  if (!m_rampRequest && !m_rampDown) return;
  m_ramp.Stop();
  const std::string where = "stopped at " + MilliampText(m_rampStood) + " on the way to " +
                            MilliampText(m_rampTarget) + ": " + why;
  if (m_rampRequest) {
    Note("ramp of the current " + FromBroker(m_rampRequest->requestId) + " " + where + ".");
    Answer(StoppedJson(*m_rampRequest, m_rampStood, where));
    m_rampRequest.reset();
  }
  if (m_rampDown) {
    Note("the lab's ramp-down of the current " + where + ".");
    m_rampDown = false;
  }
}

// The end of the lab's ramp-down: the output off, never on again unasked.
void BridgeLoop::SwitchOffForLab() {
  if (!m_session || m_session->Device().softActive == 0) return;
  const SettingExchange exchange = ExchangeSetting(*m_session, Setting::kSoftActive, "off");
  if (exchange.Confirmed()) {
    Note("soft-active switched off, as the lab's limits ask: confirmed by the board.");
    return;
  }
  Note("soft-active off, as the lab's limits ask: not confirmed by the board.");
  if (exchange.result == WaitResult::kPortLost) LosePort();
}

}  // namespace quorvane::ctl
