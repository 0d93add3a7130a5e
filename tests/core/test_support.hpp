// Helpers shared by the core's test programs: the message of a failure, and readable names for
// the values GoogleTest prints in parameterised test names and failure reports.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "core/failure.hpp"
#include "core/spaces/bounds.hpp"

namespace corvalinth {

// The message of the core failure `action` raises, or "(no failure)" when it returns.
template <typename Action>
std::string failure_of(Action&& action) {
  try {
    action();
  } catch (const CoreError& error) {
    return error.what();
  }
  return "(no failure)";
}

// "(1, 2.5, nan)"
inline void print_numbers(std::span<const double> values, std::ostream& out) {
  out << "(";
  for (std::size_t k = 0; k < values.size(); ++k) out << (k > 0 ? ", " : "") << values[k];
  out << ")";
}

// The policy by its Python name: "clamp", "reflect", "wrap", "reinit".
inline void PrintTo(BoundsHandling mode, std::ostream* out) {
  constexpr const char* kNames[] = {"clamp", "reflect", "wrap", "reinit"};
  *out << kNames[static_cast<std::size_t>(mode)];
}

}  // namespace corvalinth
