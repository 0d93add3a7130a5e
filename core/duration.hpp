// A wall-clock budget as whole seconds and nanoseconds, and its conversion from float seconds.
#pragma once

#include <chrono>
#include <cstdint>

namespace corvalinth {

struct Duration {
  std::uint64_t seconds = 0;
  std::uint32_t nanoseconds = 0;  // below 1,000,000,000

  friend bool operator>=(const Duration& a, const Duration& b) {
    return a.seconds != b.seconds ? a.seconds > b.seconds : a.nanoseconds >= b.nanoseconds;
  }
  friend bool operator==(const Duration& a, const Duration& b) = default;
};

// Fails with "cannot convert float seconds to Duration: value is negative" below zero, and with
// "cannot convert float seconds to Duration: value is either too big or NaN" for NaN or a value
// of 2^64 seconds or more.
Duration duration_from_seconds(double seconds);

// The time elapsed between two instants of the monotonic clock.
Duration duration_between(std::chrono::steady_clock::time_point start,
                          std::chrono::steady_clock::time_point end);

}  // namespace corvalinth
