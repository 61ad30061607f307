// The lab's alarms: a temperature outside its window, a set-point above the
// lab's limit, a board gone silent; each starts once and ends once.
#include <algorithm>

#include "limits/lab_limits.h"

namespace quorvane {
namespace {

std::string SecondsText(std::int64_t ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s"
                        : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

}  // namespace

std::optional<Measurement> Alarm::readout() const {
  switch (kind) {
    case AlarmKind::kSeedTemp:
      return Measurement::kSeedTemp;
    case AlarmKind::kPumpTemp:
      return Measurement::kPumpTemp;
    case AlarmKind::kSetpointAbove:
      return Measurement::kCurrent;
    case AlarmKind::kBoardSilent:
      break;
  }
  return std::nullopt;
}

const char* Alarm::Key() const {
  switch (kind) {
    case AlarmKind::kSeedTemp:
      return SpecOf(Measurement::kSeedTemp).key;
    case AlarmKind::kPumpTemp:
      return SpecOf(Measurement::kPumpTemp).key;
    case AlarmKind::kSetpointAbove:
      return SpecOf(Setting::kCurrent).key;
    case AlarmKind::kBoardSilent:
      break;
  }
  return "board_silent";
}

std::string Alarm::Text() const {
  const std::string where = " (" + source.Text() + ")";
  switch (kind) {
    case AlarmKind::kSeedTemp:
    case AlarmKind::kPumpTemp: {
      const MeasurementSpec& item = SpecOf(*readout());
      return std::string(item.label) + " temperature " + ShownValue(item, value) + " outside " +
             item.display(window.min) + " to " + ShownValue(item, window.max) + where;
    }
    case AlarmKind::kSetpointAbove:
      return "current set-point " + std::to_string(value) + " mA above the lab limit " +
             std::to_string(window.max) + " mA" + where;
    case AlarmKind::kBoardSilent:
      return "board silent for " + SecondsText(value) + where;
  }
  return {};
}

void AlarmWatch::SetLimits(LabLimits limits) { m_limits = std::move(limits); }

void AlarmWatch::Judge(AlarmKind kind, bool inAlarm, std::int32_t value, const ValueWindow& window,
                       const LimitSource& source, Wall wall, AlarmChanges& changes) {
  const auto it = std::find_if(m_active.begin(), m_active.end(),
                               [&](const Alarm& a) { return a.kind == kind; });
  if (it != m_active.end()) {
    if (inAlarm) {
      it->value = value;
      return;
    }
    changes.ended.push_back(*it);
    m_active.erase(it);
    return;
  }
  if (!inAlarm) return;
  m_active.push_back({kind, value, window, wall, source});
  changes.started.push_back(m_active.back());
}

AlarmChanges AlarmWatch::OnReply(const Reply& reply, const DeviceState& device, Steady now,
                                 Wall wall) {
  AlarmChanges changes;
  m_lastReply = now;
  if (m_limits.boardSilent)
    Judge(AlarmKind::kBoardSilent, false, 0, {}, m_limits.boardSilent->source, wall, changes);
  if (std::holds_alternative<StatusReply>(reply)) {
    const auto judgeWindow = [&](AlarmKind kind, const auto& window, std::int32_t value) {
      if (window)
        Judge(kind, !window->value.Holds(value), value, window->value, window->source, wall,
              changes);
    };
    judgeWindow(AlarmKind::kSeedTemp, m_limits.seedTemp, device.seedTemp);
    judgeWindow(AlarmKind::kPumpTemp, m_limits.pumpTemp, device.pumpTemp);
  }
  const bool carriesSetpoint =
      std::holds_alternative<AllReply>(reply) || std::holds_alternative<CurrentReply>(reply);
  if (carriesSetpoint && m_limits.currentMax) {
    const std::int32_t max = m_limits.currentMax->value;
    Judge(AlarmKind::kSetpointAbove, device.currentSetpoint > max, device.currentSetpoint, {0, max},
          m_limits.currentMax->source, wall, changes);
  }
  return changes;
}

AlarmChanges AlarmWatch::OnTime(Steady now, Wall wall) {
  AlarmChanges changes;
  if (!m_limits.boardSilent) return changes;
  // Silence counts from the first look after an open, when nothing came yet.
  if (!m_lastReply) m_lastReply = now;
  const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(now - *m_lastReply);
  Judge(AlarmKind::kBoardSilent, silent >= m_limits.boardSilent->value,
        static_cast<std::int32_t>(std::min<std::int64_t>(silent.count(), INT32_MAX)), {},
        m_limits.boardSilent->source, wall, changes);
  return changes;
}

AlarmChanges AlarmWatch::Reset() {
  AlarmChanges changes;
  changes.ended = std::move(m_active);
  m_active.clear();
  m_lastReply.reset();
  return changes;
}

bool AlarmWatch::WantsRampDown() const {
  if (!m_limits.onAlarm || m_limits.onAlarm->value != OnAlarm::kRampDown) return false;
  // A set-point another program left above the limit is shown as it is:
  // the ramp-down answers the board's condition, not its settings.
  return std::any_of(m_active.begin(), m_active.end(),
                     [](const Alarm& a) { return a.kind != AlarmKind::kSetpointAbove; });
}

std::string RampDownText(const Alarm& alarm) {
  return "the lab's limits ask for the current to go to 0 and soft-active off: " + alarm.Text();
}

}  // namespace quorvane
