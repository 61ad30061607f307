// Feeds arbitrary operator text to the conversions from typed entries to
// device values: whatever is typed, no conversion may be undefined (UBSan
// watches the casts) and the value sent to the board must lie in its range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/c_number.h"
#include "board/operator_entry.h"

namespace {

using namespace quorvane;

// Names the broken invariant before the abort, so a finding reads at a glance.
[[noreturn]] void Fail(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

// The value truncated toward zero and kept in 0..hi, NaN as 0: what each
// conversion promises, computed the plain way from the number read.
std::int64_t Expected(double value, std::int64_t hi) {
  if (!(value >= 0.0)) return 0;
  if (value >= static_cast<double>(hi)) return hi;
  return static_cast<std::int64_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The maximum current comes from the last two bytes, so one input steers
  // both the text and the limit it is held to.
  const std::int32_t currentMax = size >= 2 ? (data[size - 2] << 8) | data[size - 1] : 0;

  // The fuzzer runs in the "C" locale, where the C library's own reading is
  // the reference.
  const double value = AtofC(text);
  const double reference = std::strtod(std::string(text).c_str(), nullptr);
  if (!(value == reference || (std::isnan(value) && std::isnan(reference))))
    Fail("AtofC reads as strtod");

  const std::int32_t current = ParseCurrent(text, currentMax);
  if (current < 0 || current > currentMax || current != Expected(value, currentMax))
    Fail("current");

  const std::int32_t hertz = ParseFrequency(text);
  if (hertz < 0 || hertz > kMaxFrequencyHz || hertz % 10 != 0) Fail("frequency range");
  // The decimal is cut, not the binary product with 100, so the two may part
  // only where that product lies within a rounding error of a whole number,
  // and then by one hundredth: 0.29 * 100 is 28.999999999999996 (the cut is
  // one more), while .39999999999999999 * 100 rounds up to 40.0 (one less).
  const double hundredths = value * 100.0;
  const std::int64_t plain = Expected(hundredths, kMaxFrequencyHz / 10);
  const bool nearWhole =
      std::fabs(std::round(hundredths) - hundredths) < 1e-9 * std::fabs(hundredths);
  const std::int64_t apart = hertz - plain * 10;
  if (apart != 0 && !(nearWhole && (apart == 10 || apart == -10))) Fail("frequency value");

  const std::uint8_t steps = ParseDuration(text);
  if (steps != Expected(value, 255)) Fail("duration");
  return 0;
}
