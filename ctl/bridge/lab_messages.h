// What the bridge says on the broker under the lab's limits, as pure
// functions: the alarm topic and its dashboard record, a ramp's `stopped`
// answer, and the refusals the limits give. No network here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl/bridge/bridge_messages.h"
#include "limits/lab_limits.h"

namespace quorvane::ctl {

// The retained alarm topic's payload: {"active": bool, "alarms": [{"reading",
// "value", "window", "since", "text"}]}, values in the readings' units
// (degrees C, seconds of silence, mA). limits: what a silence is judged by
// (its window is 0 .. board_silent_alarm_s).
nlohmann::json AlarmJson(const std::vector<Alarm>& active, const LabLimits& limits);

// The dashboard's record for the alarm topic: a binary sensor of class
// "problem", on while an alarm is active.
std::pair<std::string, std::string> AlarmDiscoveryConfig(const std::string& id);

// A ramp that ended before its target was confirmed: where the board's
// confirmed set-point stood (mA) and why it ended.
nlohmann::json StoppedJson(const SetRequest& request, std::int32_t confirmed,
                           const std::string& reason);

// "lab limits unusable: FILE:LINE: problem", for a file that cannot be used.
std::string UnusableText(const PortLimits& limits);

// Empty when the request may go to the board under the limits; else the
// reason it is refused, nothing sent. value: the request in device units.
// rampingDown: an alarm has the lab's ramp-down holding the current, so
// nothing may raise it (nor switch soft-active on) until the alarm ends.
std::string LabRefusal(const PortLimits& limits, Setting setting, std::int32_t value,
                       std::int32_t confirmedCurrent, const Alarm* rampingDown);

}  // namespace quorvane::ctl
