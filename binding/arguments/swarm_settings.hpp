// The settings every swarm front end shares (`minimize`, `minimize_multi`, `minimize_grey` and
// `Optimizer`): the run of parameters from n_particles to tol, the one setup step that checks and
// builds the shared settings, and the fill of the run's configuration.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments/local_search.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/warm_start.hpp"
#include "binding/runtime/errors.hpp"
#include "core/contracts.hpp"
#include "core/duration.hpp"
#include "core/failure.hpp"
#include "core/records.hpp"

// The parameters n_particles to tol, in signature order, as lines of a parameter table; `KIND`
// wraps each converter (`positional` or `keyword_only`).
#define CORVALINTH_SWARM_PARAMETERS(P, KIND) \
  P(n_particles, KIND(with_default(to_u64, std::uint64_t{30}))) \
  P(max_iter, KIND(with_default(to_u64, std::uint64_t{100}))) \
  P(w, KIND(with_default(to_f64, 0.729))) \
  P(c1, KIND(with_default(to_f64, 1.49445))) \
  P(c2, KIND(with_default(to_f64, 1.49445))) \
  P(velocity, KIND(with_default(to_str, "inertia"))) \
  P(topology, KIND(with_default(to_str, "global"))) \
  P(seed, KIND(none_or(to_u64))) \
  P(record_history, KIND(with_default(to_bool, true))) \
  P(v_max, KIND(none_or(to_f64))) \
  P(patience, KIND(with_default(to_u64, std::uint64_t{0}))) \
  P(tol, KIND(with_default(to_f64, 0.0))) \
  /* the end of the swarm parameters */

namespace corvalinth::py {

// The shared settings, checked and built.
struct SwarmSetup {
  Bounds bounds;
  std::unique_ptr<VelocityRule> rule;  // null for a rule the front end builds per space
  std::unique_ptr<Topology> topology;  // null for a front end without a topology parameter
  BoundsHandling bounds_handling = BoundsHandling::Clamp;
  std::optional<Duration> max_time;
  LocalSearch local_search = LocalSearch::None;
};

// Where a front end's own checks go among the shared ones, in the order its signature's
// documentation fixes.
struct OwnChecks {
  std::function<void(const Bounds&)> after_bounds;  // minimize_grey: the spread caps
  std::function<void()> after_v_max;                // minimize_multi: the archive size
  std::function<void()> before_space;               // minimize: a native name refuses constraints
  bool rule_before_bounds_policy = false;           // minimize_multi
  // minimize_multi's mismatch message names no lengths.
  bool var_types_message_names_lengths = true;
  // minimize_multi: the velocity the front end builds from the space's box ("speed_constrained");
  // when the call names it, `SwarmSetup::rule` stays null.
  std::string_view rule_built_per_space;
};

// The one setup step. Checks and builds, in this order: bounds, the swarm size, v_max, the time
// budget, the bounds policy, the velocity rule, the topology, the restart spread, the local
// search, the number of variable types. Parameters a front end does not have (`max_time`,
// `bounds_handling`, `topology`, `restart_spread`, `local_search`, `var_types`) are skipped; `own`
// places the front end's own checks. A preset is applied to the arguments before this step
// (preset.hpp).
template <typename Arguments>
SwarmSetup setup_swarm(const Arguments& a, const OwnChecks& own = {}) {
  SwarmSetup setup;
  setup.bounds = parse_bounds(a.bounds, a.dim);
  if (own.after_bounds) own.after_bounds(setup.bounds);
  if (a.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  if (own.after_v_max) own.after_v_max();
  if constexpr (requires { a.max_time; }) setup.max_time = parse_max_time(a.max_time);
  const auto read_rule = [&] {
    if (own.rule_built_per_space.empty() || a.velocity != own.rule_built_per_space) {
      setup.rule = parse_velocity(a.velocity, a.w, a.c1, a.c2);
    }
  };
  if (own.rule_before_bounds_policy) read_rule();
  if constexpr (requires { a.bounds_handling; }) {
    setup.bounds_handling = parse_bounds_handling(a.bounds_handling);
  }
  if (!own.rule_before_bounds_policy) read_rule();
  if constexpr (requires { a.topology; }) {
    setup.topology = parse_topology(a.topology, a.n_particles, a.seed);
  }
  if (own.before_space) own.before_space();
  if constexpr (requires { a.restart_spread; }) {
    if (!(a.restart_spread > 0.0 && a.restart_spread <= 1.0)) {
      raise(PyExc_ValueError,
            "restart_spread must be in (0, 1], got " + format_number(a.restart_spread));
    }
  }
  if constexpr (requires { a.local_search; }) {
    setup.local_search = parse_local_search(a.local_search, a.local_search_share);
  }
  if constexpr (requires { a.var_types; }) {
    const std::size_t types = a.var_types ? a.var_types->size() : setup.bounds.size();
    if (types != setup.bounds.size() && own.var_types_message_names_lengths) {
      raise(PyExc_ValueError, "var_types has length " + std::to_string(types) +
                                  " but bounds has length " + std::to_string(setup.bounds.size()));
    }
    if (types != setup.bounds.size()) raise(PyExc_ValueError, "var_types length must match bounds");
  }
  return setup;
}

// Builds the search space the arguments and the setup choose (see `visit_space`) and the warm
// start's positions in it (empty without x0); returns `visit(space, initial_positions)`.
template <typename Arguments, typename Visit>
auto visit_space_with_start(const Arguments& a, const SwarmSetup& setup, Visit&& visit) {
  return visit_space(setup.bounds, a.var_types, a.binary, a.integer, [&](auto space) {
    std::vector<double> start;
    if (a.x0 != nullptr) start = warm_start_positions(a.x0, space.bounds(), a.n_particles);
    return visit(std::move(space), std::move(start));
  });
}

// The single-objective run's configuration from converted arguments that hold the swarm
// parameters, max_evals and target (and the restart parameters where the front end has them),
// and from the setup.
template <typename Arguments>
SwarmConfig swarm_config(const Arguments& a, const SwarmSetup& setup,
                         std::vector<double> initial_positions) {
  SwarmConfig config{
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
      .max_time = setup.max_time,
      .bounds_handling = setup.bounds_handling,
      .initial_positions = std::move(initial_positions),
  };
  if constexpr (requires { a.restart_patience; }) {
    config.restart_patience = a.restart_patience;
    config.restart_tol = a.restart_tol;
    config.restart_spread = a.restart_spread;
  }
  if constexpr (requires { a.local_search; }) {
    config.local_search = setup.local_search;
    config.local_search_share = a.local_search_share;
  }
  return config;
}

}  // namespace corvalinth::py
