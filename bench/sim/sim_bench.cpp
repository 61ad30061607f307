// Cost of one command/reply round in the virtual board, alone and through a
// pseudo-terminal, to show the board is far faster than the 9600-baud line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "protocol/command_frames.h"
#include "sim/pty_board.h"
#include "sim/virtual_board.h"

namespace {

using namespace quorvane;
using namespace quorvane::sim;

void BM_VirtualBoardRound(benchmark::State& state) {
  SimTime now{};
  VirtualBoard board([&] { return now; });
  const CommandFrame frame = BuildReadStatus();
  for (auto _ : state) {
    now += std::chrono::milliseconds(1);
    board.Receive(frame.view());
    benchmark::DoNotOptimize(board.TakeOutput());
  }
}
BENCHMARK(BM_VirtualBoardRound);

void BM_ParserThroughNoise(benchmark::State& state) {
  std::vector<std::uint8_t> stream;
  for (int i = 0; i < 64; ++i) stream.push_back(static_cast<std::uint8_t>(i * 37));
  const CommandFrame frame = BuildSetCurrent(0x12, 0x34, 1000);
  stream.insert(stream.end(), frame.data(), frame.data() + frame.size);
  CommandParser parser;
  for (auto _ : state) benchmark::DoNotOptimize(parser.Feed(stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ParserThroughNoise);

// Command written to the slave until the whole reply is read back.
void BM_PtyRoundTrip(benchmark::State& state) {
  PtyBoard board;
  const int fd = ::open(board.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("cannot open the slave");
    return;
  }
  const CommandFrame frame = BuildReadStatus();
  std::uint8_t reply[15];
  for (auto _ : state) {
    if (::write(fd, frame.data(), frame.size) != static_cast<ssize_t>(frame.size)) break;
    std::size_t got = 0;
    while (got < sizeof reply) {
      const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
}
BENCHMARK(BM_PtyRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
