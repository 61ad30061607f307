// How fast the receiver digests a realistic reply stream, and how cheap frame
// building is: the line brings 960 bytes/s, so both must be far from the limit.
#include <benchmark/benchmark.h>

#include <vector>

#include "board/display_forms.h"
#include "protocol/command_frames.h"
#include "protocol/reply_receiver.h"
#include "protocol/wire_format.h"

namespace {

using namespace quorvane;

// Turns each reply into the texts the window would show, without drawing:
// the receiver's work and the controller's mapping together, as in the panel.
class CountingOwner : public ReplyOwner {
 public:
  std::size_t texts = 0;
  void OnReply(const Reply& reply) override {
    if (const auto* status = std::get_if<StatusReply>(&reply)) {
      texts += SetpointText(status->measured).size() + TemperatureText(status->seed).size() +
               TemperatureText(status->pump).size();
    } else if (const auto* current = std::get_if<CurrentReply>(&reply)) {
      texts += SetpointText(current->setpoint).size();
    }
  }
};

std::vector<std::uint8_t> Frame(const quorvane::Reply& reply) {
  return EncodeReply(reply).ToVector();
}

// The poll's traffic: mostly status replies, a current reply now and then, some noise.
std::vector<std::uint8_t> Stream() {
  std::vector<std::uint8_t> s;
  for (int i = 0; i < 1000; ++i) {
    auto status =
        Frame(StatusReply{static_cast<std::uint16_t>(0x0400 + (i & 0xFF)), 0x09E6, 0x0FA0});
    s.insert(s.end(), status.begin(), status.end());
    if (i % 10 == 0) {
      auto current = Frame(CurrentReply{{0x12, 0x34}, 0x05DC});
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
  CountingOwner owner;
  const ReceiverContext context{1};
  for (auto _ : state) {
    for (auto b : stream) OnSerialByte(rx, context, owner, b, 1);
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
