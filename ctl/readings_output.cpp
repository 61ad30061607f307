// The printed forms of ports, values and readings. Text uses the panel's own
// display forms; JSON carries the board's full resolution.
#include "ctl/readings_output.h"

#include <cstdio>

#include "board/board_model.h"
#include "ctl/setting.h"
#include "history/readings_csv.h"

namespace quorvane::ctl {

namespace {

// Every reading, then every set-point; after a set-point whose range ends at
// the board's maximum, that maximum ("maximum_mA").
template <typename Visit>
void ForEachValue(const DeviceState& d, bool withMaximum, Visit&& visit) {
  for (const MeasurementSpec& item : kMeasurements)
    visit(item.label, item.key, item.kind, ShownValue(item, item.get(d)), item.get(d));
  for (const SettingSpec& item : kSettings) {
    visit(item.label, item.key, item.kind, ShownValue(item, item.get(d)), item.get(d));
    if (withMaximum && item.topFromBoard) {
      const std::string key = std::string("maximum_") + item.valueUnit;
      visit("maximum", key.c_str(), item.kind, ShownValue(item, item.top(d)), item.top(d));
    }
  }
}

std::string PrefixText(const DeviceState& d) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", d.currentPrefix[0], d.currentPrefix[1]);
  return text;
}

}  // namespace

nlohmann::json ValueJson(ValueKind kind, std::int32_t value) {
  switch (kind) {
    case ValueKind::kWhole:
      return value;
    case ValueKind::kHundredths:
      return value / 100.0;
    case ValueKind::kSwitch:
      return value != 0;
  }
  return nullptr;
}

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
  const auto row = [](const std::string& name, const std::string& value) {
    return name + std::string(13 - name.size(), ' ') + value + "\n";
  };
  std::string text = row("port", port);
  ForEachValue(d, true,
               [&](const char* label, const char*, ValueKind, const std::string& shown,
                   std::int32_t) { text += row(label, shown); });
  return text + row("prefix", PrefixText(d));
}

nlohmann::json StatusJson(const std::string& port, const DeviceState& d) {
  nlohmann::json status = {{"port", port}, {"prefix", PrefixText(d)}};
  ForEachValue(d, true,
               [&](const char*, const char* key, ValueKind kind, const std::string&,
                   std::int32_t value) { status[key] = ValueJson(kind, value); });
  return status;
}

std::string ReadingText(WallTime time, const DeviceState& d) {
  std::string text = IsoTime(time);
  ForEachValue(d, false,
               [&](const char* label, const char*, ValueKind, const std::string& shown,
                   std::int32_t) { text += std::string("  ") + label + " " + shown; });
  return text + "\n";
}

nlohmann::json ReadingJson(WallTime time, const DeviceState& d) {
  nlohmann::json reading = {{"time", IsoTime(time)}};
  ForEachValue(d, false,
               [&](const char*, const char* key, ValueKind kind, const std::string&,
                   std::int32_t value) { reading[key] = ValueJson(kind, value); });
  return reading;
}

nlohmann::json AlarmJson(const Alarm& alarm) {
  // The units of the limits file's own keys: degrees, mA, seconds.
  const auto value = [&alarm](std::int32_t v) -> nlohmann::json {
    switch (alarm.kind) {
      case AlarmKind::kSeedTemp:
      case AlarmKind::kPumpTemp:
        return ValueJson(ValueKind::kHundredths, v);
      case AlarmKind::kBoardSilent:
        return v / 1000.0;
      case AlarmKind::kSetpointAbove:
        return v;
    }
    return v;  // not reached: every kind is listed above
  };
  return {{"alarm", alarm.Key()},
          {"value", value(alarm.value)},
          // A silence leaves no window, only its limit, which the text names.
          {"window", alarm.kind == AlarmKind::kBoardSilent
                         ? nlohmann::json()
                         : nlohmann::json{value(alarm.window.min), value(alarm.window.max)}},
          {"since", IsoTime(alarm.since)},
          {"source", alarm.source.Text()},
          {"text", alarm.Text()}};
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
  const SettingSpec& item = SpecOf(setting);
  if (item.valueUnit != nullptr) result["unit"] = item.valueUnit;
  if (value) result["value"] = ValueJson(item.kind, static_cast<std::int32_t>(*value));
  if (confirmedBy) result["confirmed_by"] = confirmedBy;
  return result;
}

}  // namespace quorvane::ctl
