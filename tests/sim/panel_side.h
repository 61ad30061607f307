// The panel's half of the protocol, made of the real protocol library, for
// checking that what the virtual board sends is what the panel understands.
#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "protocol/device_state.h"
#include "protocol/reply_receiver.h"

namespace quorvane::sim::testing_support {

using Bytes = std::vector<std::uint8_t>;

// Keeps the values the replies carry, as the panel stores them.
class RecordingOwner : public ReplyOwner {
 public:
  DeviceState device;
  int replies = 0;
  int fullReplies = 0;
  void OnReply(const Reply& reply) override {
    ++replies;
    if (std::holds_alternative<AllReply>(reply)) ++fullReplies;
    StoreReply(device, reply);
  }
};

struct PanelSide {
  static constexpr unsigned kPort = 33;
  PanelSide() = default;
  PanelSide(const PanelSide&) = delete;  // device refers to this one's owner
  ReceiverState rx;
  ReceiverContext context{kPort};
  RecordingOwner owner;
  DeviceState& device = owner.device;

  void Feed(std::span<const std::uint8_t> bytes) {
    for (auto b : bytes) OnSerialByte(rx, context, owner, b, kPort);
  }
};

inline Bytes ToBytes(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

// Sum modulo 256, worked out here rather than taken from the library.
inline std::uint8_t SumOf(std::span<const std::uint8_t> s) {
  unsigned sum = 0;
  for (auto b : s) sum += b;
  return static_cast<std::uint8_t>(sum);
}

}  // namespace quorvane::sim::testing_support
