// How fast the receiver digests a realistic reply stream, and how cheap frame
// building is: the line brings 960 bytes/s, so both must be far from the limit.
#include <benchmark/benchmark.h>

#include <vector>

#include "protocol/codes.h"
#include "protocol/command_frames.h"
#include "protocol/reply_receiver.h"

namespace {

using namespace quorvane;

// Stores what it is given, as a window would, without drawing.
class CountingOwner : public ReplyOwner {
 public:
  std::size_t texts = 0;
  void ShowText(int, std::string_view text) override { texts += text.size(); }
  void SetSliderRange(std::int32_t) override {}
  void AddSliderTick(std::int32_t) override {}
  void SetSliderPosition(std::int32_t) override {}
  void PresentSoftActive(ColorRef, std::string_view) override {}
  void OnFirstFullReply() override {}
};

std::vector<std::uint8_t> Reply(std::uint8_t code, std::vector<std::uint8_t> payload) {
  std::vector<std::uint8_t> f{'L', 'D', static_cast<std::uint8_t>(payload.size() + 2), code};
  f.insert(f.end(), payload.begin(), payload.end());
  f.push_back(FrameChecksum(f.data(), f.size()));
  return f;
}

// The poll's traffic: mostly status replies, a current reply now and then, some noise.
std::vector<std::uint8_t> Stream() {
  std::vector<std::uint8_t> s;
  for (int i = 0; i < 1000; ++i) {
    auto status =
        Reply(RPL_STATUS, {0, 0, 0x04, static_cast<std::uint8_t>(i), 0x09, 0xE6, 0, 0, 0x0F, 0xA0});
    s.insert(s.end(), status.begin(), status.end());
    if (i % 10 == 0) {
      auto current = Reply(RPL_CURRENT, {0x12, 0x34, 0x05, 0xDC});
      s.insert(s.end(), current.begin(), current.end());
      s.push_back(0x00);
      s.push_back(0xFF);
    }
  }
  return s;
}

void BM_ReceiverThroughput(benchmark::State& state) {
  const auto stream = Stream();
  ReceiverState rx;
  DeviceState device;
  CountingOwner owner;
  const ReceiverContext context{1, true};
  for (auto _ : state) {
    for (auto b : stream) OnSerialByte(rx, device, context, owner, b, 1);
    benchmark::DoNotOptimize(owner.texts);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReceiverThroughput);

void BM_BuildSetCurrent(benchmark::State& state) {
  std::int32_t s = 0;
  for (auto _ : state) {
    auto frame = BuildSetCurrent(0x12, 0x34, s++ & 0xFFFF);
    benchmark::DoNotOptimize(frame);
  }
}
BENCHMARK(BM_BuildSetCurrent);

void BM_BuildSetFrequency(benchmark::State& state) {
  std::int32_t f = 0;
  for (auto _ : state) {
    auto frame = BuildSetFrequency(f += 10);
    benchmark::DoNotOptimize(frame);
  }
}
BENCHMARK(BM_BuildSetFrequency);

}  // namespace

BENCHMARK_MAIN();
