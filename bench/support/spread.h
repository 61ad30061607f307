// The spread of a benchmark's samples, as every figure program prints it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace quorvane::bench {

// The sample at percent of the sorted samples (100 is the largest), 0 with none.
inline double Percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t index = std::min(
      values.size() - 1, static_cast<std::size_t>(percent / 100.0 * static_cast<double>(values.size())));
  return values[index];
}

}  // namespace quorvane::bench
