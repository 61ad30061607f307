// Finds reply frames in the byte stream from the board, checks them and hands
// each valid one to its owner as a typed reply.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/wire_format.h"

namespace quorvane {

// What the receiver asks of the rest of the program: the controller takes the
// replies, tests record them.
class ReplyOwner {
 public:
  virtual ~ReplyOwner() = default;
  // A whole frame of a known code with a correct checksum, at least as long
  // as its code's layout. Frames of unknown codes are consumed silently.
  virtual void OnReply(const Reply& reply) = 0;
};

// Kept for the life of the program; never reset by closing the port.
struct ReceiverState {
  std::array<std::uint8_t, 2048> rxBuf{};  // byte i of the frame at index i
  std::uint8_t rxIndex = 0;                // bytes accepted; 0 = hunting for 'L'
  std::uint8_t rxLast = 0;                 // index of the checksum byte (L + 2)
  std::uint8_t rxSum = 0;                  // running sum before the checksum
};

// What the receiver reads but does not own: the connection's accepted port.
struct ReceiverContext {
  unsigned currentPort = 0;
};

// One received byte from port portNumber. Bytes from any port but
// context.currentPort leave every state untouched.
void OnSerialByte(ReceiverState& rx, const ReceiverContext& context, ReplyOwner& owner,
                  std::uint8_t byte, unsigned portNumber);

}  // namespace quorvane
