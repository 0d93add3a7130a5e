#include "core/failure.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace corvalinth {

void fail(const std::string& message) { throw CoreError(message); }

std::string format_number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // Fixed notation with no precision gives the shortest round-trip digits without an exponent;
  // whole values come out without a fractional part. The largest double needs 309 digits.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

std::string format_number(std::uint64_t value) { return std::to_string(value); }

std::string format_number(std::int64_t value) { return std::to_string(value); }

std::string equality_failure_message(std::string_view text, std::string_view left,
                                     std::string_view right) {
  std::string message = "assertion `left == right` failed: ";
  message += text;
  message += "\n  left: ";
  message += left;
  message += "\n right: ";
  message += right;
  return message;
}

}  // namespace corvalinth
