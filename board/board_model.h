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

inline constexpr std::size_t kSettingCount = 4;
inline constexpr std::size_t kMeasurementCount = 3;

// Every setting and reading, in enum order (a test walks them).
const std::array<SettingSpec, kSettingCount>& Settings();
const std::array<MeasurementSpec, kMeasurementCount>& Measurements();
const SettingSpec& SpecOf(Setting setting);
const MeasurementSpec& SpecOf(Measurement measurement);

// "1500 mA", "12.34 kHz", "20", "ON": the display form and its unit.
std::string ShownValue(const SettingSpec& spec, std::int32_t value);
std::string ShownValue(const MeasurementSpec& spec, std::int32_t value);

// A value as a program reads it in CSV: "1500", "25.01", "1".
std::string CsvValue(ValueKind kind, std::int32_t value);

}  // namespace quorvane
