#include "core/duration.hpp"

#include <cmath>

#include "core/failure.hpp"

namespace corvalinth {

Duration duration_from_seconds(double seconds) {
  if (seconds < 0.0) fail("cannot convert float seconds to Duration: value is negative");
  if (std::isnan(seconds) || seconds >= 0x1p64) {
    fail("cannot convert float seconds to Duration: value is either too big or NaN");
  }
  const double whole = std::trunc(seconds);
  const double fraction = seconds - whole;  // exact: both are doubles of the same binade or below
  auto nanoseconds = static_cast<std::uint64_t>(std::nearbyint(fraction * 1e9));
  auto whole_seconds = static_cast<std::uint64_t>(whole);
  if (nanoseconds >= 1'000'000'000u) {
    nanoseconds -= 1'000'000'000u;
    whole_seconds += 1;
  }
  return Duration{whole_seconds, static_cast<std::uint32_t>(nanoseconds)};
}

Duration duration_between(std::chrono::steady_clock::time_point start,
                          std::chrono::steady_clock::time_point end) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
  if (elapsed <= 0) return Duration{};
  const auto total = static_cast<std::uint64_t>(elapsed);
  return Duration{total / 1'000'000'000u, static_cast<std::uint32_t>(total % 1'000'000'000u)};
}

}  // namespace corvalinth
