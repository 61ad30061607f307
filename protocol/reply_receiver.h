// Finds reply frames in the byte stream from the board, checks them and applies
// each valid one to DeviceState and the displays.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "protocol/device_state.h"

namespace quorvane {

// What the receiver asks of the rest of the program; the window implements it,
// tests record it.
class ReplyOwner {
 public:
  virtual ~ReplyOwner() = default;
  virtual void ShowText(int controlId, std::string_view text) = 0;
  virtual void SetSliderRange(std::int32_t maximum) = 0;  // 0..maximum, no redraw
  virtual void AddSliderTick(std::int32_t position) = 0;
  virtual void SetSliderPosition(std::int32_t position) = 0;  // with redraw
  virtual void PresentSoftActive(ColorRef color, std::string_view caption) = 0;
  virtual void OnFirstFullReply() = 0;
};

// Kept for the life of the program; never reset by closing the port.
struct ReceiverState {
  std::array<std::uint8_t, 2048> rxBuf{};  // byte i of the frame at index i
  std::uint8_t rxIndex = 0;                // bytes accepted; 0 = hunting for 'L'
  std::uint8_t rxLast = 0;                 // index of the checksum byte (L + 2)
  std::uint8_t rxSum = 0;                  // running sum before the checksum
};

// What the receiver reads but does not own: the connection's accepted port and
// whether the first full reply has been seen.
struct ReceiverContext {
  unsigned currentPort = 0;
  bool synced = false;
};

// One received byte from port portNumber. Bytes from any port but
// context.currentPort leave every state untouched.
void OnSerialByte(ReceiverState& rx, DeviceState& device, const ReceiverContext& context,
                  ReplyOwner& owner, std::uint8_t byte, unsigned portNumber);

}  // namespace quorvane
