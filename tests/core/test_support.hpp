// Helpers shared by the core's test programs: the message of a failure, the comparison of two
// runs, and readable names for the values GoogleTest prints in parameterised test names and
// failure reports.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "core/failure.hpp"
#include "core/records.hpp"
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

// Two runs are the same run: every reported field equal, the values bit for bit.
template <typename Element>
void expect_same_run(const RunResult<Element>& a, const RunResult<Element>& b) {
  EXPECT_EQ(a.best_position, b.best_position);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a.best_value), std::bit_cast<std::uint64_t>(b.best_value));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a.best_violation),
            std::bit_cast<std::uint64_t>(b.best_violation));
  EXPECT_EQ(a.history.positions, b.history.positions);
  EXPECT_EQ(a.history.iterations(), b.history.iterations());
  EXPECT_EQ(a.convergence, b.convergence);
  EXPECT_EQ(a.evaluations, b.evaluations);
  EXPECT_EQ(a.iterations, b.iterations);
  EXPECT_EQ(a.stop_reason, b.stop_reason);
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
