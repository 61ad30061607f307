// The field tables of every command and reply code, and the builder and
// decoders that follow them.
#include "protocol/wire_format.h"

#include <algorithm>
#include <type_traits>
#include <utility>

namespace quorvane {
namespace {

using enum FieldType;
using enum FieldUnit;

// Bytes 4-5 and 10-11 of the status reply, and 8-9 of the full reply, carry
// nothing the panel uses.
constexpr FieldSpec kStatusFields[] = {
    {"current", 6, kU16, kMilliamperes},
    {"seed", 8, kU16, kHundredthsDegree},
    {"pump", 12, kU16, kHundredthsDegree},
};
constexpr FieldSpec kAllFields[] = {
    {"prefix", 4, kPrefix, kPlain},   {"setpoint", 6, kU16, kMilliamperes},
    {"max", 10, kU16, kMilliamperes}, {"hz", 12, kU32, kHertz},
    {"steps", 16, kU8, kSteps},       {"soft", 17, kU8, kPlain},
};
// A setting command and the reply that confirms it carry the same fields.
constexpr FieldSpec kSetpointFields[] = {
    {"prefix", 4, kPrefix, kPlain},
    {"setpoint", 6, kU16, kMilliamperes},
};
constexpr FieldSpec kHertzFields[] = {{"hz", 4, kU32, kHertz}};
constexpr FieldSpec kStepsFields[] = {{"steps", 4, kU8, kSteps}};
constexpr FieldSpec kStateFields[] = {{"state", 4, kU8, kPlain}};

constexpr CodeLayout kCommands[] = {
    {CMD_READ_STATUS, "CMD_READ_STATUS", 2, {}},
    {CMD_READ_ALL, "CMD_READ_ALL", 2, {}},
    {CMD_SET_CURRENT, "CMD_SET_CURRENT", 6, kSetpointFields},
    {CMD_SET_FREQUENCY, "CMD_SET_FREQUENCY", 6, kHertzFields},
    {CMD_SET_DURATION, "CMD_SET_DURATION", 3, kStepsFields},
    {CMD_SET_SOFT_ACTIVE, "CMD_SET_SOFT_ACTIVE", 3, kStateFields},
};

// The length byte of each full reply; a shorter frame of the code is dropped.
constexpr CodeLayout kReplies[] = {
    {RPL_STATUS, "RPL_STATUS", 12, kStatusFields},
    {RPL_ALL, "RPL_ALL", 16, kAllFields},
    {RPL_CURRENT, "RPL_CURRENT", 6, kSetpointFields},
    {RPL_FREQUENCY, "RPL_FREQUENCY", 6, kHertzFields},
    {RPL_DURATION, "RPL_DURATION", 3, kStepsFields},
    {RPL_SOFT_ACTIVE, "RPL_SOFT_ACTIVE", 3, kStateFields},
};

// Every field lies inside its frame's payload.
constexpr bool FieldsFit(std::span<const CodeLayout> layouts) {
  for (const CodeLayout& layout : layouts) {
    if (layout.FrameSize() > kMaxFrameSize) return false;
    if (layout.fields.size() > std::tuple_size_v<FieldValues>) return false;
    for (const FieldSpec& field : layout.fields) {
      if (field.offset < kPayloadOffset ||
          field.offset + FieldWidth(field.type) > layout.length + 2u) {
        return false;
      }
    }
  }
  return true;
}
static_assert(FieldsFit(kCommands) && FieldsFit(kReplies));

constexpr const CodeLayout* Find(std::span<const CodeLayout> layouts, std::uint8_t code) {
  for (const CodeLayout& layout : layouts) {
    if (layout.code == code) return &layout;
  }
  return nullptr;
}

CurrentPrefix PrefixOf(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}
std::uint32_t Join(const CurrentPrefix& prefix) {
  return (std::uint32_t{prefix[0]} << 8) | prefix[1];
}
std::uint8_t U8(std::uint32_t value) { return static_cast<std::uint8_t>(value); }
std::uint16_t U16(std::uint32_t value) { return static_cast<std::uint16_t>(value); }

// Each typed value from and to its fields' values, in its layout's table order.
template <typename T>
struct Tag {};
StatusReply From(Tag<StatusReply>, const FieldValues& v) {
  return {U16(v[0]), U16(v[1]), U16(v[2])};
}
AllReply From(Tag<AllReply>, const FieldValues& v) {
  return {PrefixOf(v[0]), U16(v[1]), U16(v[2]), v[3], U8(v[4]), U8(v[5])};
}
template <std::uint8_t C>
NoFields<C> From(Tag<NoFields<C>>, const FieldValues&) {
  return {};
}
template <std::uint8_t C>
SetpointFields<C> From(Tag<SetpointFields<C>>, const FieldValues& v) {
  return {PrefixOf(v[0]), U16(v[1])};
}
template <std::uint8_t C>
HertzField<C> From(Tag<HertzField<C>>, const FieldValues& v) {
  return {v[0]};
}
template <std::uint8_t C>
StepsField<C> From(Tag<StepsField<C>>, const FieldValues& v) {
  return {U8(v[0])};
}
template <std::uint8_t C>
StateField<C> From(Tag<StateField<C>>, const FieldValues& v) {
  return {U8(v[0])};
}

FieldValues To(const StatusReply& r) { return {r.measured, r.seed, r.pump}; }
FieldValues To(const AllReply& r) {
  return {Join(r.prefix), r.setpoint, r.maximum, r.hertz, r.steps, r.softActive};
}
template <std::uint8_t C>
FieldValues To(const NoFields<C>&) {
  return {};
}
template <std::uint8_t C>
FieldValues To(const SetpointFields<C>& v) {
  return {Join(v.prefix), v.setpoint};
}
template <std::uint8_t C>
FieldValues To(const HertzField<C>& v) {
  return {v.hertz};
}
template <std::uint8_t C>
FieldValues To(const StepsField<C>& v) {
  return {v.steps};
}
template <std::uint8_t C>
FieldValues To(const StateField<C>& v) {
  return {v.state};
}

// Which table a variant's codes are laid out in.
template <typename Variant>
constexpr std::span<const CodeLayout> LayoutsOf() {
  if constexpr (std::is_same_v<Variant, Reply>) {
    return kReplies;
  } else {
    return kCommands;
  }
}

// One alternative from a frame that holds all its fields. The layout is
// known at compile time here, so each field read is a fixed load: a decoder
// runs for every reply the board sends.
template <typename Variant, std::size_t I>
void DecodeAlternative(std::span<const std::uint8_t> frame, Variant& out) {
  using T = std::variant_alternative_t<I, Variant>;
  constexpr const CodeLayout& layout = *Find(LayoutsOf<Variant>(), T::kCode);
  FieldValues values{};
  [&]<std::size_t... F>(std::index_sequence<F...>) {
    ((values[F] = ReadField(frame, layout.fields[F])), ...);
  }
  (std::make_index_sequence<layout.fields.size()>{});
  out.template emplace<I>(From(Tag<T>{}, values));
}

// Per code byte: the variant alternative that carries it, its decoder and
// the length byte of its full layout.
template <typename Variant>
struct DecodeTable {
  using Decoder = void (*)(std::span<const std::uint8_t>, Variant&);
  std::array<std::int8_t, 256> alternative{};
  std::array<Decoder, std::variant_size_v<Variant>> decode{};
  std::array<std::uint8_t, std::variant_size_v<Variant>> length{};
};

template <typename Variant, std::size_t... I>
constexpr DecodeTable<Variant> MakeDecodeTable(std::index_sequence<I...>) {
  DecodeTable<Variant> table;
  table.alternative.fill(-1);
  ((table.alternative[std::variant_alternative_t<I, Variant>::kCode] = static_cast<std::int8_t>(I)),
   ...);
  table.decode = {&DecodeAlternative<Variant, I>...};
  table.length = {
      Find(LayoutsOf<Variant>(), std::variant_alternative_t<I, Variant>::kCode)->length...};
  return table;
}

template <typename Variant>
constexpr DecodeTable<Variant> kDecodeTable =
    MakeDecodeTable<Variant>(std::make_index_sequence<std::variant_size_v<Variant>>{});

// The alternative whose code the frame carries; nothing for an unknown code
// or a frame too short for its layout.
template <typename Variant>
bool Decode(std::span<const std::uint8_t> frame, Variant& out) {
  if (frame.size() < kFrameHeaderSize) return false;
  const DecodeTable<Variant>& table = kDecodeTable<Variant>;
  const int index = table.alternative[frame[3]];
  if (index < 0) return false;
  const std::uint8_t length = table.length[static_cast<std::size_t>(index)];
  // The checksum byte may be left off.
  if (frame[2] < length || frame.size() < length + 2u) return false;
  table.decode[static_cast<std::size_t>(index)](frame, out);
  return true;
}

template <typename Variant>
WireFrame Encode(FrameKind kind, std::span<const CodeLayout> layouts, const Variant& value) {
  return std::visit(
      [&](const auto& v) {
        return BuildFrame(kind, *Find(layouts, std::decay_t<decltype(v)>::kCode), To(v));
      },
      value);
}

}  // namespace

const CodeLayout* CommandLayout(std::uint8_t code) { return Find(kCommands, code); }
const CodeLayout* ReplyLayout(std::uint8_t code) { return Find(kReplies, code); }
std::span<const CodeLayout> CommandLayouts() { return kCommands; }
std::span<const CodeLayout> ReplyLayouts() { return kReplies; }

std::uint32_t ReadField(std::span<const std::uint8_t> frame, const FieldSpec& field) {
  const std::uint8_t* at = frame.data() + field.offset;
  switch (field.type) {
    case FieldType::kU8:
      return at[0];
    case FieldType::kU16:
    case FieldType::kPrefix:
      return GetU16(at);
    case FieldType::kU32:
      return GetU32(at);
  }
  return 0;
}

void WriteField(std::span<std::uint8_t> frame, const FieldSpec& field, std::uint32_t value) {
  std::uint8_t* at = frame.data() + field.offset;
  switch (field.type) {
    case FieldType::kU8:
      at[0] = static_cast<std::uint8_t>(value);
      break;
    case FieldType::kU16:
    case FieldType::kPrefix:
      PutU16(at, static_cast<std::uint16_t>(value));
      break;
    case FieldType::kU32:
      PutU32(at, value);
      break;
  }
}

std::size_t WriteFrame(std::span<std::uint8_t> out, FrameKind kind, std::uint8_t code,
                       std::span<const std::uint8_t> payload) {
  const bool command = kind == FrameKind::kCommand;
  std::size_t n = 0;
  out[n++] = command ? kCommandHeader0 : kReplyHeader0;
  out[n++] = command ? kCommandHeader1 : kReplyHeader1;
  out[n++] = static_cast<std::uint8_t>(payload.size() + 2);  // code + payload + checksum
  out[n++] = code;
  for (std::uint8_t b : payload) out[n++] = b;
  out[n] = FrameChecksum(out.data(), n);
  return n + 1;
}

std::vector<std::uint8_t> BuildRawFrame(FrameKind kind, std::uint8_t code,
                                        std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> frame(payload.size() + 5);
  WriteFrame(frame, kind, code, payload);
  return frame;
}

WireFrame BuildFrame(FrameKind kind, const CodeLayout& layout, const FieldValues& values) {
  WireFrame frame;
  // The fields go straight to their places in the frame; the builder then
  // frames that payload where it lies.
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    WriteField(frame.bytes, layout.fields[i], values[i]);
  }
  const std::span<const std::uint8_t> payload(frame.bytes.data() + kPayloadOffset,
                                              layout.length - 2u);
  frame.size = WriteFrame(frame.bytes, kind, layout.code, payload);
  return frame;
}

bool DecodeReply(std::span<const std::uint8_t> frame, Reply& reply) { return Decode(frame, reply); }

std::optional<Reply> DecodeReply(std::span<const std::uint8_t> frame) {
  Reply reply;
  return Decode(frame, reply) ? std::optional<Reply>(reply) : std::nullopt;
}

std::optional<Command> DecodeCommand(std::span<const std::uint8_t> frame) {
  Command command;
  return Decode(frame, command) ? std::optional<Command>(command) : std::nullopt;
}

WireFrame EncodeReply(const Reply& reply) { return Encode(FrameKind::kReply, kReplies, reply); }

WireFrame EncodeCommand(const Command& command) {
  return Encode(FrameKind::kCommand, kCommands, command);
}

}  // namespace quorvane
