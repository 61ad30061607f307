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
