// Decoding of command and reply frames for the simulator's log.
#include "sim/frame_text.h"

#include <cstdio>

#include "protocol/codes.h"

namespace quorvane::sim {

namespace {

// Reads big-endian fields at fixed positions, or reports that the frame is
// too short to hold them; a malformed frame must never be read past its end.
class Fields {
 public:
  explicit Fields(std::span<const std::uint8_t> frame) : m_frame(frame) {}
  bool Has(std::size_t at, std::size_t width) const {
    // The checksum byte is not a field.
    return m_frame.size() >= 1 && at + width <= m_frame.size() - 1;
  }
  unsigned U8(std::size_t at) const { return m_frame[at]; }
  unsigned U16(std::size_t at) const { return (m_frame[at] << 8) | m_frame[at + 1]; }
  std::uint32_t U32(std::size_t at) const {
    return (std::uint32_t{m_frame[at]} << 24) | (std::uint32_t{m_frame[at + 1]} << 16) |
           (std::uint32_t{m_frame[at + 2]} << 8) | m_frame[at + 3];
  }

 private:
  std::span<const std::uint8_t> m_frame;
};

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Hundredths(unsigned value) { return Format("%u.%02u", value / 100, value % 100); }

const char* kTooShort = " (too short for its fields)";

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) text += ' ';
    text += Format("%02X", bytes[i]);
  }
  return text;
}

std::string DescribeCommand(std::span<const std::uint8_t> frame) {
  if (frame.size() < 5) return "(not a frame)";
  const Fields f(frame);
  switch (frame[3]) {
    case CMD_READ_STATUS:
      return "CMD_READ_STATUS";
    case CMD_READ_ALL:
      return "CMD_READ_ALL";
    case CMD_SET_CURRENT:
      if (!f.Has(4, 4)) return std::string("CMD_SET_CURRENT") + kTooShort;
      return Format("CMD_SET_CURRENT prefix=%02X %02X setpoint=%u", f.U8(4), f.U8(5), f.U16(6));
    case CMD_SET_FREQUENCY:
      if (!f.Has(4, 4)) return std::string("CMD_SET_FREQUENCY") + kTooShort;
      return Format("CMD_SET_FREQUENCY hz=%u", static_cast<unsigned>(f.U32(4)));
    case CMD_SET_DURATION:
      if (!f.Has(4, 1)) return std::string("CMD_SET_DURATION") + kTooShort;
      return Format("CMD_SET_DURATION steps=%u", f.U8(4));
    case CMD_SET_SOFT_ACTIVE:
      if (!f.Has(4, 1)) return std::string("CMD_SET_SOFT_ACTIVE") + kTooShort;
      return Format("CMD_SET_SOFT_ACTIVE state=%u", f.U8(4));
    default:
      return Format("unknown command code 0x%02X", frame[3]);
  }
}

std::string DescribeReply(std::span<const std::uint8_t> frame) {
  if (frame.size() < 5) return "(not a frame)";
  const Fields f(frame);
  switch (frame[3]) {
    case RPL_STATUS:
      if (!f.Has(4, 10)) return std::string("RPL_STATUS") + kTooShort;
      return "RPL_STATUS current=" + std::to_string(f.U16(6)) + " seed=" + Hundredths(f.U16(8)) +
             " pump=" + Hundredths(f.U16(12));
    case RPL_ALL:
      if (!f.Has(4, 14)) return std::string("RPL_ALL") + kTooShort;
      return Format("RPL_ALL prefix=%02X %02X setpoint=%u max=%u hz=%u steps=%u soft=%u", f.U8(4),
                    f.U8(5), f.U16(6), f.U16(10), static_cast<unsigned>(f.U32(12)), f.U8(16),
                    f.U8(17));
    case RPL_CURRENT:
      if (!f.Has(4, 4)) return std::string("RPL_CURRENT") + kTooShort;
      return Format("RPL_CURRENT prefix=%02X %02X setpoint=%u", f.U8(4), f.U8(5), f.U16(6));
    case RPL_FREQUENCY:
      if (!f.Has(4, 4)) return std::string("RPL_FREQUENCY") + kTooShort;
      return Format("RPL_FREQUENCY hz=%u", static_cast<unsigned>(f.U32(4)));
    case RPL_DURATION:
      if (!f.Has(4, 1)) return std::string("RPL_DURATION") + kTooShort;
      return Format("RPL_DURATION steps=%u", f.U8(4));
    case RPL_SOFT_ACTIVE:
      if (!f.Has(4, 1)) return std::string("RPL_SOFT_ACTIVE") + kTooShort;
      return Format("RPL_SOFT_ACTIVE state=%u", f.U8(4));
    default:
      return Format("unknown reply code 0x%02X", frame[3]);
  }
}

std::string DescribeWireEvent(const WireEvent& event) {
  std::string line;
  switch (event.kind) {
    case WireKind::kCommand:
      line = "<- " + HexBytes(event.bytes) + "  " + DescribeCommand(event.bytes);
      switch (event.verdict) {
        case CommandVerdict::kApplied:
          break;
        case CommandVerdict::kPrefixMismatch:
          line += "  [wrong prefix: set-point kept]";
          break;
        case CommandVerdict::kWrongLength:
          line += "  [wrong length: ignored]";
          break;
        case CommandVerdict::kUnknownCode:
          line += "  [ignored]";
          break;
      }
      return line;
    case WireKind::kDiscarded:
      return "<- " + HexBytes(event.bytes) + "  skipped: not part of a valid frame";
    case WireKind::kReply:
      line = "-> " + HexBytes(event.bytes) + "  " + DescribeReply(event.bytes);
      if (event.shortened) line += "  [short frame]";
      if (event.corrupted) line += "  [checksum corrupted]";
      return line;
    case WireKind::kNoise:
      return "-> " + HexBytes(event.bytes) + "  noise";
  }
  return line;
}

}  // namespace quorvane::sim
