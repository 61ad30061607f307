// The board model: one entry for each setting and each reading the board
// has, holding everything a front end needs to name, enter, show, send,
// confirm, print, record or publish it. The panel, quorvane-ctl, the bridge
// and the readings history all walk these tables, so a setting is described
// here once and nowhere else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/display_forms.h"
#include "board/operator_entry.h"
#include "protocol/command_frames.h"
#include "protocol/device_state.h"
#include "protocol/wire_format.h"

namespace quorvane {

// The board's set-points, in the order every front end lists them.
enum class Setting { kCurrent, kFrequency, kDuration, kSoftActive };
// What the board measures and reports in each status reply: the readings.
enum class Measurement { kCurrent, kSeedTemp, kPumpTemp };

// How a value is written where a program reads it (JSON, CSV): a whole
// number of the device unit, hundredths written as a decimal ("25.01"), or
// a switch (true/false, 1/0).
enum class ValueKind { kWhole, kHundredths, kSwitch };

// What a screen reader says for a control, where a window shows one.
struct SpokenText {
  const char* name;         // UTF-8, unique within the window
  const char* description;  // UTF-8, may be empty
};

struct SettingSpec {
  Setting setting;
  // Names. `name` is quorvane-ctl's ("set current"), `key` the JSON key and
  // CSV column of its value in status, monitor and the readings history,
  // `commandKey` the key a bridge command names it by, `label` the row of
  // quorvane-ctl status.
  const char* name;
  const char* key;
  const char* commandKey;
  const char* label;
  const char* changeLabel;  // the readings history's note of a change: "set-point 10 mA -> 20 mA"
  // The unit after a shown value ("mA" in "1500 mA"), empty for none; and the
  // unit of the value a program reads (set --json's "unit"), nullptr for a switch.
  const char* shownUnit;
  const char* valueUnit;
  ValueKind kind;

  // The value in device units (mA, Hz, steps, 0/1) and where it is stored.
  std::int32_t (*get)(const DeviceState& device);
  void (*put)(DeviceState& device, std::int32_t value);

  // Entry: the text an operator typed, cut to `entryDecimals` decimals as
  // the entry field cuts it (CutEntry). Each entry unit is `devicePerEntry`
  // device units. `parse` is the field's conversion, kept in range (the
  // panel clamps); `top` the largest device value the board takes, which for
  // the current is the maximum the board reported (`topFromBoard`: unknown
  // before the first full reply). Besides the field's own unit, an operator
  // may type the device's (`typedDeviceUnit`, "Hz", a thousandth of the
  // field's kHz), or nullptr. Soft-active takes "on" or "off".
  int entryDecimals;
  std::int32_t devicePerEntry;
  std::int32_t (*parse)(std::string_view text, const DeviceState& device);
  std::int32_t (*top)(const DeviceState& device);
  bool topFromBoard;
  const char* typedDeviceUnit;

  // The value as the window shows it: "1500", "12.34", "20", "ON".
  std::string (*display)(std::int32_t value);
  // The frame that sets it, built against the board's last full reply.
  CommandFrame (*build)(const DeviceState& device, std::int32_t value);
  // The reply that confirms it and the value it carries (the board keeps any
  // non-zero soft-active state as on).
  ReplyCode confirmingReply;
  std::optional<std::int32_t> (*confirmed)(const Reply& reply);
  // Sent twice: a frame can be lost when the link purges its queues for a
  // write, and a setting has no acknowledgement other than the board's reply.
  bool sentTwice;

