// Builds the six command frames: fixed header, length and code, then the
// big-endian payload and the additive checksum.
#include "protocol/command_frames.h"

#include <initializer_list>

#include "protocol/codes.h"

namespace quorvane {
namespace {

CommandFrame MakeFrame(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
  CommandFrame frame;
  std::size_t n = 0;
  frame.bytes[n++] = kCommandHeader0;
  frame.bytes[n++] = kCommandHeader1;
  frame.bytes[n++] = static_cast<std::uint8_t>(payload.size() + 2);  // code + payload + checksum
  frame.bytes[n++] = code;
  for (std::uint8_t b : payload) frame.bytes[n++] = b;
  frame.bytes[n] = FrameChecksum(frame.bytes.data(), n);
  frame.size = n + 1;
  return frame;
}

std::uint8_t Byte(std::uint32_t value, int shift) {
  return static_cast<std::uint8_t>((value >> shift) & 0xFF);
}

}  // namespace

CommandFrame BuildReadStatus() { return MakeFrame(CMD_READ_STATUS, {}); }

CommandFrame BuildReadAll() { return MakeFrame(CMD_READ_ALL, {}); }

CommandFrame BuildSetCurrent(std::uint8_t prefix0, std::uint8_t prefix1, std::int32_t setpoint) {
  const auto s = static_cast<std::uint32_t>(setpoint);
  return MakeFrame(CMD_SET_CURRENT, {prefix0, prefix1, Byte(s, 8), Byte(s, 0)});
}

CommandFrame BuildSetFrequency(std::int32_t hertz) {
  const auto f = static_cast<std::uint32_t>(hertz);
  return MakeFrame(CMD_SET_FREQUENCY, {Byte(f, 24), Byte(f, 16), Byte(f, 8), Byte(f, 0)});
}

CommandFrame BuildSetDuration(std::uint8_t steps) { return MakeFrame(CMD_SET_DURATION, {steps}); }

CommandFrame BuildSetSoftActive(std::uint8_t state) {
  return MakeFrame(CMD_SET_SOFT_ACTIVE, {state});
}

}  // namespace quorvane
