// The command frame search: header, length range and checksum, with a
// one-byte resynchronisation so a frame hidden behind a false start is found.
#include "sim/command_parser.h"

#include "protocol/codes.h"

namespace quorvane::sim {

ParsedBytes CommandParser::Feed(std::span<const std::uint8_t> bytes) {
  m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
  ParsedBytes out;
  std::size_t start = 0;
  // Drops the byte at start and searches again from the next one, so that a
  // real header inside a rejected candidate is not lost with it.
  auto skip = [&] { out.discarded.push_back(m_buffer[start++]); };

  while (start < m_buffer.size()) {
    const std::size_t available = m_buffer.size() - start;
    const std::uint8_t* p = m_buffer.data() + start;
    if (p[0] != kCommandHeader0) {
      skip();
      continue;
    }
    if (available < 2) break;
    if (p[1] != kCommandHeader1) {
      skip();
      continue;
    }
    if (available < 3) break;
    const std::uint8_t length = p[2];
    if (length < 2 || length > kMaxCommandLength) {
      skip();
      continue;
    }
    const std::size_t total = std::size_t{length} + 3;
    if (available < total) break;
    if (FrameChecksum(p, total - 1) != p[total - 1]) {
      ++out.checksumErrors;
      skip();
      continue;
    }
    out.frames.emplace_back(p, p + total);
    start += total;
  }
  m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(start));
  return out;
}

}  // namespace quorvane::sim
