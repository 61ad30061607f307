// The command and reply codes of the board's wire protocol, the frame headers
// and the checksum: the constants of the wire format (the layouts are in
// wire_format.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// The byte after the length byte: what a command asks for, and what a reply
// carries. Columns line up each command with the reply that answers it.
// clang-format off
enum CommandCode : std::uint8_t {
  CMD_READ_STATUS = 0x00,   CMD_READ_ALL = 0x02,      CMD_SET_CURRENT = 0x04,
  CMD_SET_FREQUENCY = 0x08, CMD_SET_DURATION = 0x0A,  CMD_SET_SOFT_ACTIVE = 0x26,
};
enum ReplyCode : std::uint8_t {
  RPL_STATUS = 0x00,        RPL_ALL = 0x02,           RPL_CURRENT = 0x03,
  RPL_FREQUENCY = 0x07,     RPL_DURATION = 0x09,      RPL_SOFT_ACTIVE = 0x25,
};
// clang-format on

// Frame headers: commands start 'N' 'S', replies 'L' 'D'.
inline constexpr std::uint8_t kCommandHeader0 = 'N';
inline constexpr std::uint8_t kCommandHeader1 = 'S';
inline constexpr std::uint8_t kReplyHeader0 = 'L';
inline constexpr std::uint8_t kReplyHeader1 = 'D';

// Sum of bytes modulo 256, the checksum of both frame kinds.
constexpr std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

}  // namespace quorvane
