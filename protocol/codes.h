// The command and reply codes of the board's wire protocol, and the control ids the
// protocol layer writes to: shared by the panel, its tests and the virtual board.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

inline constexpr std::uint8_t CMD_READ_STATUS = 0x00;
inline constexpr std::uint8_t CMD_READ_ALL = 0x02;
inline constexpr std::uint8_t CMD_SET_CURRENT = 0x04;
inline constexpr std::uint8_t CMD_SET_FREQUENCY = 0x08;
inline constexpr std::uint8_t CMD_SET_DURATION = 0x0A;
inline constexpr std::uint8_t CMD_SET_SOFT_ACTIVE = 0x26;

inline constexpr std::uint8_t RPL_STATUS = 0x00;
inline constexpr std::uint8_t RPL_ALL = 0x02;
inline constexpr std::uint8_t RPL_CURRENT = 0x03;
inline constexpr std::uint8_t RPL_FREQUENCY = 0x07;
inline constexpr std::uint8_t RPL_DURATION = 0x09;
inline constexpr std::uint8_t RPL_SOFT_ACTIVE = 0x25;

// Frame headers: commands start 'N' 'S', replies 'L' 'D'.
inline constexpr std::uint8_t kCommandHeader0 = 'N';
inline constexpr std::uint8_t kCommandHeader1 = 'S';
inline constexpr std::uint8_t kReplyHeader0 = 'L';
inline constexpr std::uint8_t kReplyHeader1 = 'D';

// Length byte L of each reply's full layout (bytes after the length byte,
// checksum included). Shorter frames are dropped by the receiver.
inline constexpr std::uint8_t kReplyStatusLength = 12;
inline constexpr std::uint8_t kReplyAllLength = 16;
inline constexpr std::uint8_t kReplyCurrentLength = 6;
inline constexpr std::uint8_t kReplyFrequencyLength = 6;
inline constexpr std::uint8_t kReplyDurationLength = 3;
inline constexpr std::uint8_t kReplySoftActiveLength = 3;

// Sum of bytes modulo 256, the checksum of both frame kinds.
constexpr std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

}  // namespace quorvane
