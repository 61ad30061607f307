// The six command frames the panel sends, built byte-exact from device values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvane {

// One filled command frame: 5, 6 or 9 bytes. A value, so no builder can alter
// a frame that has already been handed to the link.
struct CommandFrame {
  std::array<std::uint8_t, 9> bytes{};
  std::size_t size = 0;

  const std::uint8_t* data() const { return bytes.data(); }
  std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

CommandFrame BuildReadStatus();
CommandFrame BuildReadAll();
// setpoint: its low 16 bits are sent, big-endian, after the two prefix bytes.
CommandFrame BuildSetCurrent(std::uint8_t prefix0, std::uint8_t prefix1, std::int32_t setpoint);
CommandFrame BuildSetFrequency(std::int32_t hertz);  // 32 bits big-endian
CommandFrame BuildSetDuration(std::uint8_t steps);
CommandFrame BuildSetSoftActive(std::uint8_t state);  // 0 or 1

}  // namespace quorvane
