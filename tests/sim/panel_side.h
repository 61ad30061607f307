// The panel's half of the protocol, made of the real protocol library, for
// checking that what the virtual board sends is what the panel understands.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "protocol/reply_receiver.h"

namespace quorvane::sim::testing_support {

using Bytes = std::vector<std::uint8_t>;

class RecordingOwner : public ReplyOwner {
 public:
  std::map<int, std::string> texts;  // last text per control id
  int fullReplies = 0;
  int sliderMoves = 0;
  void ShowText(int id, std::string_view text) override { texts[id] = std::string(text); }
  void SetSliderRange(std::int32_t) override {}
  void AddSliderTick(std::int32_t) override {}
  void SetSliderPosition(std::int32_t) override { ++sliderMoves; }
  void PresentSoftActive(ColorRef, std::string_view) override {}
  void OnFirstFullReply() override { ++fullReplies; }
};

struct PanelSide {
  static constexpr unsigned kPort = 33;
  ReceiverState rx;
  DeviceState device;
  ReceiverContext context{kPort, false};
  RecordingOwner owner;

  void Feed(std::span<const std::uint8_t> bytes) {
    for (auto b : bytes) OnSerialByte(rx, device, context, owner, b, kPort);
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
