// The printed forms of ports, values and readings. Text uses the panel's own
// display forms; JSON carries the board's full resolution.
#include "ctl/readings_output.h"

#include <cstdio>

#include "controller/display_forms.h"
#include "ctl/setting.h"
#include "history/readings_csv.h"

namespace quorvane::ctl {

namespace {

double Degrees(std::int32_t hundredths) { return hundredths / 100.0; }

std::string PrefixText(const DeviceState& d) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", d.currentPrefix[0], d.currentPrefix[1]);
  return text;
}

}  // namespace

std::string JsonText(const nlohmann::json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string PortListText(const std::vector<ListedPort>& ports) {
  std::string text;
  for (const ListedPort& port : ports) {
    char line[64];
    std::snprintf(line, sizeof line, "%3u  %-10s", port.number, port.name.c_str());
    text += line;
    if (!port.details.empty()) text += "  " + port.details;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += '\n';
  }
  return text;
}

nlohmann::json PortListJson(const std::vector<ListedPort>& ports) {
  nlohmann::json list = nlohmann::json::array();
  for (const ListedPort& port : ports)
    list.push_back({{"number", port.number}, {"name", port.name}, {"description", port.details}});
  return list;
}

std::string StatusText(const std::string& port, const DeviceState& d) {
  const auto row = [](const char* name, const std::string& value) {
    return std::string(name) + std::string(13 - std::string(name).size(), ' ') + value + "\n";
  };
  return row("port", port) + row("current", SetpointText(d.currentRead) + " mA") +
         row("seed", TemperatureText(d.seedTemp) + " C") +
         row("pump", TemperatureText(d.pumpTemp) + " C") +
         row("setpoint", SetpointText(d.currentSetpoint) + " mA") +
         row("maximum", SetpointText(d.currentMax) + " mA") +
         row("frequency", FrequencyText(d.frequencyHz) + " kHz") +
         row("duration", DurationText(d.pulseSteps)) +
         row("soft-active", PresentSoftActive(d.softActive).caption) + row("prefix", PrefixText(d));
}

nlohmann::json StatusJson(const std::string& port, const DeviceState& d) {
  return {{"port", port},
          {"current_mA", d.currentRead},
          {"seed_C", Degrees(d.seedTemp)},
          {"pump_C", Degrees(d.pumpTemp)},
          {"setpoint_mA", d.currentSetpoint},
          {"maximum_mA", d.currentMax},
          {"frequency_Hz", d.frequencyHz},
          {"duration_steps", d.pulseSteps},
          {"soft_active", d.softActive != 0},
          {"prefix", PrefixText(d)}};
}

std::string ReadingText(WallTime time, const DeviceState& d) {
  return IsoTime(time) + "  current " + SetpointText(d.currentRead) + " mA  seed " +
         TemperatureText(d.seedTemp) + " C  pump " + TemperatureText(d.pumpTemp) + " C  setpoint " +
         SetpointText(d.currentSetpoint) + " mA  frequency " + FrequencyText(d.frequencyHz) +
         " kHz  duration " + DurationText(d.pulseSteps) + "  soft-active " +
         PresentSoftActive(d.softActive).caption + "\n";
}

nlohmann::json ReadingJson(WallTime time, const DeviceState& d) {
  return {{"time", IsoTime(time)},
          {"current_mA", d.currentRead},
          {"seed_C", Degrees(d.seedTemp)},
          {"pump_C", Degrees(d.pumpTemp)},
          {"setpoint_mA", d.currentSetpoint},
          {"frequency_Hz", d.frequencyHz},
          {"duration_steps", d.pulseSteps},
          {"soft_active", d.softActive != 0}};
}

nlohmann::json SetResultJson(Setting setting, const std::string& requested,
                             const std::string& shown, std::optional<std::uint32_t> value,
                             const char* confirmedBy) {
  nlohmann::json result = {{"setting", SettingName(setting)},
                           {"requested", requested},
                           {"shown", shown},
                           {"value", nullptr},
                           {"unit", nullptr},
                           {"confirmed", confirmedBy != nullptr},
                           {"confirmed_by", nullptr}};
  switch (setting) {
    case Setting::kCurrent:
      result["unit"] = "mA";
      break;
    case Setting::kFrequency:
      result["unit"] = "Hz";
      break;
    case Setting::kDuration:
      result["unit"] = "steps";
      break;
    case Setting::kSoftActive:
      break;
  }
  if (value) {
    if (setting == Setting::kSoftActive)
      result["value"] = *value != 0;
    else
      result["value"] = *value;
  }
  if (confirmedBy) result["confirmed_by"] = confirmedBy;
  return result;
}

}  // namespace quorvane::ctl
