// A setting as the panel sends it: the typed text converted exactly as the
// entry field converts it, the frame, and how the board's reply confirms it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ctl/ctl_options.h"
#include "protocol/command_frames.h"
#include "protocol/device_state.h"

namespace quorvane::ctl {

struct SettingPlan {
  CommandFrame frame;
  bool sendTwice = false;   // current, frequency and duration, like the panel
  std::uint32_t value = 0;  // what the confirming reply must carry
  std::string shown;        // the value as the panel would show it, with its unit
};

// Above this many kHz a frequency typed without its unit is refused: no board
// of this kind pulses faster than 10 MHz, so such a figure is hertz (as
// status --json gives them) typed where kHz are meant.
inline constexpr std::int32_t kLargestBareKilohertz = 10000;

// A typed value in the field's own units (mA, kHz), or why it is refused
// before the field's own checks.
struct FieldValue {
  std::string text;
  std::string problem;
};

// "20kHz" is "20", "20000Hz" "20.000" (the point moved, nothing rounded),
// "1500mA" "1500"; a number with no unit is in bare. A unit the setting does
// not take, a number the field would not take and a bare kHz figure above
// kLargestBareKilohertz are refused; the range is ValueProblem's to judge.
FieldValue InFieldUnits(Setting setting, const std::string& typed, BareUnit bare);

// "12340" Hz as `set frequency` takes it: "12.340" kHz; the same digits,
// so the conversion is the entry field's and nothing is rounded here.
std::string HertzAsKilohertzText(const std::string& hertz);

// Whether text could have been typed into the panel's field (the entry
// field's character rule) and holds a digit; "on"/"off" for soft-active.
bool IsAcceptedValue(Setting setting, const std::string& text);

// Empty when the board can take the accepted text as the entry field
// converts it; else why not, with the range. The panel clamps such a value,
// but a script must be able to trust what it asked for: nothing is sent. The
// current's range ends at the board's maximum; without it (before the sync)
// the current is not judged.
std::string RangeProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax);

// Empty when the text may be sent; else why not, in one clause: not a value
// the entry field takes, or beyond what the board takes.
std::string ValueProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax);

// The frame for an accepted text against the board's values from its RPL_ALL
// (prefix and maximum current).
SettingPlan PlanSetting(Setting setting, const std::string& text, const DeviceState& device);

// The value a reply carries for this setting, when it is this setting's reply.
std::optional<std::uint32_t> ConfirmedValue(Setting setting, const Reply& reply);

// "current", "frequency", "duration", "soft-active".
const char* SettingName(Setting setting);

// "1500 mA", "12.34 kHz", "20", "ON" for a value of the setting.
std::string ShownValue(Setting setting, std::uint32_t value);

}  // namespace quorvane::ctl
