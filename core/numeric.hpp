// The numeric rules every part of the core shares, written out once: how objective values
// compare (NaN ranks after every number), the min and max that let a NaN operand yield the other
// one, and the saturating conversion of a double to a signed 64-bit integer.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace corvalinth {

// True when `candidate` improves on `incumbent`: strictly smaller, or a number where the
// incumbent is NaN. Equal values never improve; NaN never improves on anything. This is also the
// minimum rule's step: ties keep the earlier entry and NaN ranks after every number.
inline bool is_better(double candidate, double incumbent) {
  return candidate < incumbent || (std::isnan(incumbent) && !std::isnan(candidate));
}

// The smaller of a and b; a NaN operand yields the other one (NaN only when both are NaN).
// Between equal values (-0.0 and 0.0) the first operand is returned.
inline double min_ignoring_nan(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return b < a ? b : a;
}

// The larger of a and b; a NaN operand yields the other one (NaN only when both are NaN).
// Between equal values (-0.0 and 0.0) the first operand is returned.
inline double max_ignoring_nan(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return a < b ? b : a;
}

// `value` truncated toward zero to a signed 64-bit integer: NaN is 0, values beyond the range
// saturate at its ends.
inline std::int64_t saturating_i64(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (value < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

}  // namespace corvalinth
