// Presets: named configurations that fill the settings a caller did not pass, and the restart
// parameters both single-objective front ends share.
//
// Every preset decides "not passed" by the parameter table's record of the call (`was_given`): a
// setting passed explicitly, even with its default value, is the caller's choice and stays. With a
// budget (max_evals, or max_time where the front end has it) and max_iter not passed, the budget
// alone bounds the run (`lift_iteration_limit`).
//
// preset="robust" of `minimize` and `Optimizer` is the configuration that reached the most targets
// per evaluation on the noiseless bbob suite (benchmarks/bbob.py); `minimize_multi` has its own
// (minimize_multi.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "binding/arguments/parameter_table.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/python.hpp"

// The restart parameters and the preset, keyword-only, as lines of a parameter table.
#define CORVALINTH_RESTART_PARAMETERS(P) \
  P(restart_patience, keyword_only(with_default(to_u64, std::uint64_t{0}))) \
  P(restart_tol, keyword_only(with_default(to_f64, 0.0))) \
  P(restart_spread, keyword_only(with_default(to_f64, 1.0))) \
  P(preset, keyword_only(none_or(to_str))) \
  /* the end of the restart parameters */

namespace corvalinth::py {

struct RobustPreset {
  static constexpr std::uint64_t kParticles = 20;
  static constexpr double kW = 0.6;
  static constexpr double kC = 1.7;  // c1 and c2
  static constexpr const char* kBoundsHandling = "reflect";
  static constexpr std::uint64_t kRestartPatience = 50;
  static constexpr const char* kLocalSearch = "nelder-mead";
};

// Fails with ValueError "unknown preset: '<name>' (expected 'robust')" for any name but "robust".
inline void require_robust(const std::string& name) {
  if (name != "robust") {
    raise(PyExc_ValueError, "unknown preset: '" + name + "' (expected 'robust')");
  }
}

// True when the call did not pass the parameter `name` (see was_given).
template <typename Arguments, std::size_t Count>
bool left_out(const Arguments& a, const std::array<Parameter, Count>& parameters,
              std::string_view name) {
  return !was_given(a, parameters, name);
}

// With a budget (max_evals, or max_time where the front end has it) and max_iter not passed,
// removes the iteration limit: the budget alone bounds the run.
template <typename Arguments, std::size_t Count>
void lift_iteration_limit(Arguments& a, const std::array<Parameter, Count>& parameters) {
  bool budget = a.max_evals.has_value();
  if constexpr (requires { a.max_time; }) budget = budget || a.max_time.has_value();
  if (budget && left_out(a, parameters, "max_iter")) {
    a.max_iter = std::numeric_limits<std::uint64_t>::max();
  }
}

// Applies the single-objective preset of converted arguments to them, before the setup step;
// leaves them as given without one.
template <typename Arguments, std::size_t Count>
void apply_preset(Arguments& a, const std::array<Parameter, Count>& parameters) {
  if (!a.preset) return;
  require_robust(*a.preset);
  const auto left = [&](std::string_view name) { return left_out(a, parameters, name); };
  lift_iteration_limit(a, parameters);
  if (left("n_particles")) a.n_particles = RobustPreset::kParticles;
  if (left("w")) a.w = RobustPreset::kW;
  if (left("c1")) a.c1 = RobustPreset::kC;
  if (left("c2")) a.c2 = RobustPreset::kC;
  if (left("bounds_handling")) a.bounds_handling = RobustPreset::kBoundsHandling;
  if (left("restart_patience")) a.restart_patience = RobustPreset::kRestartPatience;
  // Under the feasibility rules the swarm used the last share of the budget better than the
  // simplex on the constrained designs of benchmarks/constrained_designs.py, so the preset leaves
  // the phase out there; a caller may still ask for it.
  bool ranked = false;
  if constexpr (requires { a.constraint_handling; }) {
    ranked = a.constraint_handling == "feasibility";
  }
  if (left("local_search") && !ranked) a.local_search = RobustPreset::kLocalSearch;
}

// The conversion `convert` (a front end's convert_arguments) followed by apply_preset with the
// front end's `parameters`: what the front end's body sees.
template <auto convert, const auto& parameters>
auto converted_with_preset(std::span<PyObject* const> given) {
  auto arguments = convert(given);
  apply_preset(arguments, parameters);
  return arguments;
}

}  // namespace corvalinth::py
