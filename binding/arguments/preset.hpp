// Presets: named configurations that fill the settings a caller left at their defaults, and the
// restart parameters both single-objective front ends share.
//
// preset="robust" is the configuration that reached the most targets per evaluation on the
// noiseless bbob suite (benchmarks/bbob.py). A setting counts as left at its default when its
// value equals the default, so passing the default explicitly lets the preset replace it. With a
// budget (max_evals, or max_time where the front end has it) and max_iter at its default, the
// budget alone bounds the run.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>

#include "binding/arguments/parameter_table.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

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
};

// Applies the preset of converted arguments to them, before the setup step; leaves them as given
// without one. Fails with ValueError "unknown preset: '<name>' (expected 'robust')" for any other
// name.
template <typename Arguments>
void apply_preset(Arguments& a) {
  if (!a.preset) return;
  if (*a.preset != "robust") {
    raise(PyExc_ValueError, "unknown preset: '" + *a.preset + "' (expected 'robust')");
  }
  const SwarmConfig defaults;  // the parameter tables' defaults
  bool budget = a.max_evals.has_value();
  if constexpr (requires { a.max_time; }) budget = budget || a.max_time.has_value();
  if (budget && a.max_iter == defaults.max_iter) {
    a.max_iter = std::numeric_limits<std::uint64_t>::max();
  }
  if (a.n_particles == defaults.n_particles) a.n_particles = RobustPreset::kParticles;
  if (a.w == defaults.w) a.w = RobustPreset::kW;
  if (a.c1 == defaults.c1) a.c1 = RobustPreset::kC;
  if (a.c2 == defaults.c2) a.c2 = RobustPreset::kC;
  if (a.bounds_handling == "clamp") a.bounds_handling = RobustPreset::kBoundsHandling;
  if (a.restart_patience == 0) a.restart_patience = RobustPreset::kRestartPatience;
}

// The conversion `convert` (a front end's convert_arguments) followed by apply_preset: what the
// front end's body sees.
template <auto convert>
auto converted_with_preset(std::span<PyObject* const> given) {
  auto arguments = convert(given);
  apply_preset(arguments);
  return arguments;
}

}  // namespace corvalinth::py
