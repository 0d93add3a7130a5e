// The settings of a single-objective swarm run that `minimize` and `minimize_grey` share: their
// run of parameters from n_particles to tol, and the fill of the run's configuration.
#pragma once

#include <optional>

#include "binding/arguments/parameter_table.hpp"
#include "core/duration.hpp"
#include "core/records.hpp"

// The parameters n_particles to tol, in signature order, as lines of a parameter table.
#define CORVALINTH_SWARM_PARAMETERS(P) \
  P(n_particles, with_default(to_u64, std::uint64_t{30})) \
  P(max_iter, with_default(to_u64, std::uint64_t{100})) \
  P(w, with_default(to_f64, 0.729)) \
  P(c1, with_default(to_f64, 1.49445)) \
  P(c2, with_default(to_f64, 1.49445)) \
  P(velocity, with_default(to_str, "inertia")) \
  P(topology, with_default(to_str, "global")) \
  P(seed, none_or(to_u64)) \
  P(record_history, with_default(to_bool, true)) \
  P(v_max, none_or(to_f64)) \
  P(patience, with_default(to_u64, std::uint64_t{0})) \
  P(tol, with_default(to_f64, 0.0)) \
  /* the end of the swarm parameters */

namespace corvalinth::py {

// The run's configuration from converted arguments that hold the swarm parameters and
// max_evals, target; `max_time` is the parsed time budget. The out-of-bounds policy keeps its
// default: the caller sets it where the space reads it.
template <typename Arguments>
SwarmConfig swarm_config(const Arguments& a, std::optional<Duration> max_time) {
  return SwarmConfig{
      .n_particles = a.n_particles,
      .max_iter = a.max_iter,
      .w = a.w,
      .c1 = a.c1,
      .c2 = a.c2,
      .seed = a.seed,
      .record_history = a.record_history,
      .v_max = a.v_max,
      .patience = a.patience,
      .tol = a.tol,
      .max_evals = a.max_evals,
      .target = a.target,
      .max_time = max_time,
      .bounds_handling = BoundsHandling::Clamp,
      .initial_positions = {},
  };
}

}  // namespace corvalinth::py
