// Presets: named configurations that fill the settings a caller left at their defaults, and the
// restart settings both single-objective front ends copy into the run's configuration.
//
// preset="robust" is the configuration that reached the most targets per evaluation on the
// noiseless bbob suite (benchmarks/bbob.py). A setting counts as left at its default when its
// value equals the default, so passing the default explicitly lets the preset replace it. With a
// budget (max_evals, or max_time where the front end has it) and max_iter at its default, the
// budget alone bounds the run.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/python.hpp"
#include "core/failure.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

struct RobustPreset {
  static constexpr std::uint64_t kParticles = 20;
  static constexpr double kW = 0.6;
  static constexpr double kC = 1.7;  // c1 and c2
  static constexpr const char* kBoundsHandling = "reflect";
  static constexpr std::uint64_t kRestartPatience = 50;
};

// The settings a preset may fill, as the run is to use them.
struct PresetSettings {
  std::uint64_t n_particles;
  std::uint64_t max_iter;
  double w;
  double c1;
  double c2;
  std::string bounds_handling;
  std::uint64_t restart_patience;
  double restart_tol;
  double restart_spread;
};

// The settings of converted arguments with their preset applied; as given without one. Fails
// with ValueError "unknown preset: '<name>' (expected 'robust')" for any other name.
template <typename Arguments>
PresetSettings resolve_preset(const Arguments& a) {
  PresetSettings s{
      a.n_particles, a.max_iter,      a.w, a.c1, a.c2, a.bounds_handling, a.restart_patience,
      a.restart_tol, a.restart_spread};
  if (!a.preset) return s;
  if (*a.preset != "robust") {
    raise(PyExc_ValueError, "unknown preset: '" + *a.preset + "' (expected 'robust')");
  }
  const SwarmConfig defaults;  // the parameter tables' defaults
  bool budget = a.max_evals.has_value();
  if constexpr (requires { a.max_time; }) budget = budget || a.max_time.has_value();
  if (budget && s.max_iter == defaults.max_iter) {
    s.max_iter = std::numeric_limits<std::uint64_t>::max();
  }
  if (s.n_particles == defaults.n_particles) s.n_particles = RobustPreset::kParticles;
  if (s.w == defaults.w) s.w = RobustPreset::kW;
  if (s.c1 == defaults.c1) s.c1 = RobustPreset::kC;
  if (s.c2 == defaults.c2) s.c2 = RobustPreset::kC;
  if (s.bounds_handling == "clamp") s.bounds_handling = RobustPreset::kBoundsHandling;
  if (s.restart_patience == 0) s.restart_patience = RobustPreset::kRestartPatience;
  return s;
}

// Copies the settings into a run's configuration built from the same arguments. Fails with
// ValueError "restart_spread must be in (0, 1], got <value>" for a spread outside that range.
inline void apply_settings(SwarmConfig& config, const PresetSettings& s) {
  if (!(s.restart_spread > 0.0 && s.restart_spread <= 1.0)) {
    raise(PyExc_ValueError,
          "restart_spread must be in (0, 1], got " + format_number(s.restart_spread));
  }
  config.n_particles = s.n_particles;
  config.max_iter = s.max_iter;
  config.w = s.w;
  config.c1 = s.c1;
  config.c2 = s.c2;
  config.restart_patience = s.restart_patience;
  config.restart_tol = s.restart_tol;
  config.restart_spread = s.restart_spread;
}

}  // namespace corvalinth::py
