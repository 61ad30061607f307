// Feeds arbitrary byte streams (with arbitrary port numbers) to the reply
// receiver and checks the invariants that keep it memory-safe and honest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/codes.h"
#include "protocol/control_ids.h"
#include "protocol/reply_receiver.h"

namespace {

using namespace quorvane;

[[noreturn]] void Fail() { std::abort(); }

// Checks that every owner call carries a plausible value.
class CheckingOwner : public ReplyOwner {
 public:
  DeviceState* device = nullptr;
  void ShowText(int id, std::string_view text) override {
    if (id != IDC_CURRENT_READ && id != IDC_SEED_TEMP && id != IDC_PUMP_TEMP &&
        id != IDC_CURRENT_EDIT && id != IDC_FREQUENCY_EDIT && id != IDC_DURATION_EDIT) {
      Fail();
    }
    if (text.empty() || text.size() > 16) Fail();
  }
  void SetSliderRange(std::int32_t m) override {
    if (m < 0 || m > 0xFFFF) Fail();
  }
  void AddSliderTick(std::int32_t p) override {
    if (p < 0 || p > device->currentMax) Fail();
  }
  void SetSliderPosition(std::int32_t p) override {
    if (p < 0 || p > 0xFFFF) Fail();
  }
  void PresentSoftActive(ColorRef color, std::string_view caption) override {
    if (color != kSoftActiveOnColor && color != kSoftActiveOffColor) Fail();
    if (caption != "ON" && caption != "OFF") Fail();
  }
  void OnFirstFullReply() override { ++firstReplies; }
  int firstReplies = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReceiverState rx;
  DeviceState device;
  CheckingOwner owner;
  owner.device = &device;
  ReceiverContext context{1, false};
  for (std::size_t i = 0; i < size; ++i) {
    // The top bit of every 16th byte switches the port, to exercise interleaving.
    const unsigned port = (i % 16 == 15 && (data[i] & 0x80)) ? 2 : 1;
    OnSerialByte(rx, device, context, owner, data[i], port);
    if (rx.rxIndex >= 100) Fail();
    if (rx.rxIndex >= 3 && (rx.rxLast < 4 || rx.rxLast > 99)) Fail();
    if (owner.firstReplies > 0) context.synced = true;
    if (owner.firstReplies > 1) Fail();  // only the first full reply syncs
  }
  return 0;
}
