// What quorvane-ctl prints: the port list, the board's values and one
// reading per status reply, as text for people and as JSON or CSV for programs.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/device_state.h"
#include "serial/port_probe.h"

namespace quorvane::ctl {

using WallTime = std::chrono::system_clock::time_point;

// "2026-12-07T16:30:00.123Z": UTC, milliseconds.
std::string IsoTime(WallTime time);
// Hundredths as an exact decimal with two places: "25.01", "-0.05".
std::string HundredthsText(std::int32_t hundredths);

std::string PortListText(const std::vector<ListedPort>& ports);
nlohmann::json PortListJson(const std::vector<ListedPort>& ports);

std::string StatusText(const std::string& port, const DeviceState& device);
nlohmann::json StatusJson(const std::string& port, const DeviceState& device);

std::string ReadingText(WallTime time, const DeviceState& device);
nlohmann::json ReadingJson(WallTime time, const DeviceState& device);
std::string CsvHeader();
std::string CsvRow(WallTime time, const DeviceState& device);

}  // namespace quorvane::ctl
