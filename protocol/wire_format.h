// The board's wire format in one place: the layout of every command and reply
// code, big-endian fields, the checksum, the one frame builder, and the
// decoders from a valid frame to a typed value. Everything that reads or
// writes frames (panel, virtual board, frame log, benchmarks, test rigs) goes
// through here, so a field is described once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <variant>
#include <vector>

#include "protocol/codes.h"

namespace quorvane {

// Frame: header0 header1 L code payload checksum, with L = payload + 2
// (code and checksum). Field offsets below count from the frame's first byte.
inline constexpr std::size_t kFrameHeaderSize = 4;  // two header bytes, L, code
inline constexpr std::size_t kPayloadOffset = 4;

enum class FrameKind { kCommand, kReply };

enum class FieldType : std::uint8_t {
  kU8,
  kU16,    // big-endian
  kU32,    // big-endian
  kPrefix  // two bytes taken as they are
};

// What a field counts, for anyone who shows it.
enum class FieldUnit : std::uint8_t { kPlain, kMilliamperes, kHundredthsDegree, kHertz, kSteps };

struct FieldSpec {
  const char* name;
  std::uint8_t offset;
  FieldType type;
  FieldUnit unit;
};

struct CodeLayout {
  std::uint8_t code;
  const char* name;     // "CMD_SET_CURRENT", "RPL_ALL", ...
  std::uint8_t length;  // the L byte of the full layout
  std::span<const FieldSpec> fields;

  constexpr std::size_t FrameSize() const { return length + 3u; }
};

// Nullptr for a code the board protocol does not know.
const CodeLayout* CommandLayout(std::uint8_t code);
const CodeLayout* ReplyLayout(std::uint8_t code);
std::span<const CodeLayout> CommandLayouts();
std::span<const CodeLayout> ReplyLayouts();

constexpr std::size_t FieldWidth(FieldType type) {
  switch (type) {
    case FieldType::kU8:
      return 1;
    case FieldType::kU16:
    case FieldType::kPrefix:
      return 2;
    case FieldType::kU32:
      return 4;
  }
  return 0;
}

constexpr std::uint16_t GetU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}
constexpr std::uint32_t GetU32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
         at[3];
}
constexpr void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}
constexpr void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A field's value (a prefix reads as its two bytes, big-endian). The frame
// must hold the field: CodeLayout::length tells.
std::uint32_t ReadField(std::span<const std::uint8_t> frame, const FieldSpec& field);
void WriteField(std::span<std::uint8_t> frame, const FieldSpec& field, std::uint32_t value);

// The largest frame of either table (RPL_ALL).
inline constexpr std::size_t kMaxFrameSize = 19;

// A built frame, held by value: no builder can alter a frame that has already
// been handed on.
struct WireFrame {
  std::array<std::uint8_t, kMaxFrameSize> bytes{};
  std::size_t size = 0;

  const std::uint8_t* data() const { return bytes.data(); }
  std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
  std::vector<std::uint8_t> ToVector() const { return {bytes.begin(), bytes.begin() + size}; }
};

// The one builder: header, L, code, payload and checksum into out, which must
// hold payload.size() + 5 bytes. Returns the frame's size.
std::size_t WriteFrame(std::span<std::uint8_t> out, FrameKind kind, std::uint8_t code,
                       std::span<const std::uint8_t> payload);
// Any payload, for frames that do not follow a layout (tests, a shortened reply).
std::vector<std::uint8_t> BuildRawFrame(FrameKind kind, std::uint8_t code,
                                        std::span<const std::uint8_t> payload);
// A frame of the code's full layout with the fields' values in table order;
// bytes no field covers are 0.
using FieldValues = std::array<std::uint32_t, 6>;
WireFrame BuildFrame(FrameKind kind, const CodeLayout& layout, const FieldValues& values);

// Typed values. A setting command and the reply that confirms it carry the
// same fields; the code tells them apart.
using CurrentPrefix = std::array<std::uint8_t, 2>;
template <std::uint8_t Code>
struct NoFields {
  static constexpr std::uint8_t kCode = Code;
};
template <std::uint8_t Code>
struct SetpointFields {
  static constexpr std::uint8_t kCode = Code;
  CurrentPrefix prefix;
  std::uint16_t setpoint;  // mA
};
template <std::uint8_t Code>
struct HertzField {
  static constexpr std::uint8_t kCode = Code;
  std::uint32_t hertz;
};
template <std::uint8_t Code>
struct StepsField {
  static constexpr std::uint8_t kCode = Code;
  std::uint8_t steps;
};
template <std::uint8_t Code>
struct StateField {
  static constexpr std::uint8_t kCode = Code;
  std::uint8_t state;
};

struct StatusReply {
  static constexpr std::uint8_t kCode = RPL_STATUS;
  std::uint16_t measured;  // mA
  std::uint16_t seed;      // hundredths of a degree C
  std::uint16_t pump;      // hundredths of a degree C
};
struct AllReply {
  static constexpr std::uint8_t kCode = RPL_ALL;
  CurrentPrefix prefix;
  std::uint16_t setpoint;  // mA
  std::uint16_t maximum;   // mA
  std::uint32_t hertz;
  std::uint8_t steps;
  std::uint8_t softActive;
};
using CurrentReply = SetpointFields<RPL_CURRENT>;
using FrequencyReply = HertzField<RPL_FREQUENCY>;
using DurationReply = StepsField<RPL_DURATION>;
using SoftActiveReply = StateField<RPL_SOFT_ACTIVE>;
using Reply = std::variant<StatusReply, AllReply, CurrentReply, FrequencyReply, DurationReply,
                           SoftActiveReply>;

using ReadStatusCommand = NoFields<CMD_READ_STATUS>;
using ReadAllCommand = NoFields<CMD_READ_ALL>;
using SetCurrentCommand = SetpointFields<CMD_SET_CURRENT>;
using SetFrequencyCommand = HertzField<CMD_SET_FREQUENCY>;
using SetDurationCommand = StepsField<CMD_SET_DURATION>;
using SetSoftActiveCommand = StateField<CMD_SET_SOFT_ACTIVE>;
using Command = std::variant<ReadStatusCommand, ReadAllCommand, SetCurrentCommand,
                             SetFrequencyCommand, SetDurationCommand, SetSoftActiveCommand>;

// The position of T among the alternatives of Variant (Reply by default), for
// a switch over a reply's kind.
template <typename T, typename Variant = Reply, std::size_t I = 0>
constexpr std::size_t IndexOf() {
  if constexpr (std::is_same_v<std::variant_alternative_t<I, Variant>, T>) {
    return I;
  } else {
    return IndexOf<T, Variant, I + 1>();
  }
}

// From a frame whose header, length and checksum were already checked: the
// typed value, or nothing for an unknown code or a frame shorter than its
// code's layout (its missing fields would be read from whatever came before).
std::optional<Reply> DecodeReply(std::span<const std::uint8_t> frame);
// The same into reply, for the receiver's per-frame path; false for no reply.
bool DecodeReply(std::span<const std::uint8_t> frame, Reply& reply);
std::optional<Command> DecodeCommand(std::span<const std::uint8_t> frame);

WireFrame EncodeReply(const Reply& reply);
WireFrame EncodeCommand(const Command& command);

}  // namespace quorvane
