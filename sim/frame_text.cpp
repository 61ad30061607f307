// Decoding of command and reply frames for the simulator's log.
#include "sim/frame_text.h"

#include <cstdio>

#include "protocol/wire_format.h"

namespace quorvane::sim {

namespace {

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string FieldText(std::span<const std::uint8_t> frame, const FieldSpec& field) {
  const std::uint32_t value = ReadField(frame, field);
  if (field.type == FieldType::kPrefix) return Format("%02X %02X", value >> 8, value & 0xFF);
  if (field.unit == FieldUnit::kHundredthsDegree) {
    return Format("%u.%02u", value / 100, value % 100);
  }
  return std::to_string(value);
}

// The name and fields of a frame, or why it has none; a malformed frame is
// never read past its end.
std::string Describe(std::span<const std::uint8_t> frame, const CodeLayout* layout,
                     const char* unknown) {
  if (frame.size() < 5) return "(not a frame)";
  if (layout == nullptr) return Format(unknown, frame[3]);
  std::string text = layout->name;
  for (const FieldSpec& field : layout->fields) {
    // The checksum byte is not a field.
    if (field.offset + FieldWidth(field.type) > frame.size() - 1) {
      return std::string(layout->name) + " (too short for its fields)";
    }
    text += std::string(" ") + field.name + "=" + FieldText(frame, field);
  }
  return text;
}

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
  return Describe(frame, frame.size() < 5 ? nullptr : CommandLayout(frame[3]),
                  "unknown command code 0x%02X");
}

std::string DescribeReply(std::span<const std::uint8_t> frame) {
  return Describe(frame, frame.size() < 5 ? nullptr : ReplyLayout(frame[3]),
                  "unknown reply code 0x%02X");
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
