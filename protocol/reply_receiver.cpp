// The byte-driven receiver of reply frames: framing, checksum, port filter.
#include "protocol/reply_receiver.h"

#include <algorithm>

#include "protocol/codes.h"

namespace quorvane {
namespace {

// Kept out of line: it runs once a frame, and inlined into the per-byte path
// it would make every byte pay for saving the registers the decoder needs.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void Dispatch(const ReceiverState& rx, ReplyOwner& owner) {
  // The checksum byte is not needed; a frame shorter than its code's layout
  // decodes to nothing, since its missing fields would come from earlier frames.
  const std::span<const std::uint8_t> frame(rx.rxBuf.data(), rx.rxLast);
  // Decoded into a value first, so a byte delivered while the owner runs
  // cannot change what it reads.
  Reply reply;
  if (DecodeReply(frame, reply)) owner.OnReply(reply);
}

}  // namespace

void OnSerialByte(ReceiverState& rx, const ReceiverContext& context, ReplyOwner& owner,
                  std::uint8_t byte, unsigned portNumber) {
  if (portNumber != context.currentPort) return;
  rx.rxBuf[rx.rxIndex] = byte;

  // Payload bytes are the common case, so they are tested first.
  if (rx.rxIndex >= 3 && rx.rxIndex < rx.rxLast) {
    rx.rxSum = static_cast<std::uint8_t>(rx.rxSum + byte);
    ++rx.rxIndex;
  } else if (rx.rxIndex == 0) {
    if (byte == kReplyHeader0) rx.rxIndex = 1;
  } else if (rx.rxIndex == 1) {
    // The rejected byte is not looked at again as a new 'L'.
    rx.rxIndex = byte == kReplyHeader1 ? 2 : 0;
  } else if (rx.rxIndex == 2) {
    rx.rxLast = static_cast<std::uint8_t>(byte + 2);
    if (rx.rxLast <= 3 || rx.rxLast >= 100) {
      rx.rxIndex = 0;
    } else {
      rx.rxSum = static_cast<std::uint8_t>(kReplyHeader0 + kReplyHeader1 + byte);
      rx.rxIndex = 3;
    }
  } else {
    rx.rxIndex = 0;
    if (byte != rx.rxSum) return;
    Dispatch(rx, owner);
  }
}

}  // namespace quorvane
