// What quorvane-ctl prints: the port list, the board's values and one
// reading per status reply, as text for people and as JSON for programs (the
// CSV form is the readings history's, shared with the panel).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl/ctl_options.h"
#include "history/reading_history.h"
#include "limits/lab_limits.h"
#include "protocol/device_state.h"
#include "serial/port_probe.h"

namespace quorvane::ctl {

// A JSON value as text; indent -1 for one line. Names from the system (a
// port path, a device description) need not be UTF-8, which JSON text must
// be: a byte that is not becomes U+FFFD rather than a failed dump.
// A value as a program reads it: hundredths as degrees, a switch as true or false.
nlohmann::json ValueJson(ValueKind kind, std::int32_t value);

std::string JsonText(const nlohmann::json& value, int indent = -1);

std::string PortListText(const std::vector<ListedPort>& ports);
nlohmann::json PortListJson(const std::vector<ListedPort>& ports);

std::string StatusText(const std::string& port, const DeviceState& device);
nlohmann::json StatusJson(const std::string& port, const DeviceState& device);

std::string ReadingText(WallTime time, const DeviceState& device);
nlohmann::json ReadingJson(WallTime time, const DeviceState& device);

// An alarm as a program reads it: which reading ("seed_C", "board_silent"),
// its value and the window it left (degrees, mA, or seconds silent), since
// when, where the limit is written, and the sentence a person reads.
nlohmann::json AlarmJson(const Alarm& alarm);

// set's result: the setting, the text requested and as the panel shows it,
// the value as the board last reported it (null when it did not), in the
// board's own unit, and how it was confirmed (null: not confirmed).
nlohmann::json SetResultJson(Setting setting, const std::string& requested,
                             const std::string& shown, std::optional<std::uint32_t> value,
                             const char* confirmedBy);

}  // namespace quorvane::ctl