  // The panel's entry field (or button, for soft-active) and its SET button.
  SpokenText entry;
  SpokenText setButton;  // name nullptr: the entry is its own button
};

struct MeasurementSpec {
  Measurement measurement;
  const char* label;      // quorvane-ctl's rows: "current", "seed", "pump"
  const char* key;        // JSON key and CSV column: "current_mA"
  const char* shownUnit;  // after a shown value: "mA", "C"
  ValueKind kind;
  std::int32_t (*get)(const DeviceState& device);
  std::string (*display)(std::int32_t value);  // "1200", "25.0"
  SpokenText readout;
  // Published by the bridge's discovery: the entity's id suffix and name, the
  // unit as a dashboard writes it and the kind of sensor.
  const char* entitySuffix;
  const char* entityName;
  const char* entityUnit;
  const char* deviceClass;
};

namespace board_detail {

// The value a reply of type T carries, when the reply is one.
template <typename T>
std::optional<std::int32_t> Carried(const Reply& reply, auto field) {
  if (const auto* r = std::get_if<T>(&reply)) return static_cast<std::int32_t>(field(*r));
  return std::nullopt;
}

inline std::int32_t OnOff(std::string_view text) { return text == "on" ? 1 : 0; }

}  // namespace board_detail

// Every setting and reading, in enum order: looked up by enum value, walked
// by every front end. A new setting is complete when its entry is.

inline constexpr std::array<SettingSpec, 4> kSettings{{
    {
        .setting = Setting::kCurrent,
        .name = "current",
        .key = "setpoint_mA",
        .commandKey = "current_mA",
        .label = "setpoint",
        .changeLabel = "set-point",
        .shownUnit = "mA",
        .valueUnit = "mA",
        .kind = ValueKind::kWhole,
        .get = [](const DeviceState& d) { return d.currentSetpoint; },
        .put = [](DeviceState& d, std::int32_t v) { d.currentSetpoint = v; },
        .entryDecimals = 0,
        .devicePerEntry = 1,
        .parse = [](std::string_view text,
                    const DeviceState& d) { return ParseCurrent(text, d.currentMax); },
        .top = [](const DeviceState& d) { return d.currentMax; },
        .topFromBoard = true,
        .typedDeviceUnit = nullptr,
        .display = [](std::int32_t v) { return SetpointText(v); },
        .build =
            [](const DeviceState& d, std::int32_t v) {
              return BuildSetCurrent(d.currentPrefix[0], d.currentPrefix[1], v);
            },
        .confirmingReply = RPL_CURRENT,
        .confirmed =
            [](const Reply& r) {
              return board_detail::Carried<CurrentReply>(
                  r, [](const CurrentReply& c) { return c.setpoint; });
            },
        .sentTwice = true,
        .entry = {"Pump current set-point, mA",
                  "Milliamperes, from 0 to the board's maximum; Enter sends it"},
        .setButton = {"Set pump current", "Sends the pump current set-point to the board"},
    },
    {
        .setting = Setting::kFrequency,
        .name = "frequency",
        .key = "frequency_Hz",
        .commandKey = "frequency_Hz",
        .label = "frequency",
        .changeLabel = "frequency",
        .shownUnit = "kHz",
        .valueUnit = "Hz",
        .kind = ValueKind::kWhole,
        .get = [](const DeviceState& d) { return d.frequencyHz; },
        .put = [](DeviceState& d, std::int32_t v) { d.frequencyHz = v; },
        .entryDecimals = 2,
        .devicePerEntry = 10,
        .parse = [](std::string_view text, const DeviceState&) { return ParseFrequency(text); },
        .top = [](const DeviceState&) { return kMaxFrequencyHz; },
        .topFromBoard = false,
        .typedDeviceUnit = "Hz",
        .display = [](std::int32_t v) { return FrequencyText(v); },
        .build = [](const DeviceState&, std::int32_t v) { return BuildSetFrequency(v); },
        .confirmingReply = RPL_FREQUENCY,
        .confirmed =
            [](const Reply& r) {
              return board_detail::Carried<FrequencyReply>(
                  r, [](const FrequencyReply& f) { return f.hertz; });
            },
        .sentTwice = true,
        .entry = {"Repetition frequency set-point, kHz",
                  "Kilohertz with up to two decimals; Enter sends it"},
        .setButton = {"Set repetition frequency",
                      "Sends the repetition frequency set-point to the board"},
    },
    {
        .setting = Setting::kDuration,
        .name = "duration",
        .key = "duration_steps",
        .commandKey = "duration_steps",
        .label = "duration",
        .changeLabel = "duration",
        .shownUnit = "",
        .valueUnit = "steps",
        .kind = ValueKind::kWhole,
        .get = [](const DeviceState& d) { return std::int32_t{d.pulseSteps}; },
        .put = [](DeviceState& d, std::int32_t v) { d.pulseSteps = static_cast<std::uint8_t>(v); },
        .entryDecimals = 0,
        .devicePerEntry = 1,
        .parse = [](std::string_view text,
                    const DeviceState&) { return std::int32_t{ParseDuration(text)}; },
        .top = [](const DeviceState&) { return std::int32_t{255}; },
        .topFromBoard = false,
        .typedDeviceUnit = nullptr,
        .display = [](std::int32_t v) { return DurationText(static_cast<std::uint8_t>(v)); },
        .build = [](const DeviceState&,
                    std::int32_t v) { return BuildSetDuration(static_cast<std::uint8_t>(v)); },
        .confirmingReply = RPL_DURATION,
        .confirmed =
            [](const Reply& r) {
              return board_detail::Carried<DurationReply>(
                  r, [](const DurationReply& d) { return d.steps; });
            },
        .sentTwice = true,
        .entry = {"Pulse duration set-point, steps", "Steps, from 0 to 255; Enter sends it"},
        .setButton = {"Set pulse duration", "Sends the pulse duration set-point to the board"},
    },
    {
        .setting = Setting::kSoftActive,
        .name = "soft-active",
        .key = "soft_active",
        .commandKey = "soft_active",
        .label = "soft-active",
        .changeLabel = "soft-active",
        .shownUnit = "",
        .valueUnit = nullptr,
        .kind = ValueKind::kSwitch,
        .get = [](const DeviceState& d) { return std::int32_t{d.softActive}; },
        .put = [](DeviceState& d, std::int32_t v) { d.softActive = static_cast<std::uint8_t>(v); },
        .entryDecimals = 0,
        .devicePerEntry = 1,
        .parse = [](std::string_view text,
                    const DeviceState&) { return board_detail::OnOff(text); },
        .top = [](const DeviceState&) { return std::int32_t{1}; },
        .topFromBoard = false,
        .typedDeviceUnit = nullptr,
        .display =
            [](std::int32_t v) {
              return std::string(PresentSoftActive(static_cast<std::uint8_t>(v)).caption);
            },
        .build = [](const DeviceState&,
                    std::int32_t v) { return BuildSetSoftActive(static_cast<std::uint8_t>(v)); },
        .confirmingReply = RPL_SOFT_ACTIVE,
        .confirmed =
            [](const Reply& r) {
              return board_detail::Carried<SoftActiveReply>(
                  r, [](const SoftActiveReply& s) { return s.state != 0 ? 1 : 0; });
            },
        .sentTwice = false,
        .entry = {"Soft-active",
                  "Switches the board's soft-active state; checked while the board reports it on"},
        .setButton = {nullptr, nullptr},
    },
}};

inline constexpr std::array<MeasurementSpec, 3> kMeasurements{{
    {
        .measurement = Measurement::kCurrent,
        .label = "current",
        .key = "current_mA",
        .shownUnit = "mA",
        .kind = ValueKind::kWhole,
        .get = [](const DeviceState& d) { return d.currentRead; },
        .display = [](std::int32_t v) { return SetpointText(v); },
        .readout = {"Measured current, mA", "The pump current the board measures"},
        .entitySuffix = "current",
        .entityName = "Current",
        .entityUnit = "mA",
        .deviceClass = "current",
    },
    {
        .measurement = Measurement::kSeedTemp,
        .label = "seed",
        .key = "seed_C",
        .shownUnit = "C",
        .kind = ValueKind::kHundredths,
        .get = [](const DeviceState& d) { return d.seedTemp; },
        .display = [](std::int32_t v) { return TemperatureText(v); },
        .readout = {"Seed temperature, °C", "The seed diode's temperature as the board reports it"},
        .entitySuffix = "seed_temperature",
        .entityName = "Seed temperature",
        .entityUnit = "°C",
        .deviceClass = "temperature",
    },
    {
        .measurement = Measurement::kPumpTemp,
        .label = "pump",
        .key = "pump_C",
        .shownUnit = "C",
        .kind = ValueKind::kHundredths,
        .get = [](const DeviceState& d) { return d.pumpTemp; },
        .display = [](std::int32_t v) { return TemperatureText(v); },
        .readout = {"Pump temperature, °C", "The pump diode's temperature as the board reports it"},
        .entitySuffix = "pump_temperature",
        .entityName = "Pump temperature",
        .entityUnit = "°C",
        .deviceClass = "temperature",
    },
}};

namespace board_detail {
// How many settings and readings the enums name, in switches that list each
// one: a value added to an enum fails the build here (-Werror=switch) until
// it is counted, and then below until its table has the entry.
constexpr std::size_t Named(Setting setting) {
  switch (setting) {
    case Setting::kCurrent:
    case Setting::kFrequency:
    case Setting::kDuration:
    case Setting::kSoftActive:
      return 4;
  }
  return 0;
}
constexpr std::size_t Named(Measurement measurement) {
  switch (measurement) {
    case Measurement::kCurrent:
    case Measurement::kSeedTemp:
    case Measurement::kPumpTemp:
      return 3;
  }
  return 0;
}
static_assert(Named(Setting{}) == kSettings.size(), "every setting needs its entry in kSettings");
static_assert(Named(Measurement{}) == kMeasurements.size(),
              "every reading needs its entry in kMeasurements");

// The tables are looked up by enum value: the order must be the enum's.
constexpr bool InEnumOrder() {
  for (std::size_t i = 0; i < kSettings.size(); ++i)
    if (static_cast<std::size_t>(kSettings[i].setting) != i) return false;
  for (std::size_t i = 0; i < kMeasurements.size(); ++i)
    if (static_cast<std::size_t>(kMeasurements[i].measurement) != i) return false;
  return true;
}
}  // namespace board_detail
static_assert(board_detail::InEnumOrder(), "board model entries must follow their enum's order");

inline constexpr const SettingSpec& SpecOf(Setting setting) {
  return kSettings[static_cast<std::size_t>(setting)];
}
inline constexpr const MeasurementSpec& SpecOf(Measurement measurement) {
  return kMeasurements[static_cast<std::size_t>(measurement)];
}

// "1500 mA", "12.34 kHz", "20", "ON": the display form and its unit.
std::string ShownValue(const SettingSpec& item, std::int32_t value);
std::string ShownValue(const MeasurementSpec& item, std::int32_t value);

// A value as a program reads it in CSV: "1500", "25.01", "1".
std::string CsvValue(ValueKind kind, std::int32_t value);

}  // namespace quorvane
