// Finds command frames ('N' 'S' L code payload checksum) in the bytes the panel
// sends, the way a board's firmware would: anything that is not a whole,
// checksum-correct frame is skipped and the stream is searched again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvane::sim {

// The longest length byte the parser waits for. The panel's longest command
// has L = 6; a larger limit only lets a garbled length byte hold back the
// frames behind it for longer before the bad checksum releases them.
inline constexpr std::uint8_t kMaxCommandLength = 16;

struct ParsedBytes {
  std::vector<std::vector<std::uint8_t>> frames;  // whole frames, checksum correct
  std::vector<std::uint8_t> discarded;            // bytes that belonged to no frame
  std::size_t checksumErrors = 0;                 // candidate frames whose checksum was wrong
};

class CommandParser {
 public:
  // Appends bytes and takes out every frame now complete. A partial frame at
  // the end stays buffered until the rest arrives.
  ParsedBytes Feed(std::span<const std::uint8_t> bytes);

  // Forgets a partial frame, as a board does when its line drops.
  void Reset() { m_buffer.clear(); }

  std::size_t Buffered() const { return m_buffer.size(); }

 private:
  std::vector<std::uint8_t> m_buffer;
};

}  // namespace quorvane::sim
