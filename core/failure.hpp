// The core's one fatal error type and the helpers that raise it.
//
// A violated precondition inside the core (a bad bound pair, an empty swarm, a failing entropy
// source) ends the call: it throws CoreError carrying the exact message the caller will see.
// Stopping a run early is never an error; it is reported as a StopReason.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvalinth {

class CoreError : public std::runtime_error {
 public:
  explicit CoreError(const std::string& message) : std::runtime_error(message) {}
};

// Throws CoreError(message).
[[noreturn]] void fail(const std::string& message);

// Formats a double the way every message and repr of the library does: the shortest decimal that
// reads back as the same value, never in exponent notation, no fractional part when whole,
// and "NaN", "inf", "-inf" for the special values.
std::string format_number(double value);
std::string format_number(std::uint64_t value);
std::string format_number(std::int64_t value);
inline std::string format_number(int value) { return format_number(static_cast<std::int64_t>(value)); }

// Message of a failed equality assertion:
//   assertion `left == right` failed: <text>\n  left: <left>\n right: <right>
std::string equality_failure_message(std::string_view text, std::string_view left,
                                     std::string_view right);

// Fails with the equality-assertion message unless left == right.
template <typename T>
void require_eq(const T& left, const T& right, std::string_view text) {
  if (!(left == right)) {
    fail(equality_failure_message(text, format_number(left), format_number(right)));
  }
}

}  // namespace corvalinth
