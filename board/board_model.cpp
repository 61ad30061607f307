// The entries of the board model. Each field of an entry is used by at least
// one front end; a new setting is complete when its entry is.
#include "board/board_model.h"

#include <cstdio>

#include "board/display_forms.h"
#include "board/operator_entry.h"

namespace quorvane {
namespace {

template <typename T>
std::optional<std::int32_t> Carried(const Reply& reply, auto field) {
  if (const auto* r = std::get_if<T>(&reply)) return static_cast<std::int32_t>(field(*r));
  return std::nullopt;
}

std::int32_t OnOff(std::string_view text) { return text == "on" ? 1 : 0; }

constexpr std::array<SettingSpec, kSettingCount> kSettings{{
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
              return Carried<CurrentReply>(r, [](const CurrentReply& c) { return c.setpoint; });
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
              return Carried<FrequencyReply>(r, [](const FrequencyReply& f) { return f.hertz; });
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
              return Carried<DurationReply>(r, [](const DurationReply& d) { return d.steps; });
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
        .parse = [](std::string_view text, const DeviceState&) { return OnOff(text); },
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
              return Carried<SoftActiveReply>(
                  r, [](const SoftActiveReply& s) { return s.state != 0 ? 1 : 0; });
            },
        .sentTwice = false,
        .entry = {"Soft-active",
                  "Switches the board's soft-active state; checked while the board reports it on"},
        .setButton = {nullptr, nullptr},
    },
}};

constexpr std::array<MeasurementSpec, kMeasurementCount> kMeasurements{{
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

// The tables are looked up by enum value: the order must be the enum's.
constexpr bool InEnumOrder() {
  for (std::size_t i = 0; i < kSettings.size(); ++i)
    if (static_cast<std::size_t>(kSettings[i].setting) != i) return false;
  for (std::size_t i = 0; i < kMeasurements.size(); ++i)
    if (static_cast<std::size_t>(kMeasurements[i].measurement) != i) return false;
  return true;
}
static_assert(InEnumOrder(), "board model entries must follow their enum's order");

std::string WithUnit(std::string shown, const char* unit) {
  if (*unit != '\0') shown += std::string(" ") + unit;
  return shown;
}

}  // namespace

const std::array<SettingSpec, kSettingCount>& Settings() { return kSettings; }
const std::array<MeasurementSpec, kMeasurementCount>& Measurements() { return kMeasurements; }
const SettingSpec& SpecOf(Setting setting) { return kSettings[static_cast<std::size_t>(setting)]; }
const MeasurementSpec& SpecOf(Measurement measurement) {
  return kMeasurements[static_cast<std::size_t>(measurement)];
}

std::string ShownValue(const SettingSpec& spec, std::int32_t value) {
  return WithUnit(spec.display(value), spec.shownUnit);
}

std::string ShownValue(const MeasurementSpec& spec, std::int32_t value) {
  return WithUnit(spec.display(value), spec.shownUnit);
}

std::string CsvValue(ValueKind kind, std::int32_t value) {
  switch (kind) {
    case ValueKind::kWhole:
      return std::to_string(value);
    case ValueKind::kHundredths: {
      const std::int64_t wide = value;
      const std::int64_t magnitude = wide < 0 ? -wide : wide;
      char text[32];
      std::snprintf(text, sizeof text, "%s%lld.%02lld", wide < 0 ? "-" : "",
                    static_cast<long long>(magnitude / 100),
                    static_cast<long long>(magnitude % 100));
      return text;
    }
    case ValueKind::kSwitch:
      return value != 0 ? "1" : "0";
  }
  return {};
}

}  // namespace quorvane
