// Feeds arbitrary byte streams, in several chunkings, to the virtual board's
// command parser: a board that acts on a torn or corrupt frame, loses bytes or
// answers differently depending on how the tty split the writes is a false
// witness in every test that talks to it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "protocol/codes.h"
#include "sim/command_parser.h"

namespace {

using namespace quorvane;
using Frames = std::vector<std::vector<std::uint8_t>>;

// Names the broken invariant before the abort, so a finding reads at a glance.
[[noreturn]] void Fail(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

// Everything one parser handed out over a whole stream, in order.
struct Outcome {
  Frames frames;
  std::vector<std::uint8_t> discarded;
  std::size_t buffered = 0;
};

void CheckFrame(const std::vector<std::uint8_t>& frame) {
  if (frame.size() < 3 || frame[0] != kCommandHeader0 || frame[1] != kCommandHeader1)
    Fail("frame starts N S");
  const std::size_t length = frame[2];
  if (length < 2 || length > sim::kMaxCommandLength || frame.size() != length + 3)
    Fail("frame length");
  if (FrameChecksum(frame.data(), frame.size() - 1) != frame.back()) Fail("frame checksum");
}

// Feeds data in chunks whose sizes nextChunk picks, checking after every Feed
// that each byte fed is accounted for exactly once.
template <typename NextChunk>
Outcome Run(std::span<const std::uint8_t> data, NextChunk nextChunk) {
  sim::CommandParser parser;
  Outcome out;
  std::size_t fed = 0;
  std::size_t handedOut = 0;
  while (fed < data.size()) {
    const std::size_t n = std::min(nextChunk(fed), data.size() - fed);
    sim::ParsedBytes parsed = parser.Feed(data.subspan(fed, n));
    fed += n;
    for (auto& frame : parsed.frames) {
      CheckFrame(frame);
      handedOut += frame.size();
      out.frames.push_back(std::move(frame));
    }
    handedOut += parsed.discarded.size();
    out.discarded.insert(out.discarded.end(), parsed.discarded.begin(), parsed.discarded.end());
    // What stays buffered is at most one incomplete frame of the longest length.
    if (parser.Buffered() >= sim::kMaxCommandLength + 3u) Fail("buffer bounded");
    if (handedOut + parser.Buffered() != fed) Fail("every byte accounted for");
  }
  out.buffered = parser.Buffered();
  return out;
}

bool operator==(const Outcome& a, const Outcome& b) {
  return a.frames == b.frames && a.discarded == b.discarded && a.buffered == b.buffered;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const Outcome whole = Run(bytes, [&](std::size_t) { return size; });
  const Outcome single = Run(bytes, [](std::size_t) { return std::size_t{1}; });
  // Chunk sizes 1..23 taken from the stream itself, so the fuzzer steers them.
  const Outcome steered =
      Run(bytes, [&](std::size_t at) { return std::size_t{data[at]} % 23 + 1; });
  if (!(whole == single) || !(whole == steered)) Fail("same result in every chunking");
  return 0;
}
