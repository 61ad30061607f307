// Frames as a person reads them in a log: hex bytes and the decoded meaning.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/virtual_board.h"

namespace quorvane::sim {

std::string HexBytes(std::span<const std::uint8_t> bytes);  // "4E 53 02 02 A5"

// "CMD_SET_CURRENT prefix=12 34 setpoint=1200"; fields are decoded only when
// the frame is long enough to hold them.
std::string DescribeCommand(std::span<const std::uint8_t> frame);
// "RPL_STATUS current=1200 seed=25.01 pump=37.40"
std::string DescribeReply(std::span<const std::uint8_t> frame);

// One log line: "<- hex  meaning" for bytes to the board, "-> ..." from it.
std::string DescribeWireEvent(const WireEvent& event);

}  // namespace quorvane::sim
