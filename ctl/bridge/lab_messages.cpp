// The alarm topic, its dashboard record, the stopped answer and the limits'
// refusals: the bridge's words for what limits/ decides.
#include "ctl/bridge/lab_messages.h"

#include "ctl/readings_output.h"
#include "history/readings_csv.h"

namespace quorvane::ctl {
namespace {

// A figure of the alarm in the unit its reading is published in.
nlohmann::json AlarmFigure(AlarmKind kind, std::int32_t value) {
  switch (kind) {
    case AlarmKind::kSeedTemp:
    case AlarmKind::kPumpTemp:
      return ValueJson(ValueKind::kHundredths, value);
    case AlarmKind::kBoardSilent:
      return value / 1000.0;  // ms, published as seconds like board_silent_alarm_s
    case AlarmKind::kSetpointAbove:
      return value;
  }
  return nullptr;
}

}  // namespace

nlohmann::json AlarmJson(const std::vector<Alarm>& active, const LabLimits& limits) {
  nlohmann::json alarms = nlohmann::json::array();
  for (const Alarm& alarm : active) {
    ValueWindow window = alarm.window;
    if (alarm.kind == AlarmKind::kBoardSilent && limits.boardSilent)
      window = {0, static_cast<std::int32_t>(limits.boardSilent->value.count())};
    alarms.push_back(
        {{"reading", alarm.Key()},
         {"value", AlarmFigure(alarm.kind, alarm.value)},
         {"window", {AlarmFigure(alarm.kind, window.min), AlarmFigure(alarm.kind, window.max)}},
         {"since", IsoTime(alarm.since)},
         {"text", alarm.Text()}});
  }
  return {{"active", !active.empty()}, {"alarms", alarms}};
}

std::pair<std::string, std::string> AlarmDiscoveryConfig(const std::string& id) {
  const BridgeTopics topics = TopicsFor(id);
  const std::string object = DiscoveryObjectId(id);
  const std::string unique = "quorvane_" + object + "_alarm";
  const nlohmann::json config = {
      {"name", "Lab limits alarm"},
      {"unique_id", unique},
      {"object_id", unique},
      {"default_entity_id", "binary_sensor." + unique},
      {"state_topic", topics.alarm},
      {"value_template", "{{ 'ON' if value_json.active else 'OFF' }}"},
      {"payload_on", "ON"},
      {"payload_off", "OFF"},
      {"device_class", "problem"},
      // Which readings left their windows, for the dashboard's details.
      {"json_attributes_topic", topics.alarm},
      {"json_attributes_template", "{{ {'alarms': value_json.alarms} | tojson }}"},
      {"availability_topic", topics.availability},
      {"availability_template", "{{ 'online' if value == 'online' else 'offline' }}"},
      {"device", DiscoveryDevice(id)},
      {"origin", DiscoveryOrigin()}};
  return {"homeassistant/binary_sensor/" + object + "/alarm/config", JsonText(config)};
}

nlohmann::json StoppedJson(const SetRequest& request, std::int32_t confirmed,
                           const std::string& reason) {
  return {{"request_id", request.requestId},
          {"setting", request.key},
          {"result", "stopped"},
          {"value", confirmed},
          {"reason", reason}};
}

std::string UnusableText(const PortLimits& limits) {
  return "lab limits unusable: " + limits.unusable;
}

std::string LabRefusal(const PortLimits& limits, Setting setting, std::int32_t value,
                       std::int32_t confirmedCurrent, const Alarm* rampingDown) {
  if (limits.ReadOnly()) return UnusableText(limits) + "; nothing sent";
  if (rampingDown) {
    bool raises = false;
    switch (setting) {
      case Setting::kCurrent:
        raises = value > confirmedCurrent;
        break;
      case Setting::kSoftActive:
        raises = value != 0;
        break;
      case Setting::kFrequency:
      case Setting::kDuration:
        break;
    }
    if (raises)
      return "the lab's limits take the current down while an alarm lasts (" + rampingDown->Text() +
             "); nothing sent";
  }
  if (std::string problem = LabLimitProblem(limits.limits, setting, value); !problem.empty())
    return problem + "; nothing sent";
  return {};
}

}  // namespace quorvane::ctl
