// Feeds arbitrary byte streams (with arbitrary port numbers) to the reply
// receiver and checks the invariants that keep it memory-safe and honest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "protocol/reply_receiver.h"
#include "protocol/wire_format.h"

namespace {

using namespace quorvane;

[[noreturn]] void Fail() { std::abort(); }

// Every reply handed over must be exactly what the frame's fields say: its
// encoding carries the same bytes at every field's place.
class CheckingOwner : public ReplyOwner {
 public:
  const ReceiverState* rx = nullptr;
  void OnReply(const Reply& reply) override {
    const WireFrame encoded = EncodeReply(reply);
    const CodeLayout* layout = ReplyLayout(encoded.bytes[3]);
    if (layout == nullptr || rx->rxBuf[3] != layout->code || rx->rxBuf[2] < layout->length) Fail();
    for (const FieldSpec& field : layout->fields) {
      for (std::size_t i = 0; i < FieldWidth(field.type); ++i) {
        if (encoded.bytes[field.offset + i] != rx->rxBuf[field.offset + i]) Fail();
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReceiverState rx;
  CheckingOwner owner;
  owner.rx = &rx;
  const ReceiverContext context{1};
  for (std::size_t i = 0; i < size; ++i) {
    // The top bit of every 16th byte switches the port, to exercise interleaving.
    const unsigned port = (i % 16 == 15 && (data[i] & 0x80)) ? 2 : 1;
    OnSerialByte(rx, context, owner, data[i], port);
    if (rx.rxIndex >= 100) Fail();
    if (rx.rxIndex >= 3 && (rx.rxLast < 4 || rx.rxLast > 99)) Fail();
  }
  return 0;
}
