// The byte-driven receiver of reply frames and the six handlers that apply them.
#include "protocol/reply_receiver.h"

#include <algorithm>

#include "protocol/codes.h"
#include "protocol/control_ids.h"

namespace quorvane {
namespace {

// The frame as it stood when its checksum matched. Handlers work on this copy,
// so a byte delivered while a handler runs cannot change what it reads.
struct Frame {
  std::array<std::uint8_t, 18> b{};
  std::uint8_t length() const { return b[2]; }
  std::uint8_t code() const { return b[3]; }
  std::int32_t U16(int at) const { return (b[at] << 8) | b[at + 1]; }
  std::uint32_t U32(int at) const {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
  }
};

void PresentSoftActiveOn(ReplyOwner& owner, std::uint8_t softActive) {
  const auto look = PresentSoftActive(softActive);
  owner.PresentSoftActive(look.color, look.caption);
}

void ApplyStatus(const Frame& f, DeviceState& d, ReplyOwner& owner) {
  d.currentRead = f.U16(6);
  d.seedTemp = f.U16(8);
  d.pumpTemp = f.U16(12);
  owner.ShowText(IDC_CURRENT_READ, SetpointText(d.currentRead));
  owner.ShowText(IDC_SEED_TEMP, TemperatureText(d.seedTemp));
  owner.ShowText(IDC_PUMP_TEMP, TemperatureText(d.pumpTemp));
}

void ApplyAll(const Frame& f, DeviceState& d, const ReceiverContext& context, ReplyOwner& owner) {
  d.currentPrefix = {f.b[4], f.b[5]};
  d.currentSetpoint = f.U16(6);
  d.currentMax = f.U16(10);
  d.frequencyHz = static_cast<std::int32_t>(f.U32(12));
  d.pulseSteps = f.b[16];
  d.softActive = f.b[17];
  owner.SetSliderRange(d.currentMax);
  for (std::int32_t tick : SliderTicks(d.currentMax)) owner.AddSliderTick(tick);
  owner.SetSliderPosition(d.currentSetpoint);
  owner.ShowText(IDC_CURRENT_EDIT, SetpointText(d.currentSetpoint));
  owner.ShowText(IDC_FREQUENCY_EDIT, FrequencyText(d.frequencyHz));
  owner.ShowText(IDC_DURATION_EDIT, DurationText(d.pulseSteps));
  PresentSoftActiveOn(owner, d.softActive);
  if (!context.synced) owner.OnFirstFullReply();
}

void ApplyCurrent(const Frame& f, DeviceState& d, ReplyOwner& owner) {
  d.currentPrefix = {f.b[4], f.b[5]};
  d.currentSetpoint = f.U16(6);
  owner.SetSliderPosition(d.currentSetpoint);
  owner.ShowText(IDC_CURRENT_EDIT, SetpointText(d.currentSetpoint));
}

// A frame shorter than its code's layout would be read from bytes that earlier
// frames left in the buffer; applying it would store and later echo garbage.
bool LongEnough(const Frame& f) {
  switch (f.code()) {
    case RPL_STATUS:
      return f.length() >= kReplyStatusLength;
    case RPL_ALL:
      return f.length() >= kReplyAllLength;
    case RPL_CURRENT:
      return f.length() >= kReplyCurrentLength;
    case RPL_FREQUENCY:
      return f.length() >= kReplyFrequencyLength;
    case RPL_DURATION:
      return f.length() >= kReplyDurationLength;
    case RPL_SOFT_ACTIVE:
      return f.length() >= kReplySoftActiveLength;
    default:
      return true;
  }
}

// Kept out of line: it runs once a frame, and inlined into the per-byte path
// it would make every byte pay for saving the registers the handlers need.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void Dispatch(const ReceiverState& rx, DeviceState& d, const ReceiverContext& context,
              ReplyOwner& owner) {
  Frame f;
  std::copy_n(rx.rxBuf.begin(), f.b.size(), f.b.begin());
  if (!LongEnough(f)) return;
  switch (f.code()) {
    case RPL_STATUS:
      ApplyStatus(f, d, owner);
      break;
    case RPL_ALL:
      ApplyAll(f, d, context, owner);
      break;
    case RPL_CURRENT:
      ApplyCurrent(f, d, owner);
      break;
    case RPL_FREQUENCY:
      d.frequencyHz = static_cast<std::int32_t>(f.U32(4));
      owner.ShowText(IDC_FREQUENCY_EDIT, FrequencyText(d.frequencyHz));
      break;
    case RPL_DURATION:
      d.pulseSteps = f.b[4];
      owner.ShowText(IDC_DURATION_EDIT, DurationText(d.pulseSteps));
      break;
    case RPL_SOFT_ACTIVE:
      d.softActive = f.b[4];
      PresentSoftActiveOn(owner, d.softActive);
      break;
    default:
      break;  // unknown codes are consumed without effect
  }
}

}  // namespace

void OnSerialByte(ReceiverState& rx, DeviceState& device, const ReceiverContext& context,
                  ReplyOwner& owner, std::uint8_t byte, unsigned portNumber) {
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
    Dispatch(rx, device, context, owner);
  }
}

}  // namespace quorvane
