// The panel's six commands, as the wire format lays them out.
#include "protocol/command_frames.h"

namespace quorvane {

CommandFrame BuildReadStatus() { return EncodeCommand(ReadStatusCommand{}); }

CommandFrame BuildReadAll() { return EncodeCommand(ReadAllCommand{}); }

CommandFrame BuildSetCurrent(std::uint8_t prefix0, std::uint8_t prefix1, std::int32_t setpoint) {
  return EncodeCommand(
      SetCurrentCommand{{prefix0, prefix1}, static_cast<std::uint16_t>(setpoint & 0xFFFF)});
}

CommandFrame BuildSetFrequency(std::int32_t hertz) {
  return EncodeCommand(SetFrequencyCommand{static_cast<std::uint32_t>(hertz)});
}

CommandFrame BuildSetDuration(std::uint8_t steps) {
  return EncodeCommand(SetDurationCommand{steps});
}

CommandFrame BuildSetSoftActive(std::uint8_t state) {
  return EncodeCommand(SetSoftActiveCommand{state});
}

}  // namespace quorvane
