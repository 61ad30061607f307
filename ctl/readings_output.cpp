// The printed forms of ports, values and readings. Text uses the panel's own
// display forms; JSON and CSV carry the board's full resolution.
#include "ctl/readings_output.h"

#include <cstdio>
#include <ctime>

#include "controller/display_forms.h"

namespace quorvane::ctl {

std::string IsoTime(WallTime time) {
  using namespace std::chrono;
  const auto sinceEpoch = time_point_cast<milliseconds>(time).time_since_epoch();
  const auto wholeSeconds = floor<seconds>(sinceEpoch);
  const std::time_t t = static_cast<std::time_t>(wholeSeconds.count());
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>((sinceEpoch - wholeSeconds).count()));
  return text;
}

std::string HundredthsText(std::int32_t hundredths) {
  const std::int64_t value = hundredths;
  const std::int64_t magnitude = value < 0 ? -value : value;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", value < 0 ? "-" : "",
                static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
  return text;
}

namespace {

double Degrees(std::int32_t hundredths) { return hundredths / 100.0; }

std::string PrefixText(const DeviceState& d) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", d.currentPrefix[0], d.currentPrefix[1]);
  return text;
}

}  // namespace

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

std::string CsvHeader() {
  return "time,current_mA,seed_C,pump_C,setpoint_mA,frequency_Hz,duration_steps,soft_active\n";
}

std::string CsvRow(WallTime time, const DeviceState& d) {
  return IsoTime(time) + "," + std::to_string(d.currentRead) + "," + HundredthsText(d.seedTemp) +
         "," + HundredthsText(d.pumpTemp) + "," + std::to_string(d.currentSetpoint) + "," +
         std::to_string(d.frequencyHz) + "," + std::to_string(d.pulseSteps) + "," +
         (d.softActive != 0 ? "1" : "0") + "\n";
}

}  // namespace quorvane::ctl
