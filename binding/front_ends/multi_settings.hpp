// What the multi-objective front ends share: minimize_multi and MultiOptimizer declare the same
// settings with the same names, defaults and conversions, apply the same preset, check them in
// the same order through the one setup step, and build the same run and the same front.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/results/pareto_front.hpp"
#include "binding/runtime/errors.hpp"
#include "core/mopso/mopso.hpp"
#include "core/velocity/speed_constrained.hpp"

// The swarm settings of a multi-objective run, in signature order after `bounds`; KIND wraps each
// converter (`positional` or `keyword_only`).
#define CORVALINTH_MULTI_SWARM_PARAMETERS(P, KIND) \
  P(n_particles, KIND(with_default(to_u64, std::uint64_t{100}))) \
  P(max_iter, KIND(with_default(to_u64, std::uint64_t{100}))) \
  P(archive_size, KIND(with_default(to_u64, std::uint64_t{100}))) \
  P(w, KIND(with_default(to_f64, 0.729))) \
  P(c1, KIND(with_default(to_f64, 1.49445))) \
  P(c2, KIND(with_default(to_f64, 1.49445))) \
  P(velocity, KIND(with_default(to_str, "inertia"))) \
  P(seed, KIND(none_or(to_u64))) \
  P(integer, KIND(with_default(to_bool, false))) \
  P(binary, KIND(with_default(to_bool, false))) \
  P(var_types, KIND(none_or(to_str_list))) \
  P(mutation_rate, KIND(with_default(to_f64, 0.1))) \
  P(dim, KIND(none_or(to_usize))) \
  P(grid_divisions, KIND(none_or(to_u64))) \
  P(v_max, KIND(none_or(to_f64))) \
  P(bounds_handling, KIND(with_default(to_str, "clamp"))) \
  P(record_history, KIND(with_default(to_bool, true))) \
  /* the end of the multi-objective swarm parameters */

// The keyword-only start and search options that follow the budget.
#define CORVALINTH_MULTI_SEARCH_PARAMETERS(P) \
  P(x0, keyword_only(object_or_none())) \
  P(turbulence, keyword_only(with_default(to_str, "decaying"))) \
  P(archive_truncation, keyword_only(with_default(to_str, "crowding"))) \
  P(preset, keyword_only(none_or(to_str))) \
  /* the end of the multi-objective search parameters */

// The constraints of minimize_multi, keyword-only after the others. MultiOptimizer is told
// objective vectors only, so its table leaves them out.
#define CORVALINTH_MULTI_CONSTRAINT_PARAMETERS(P) \
  P(constraints, keyword_only(objects_or_none())) \
  P(equality_constraints, keyword_only(objects_or_none())) \
  P(equality_tol, keyword_only(with_default(to_f64, 1e-4))) \
  /* the end of the multi-objective constraint parameters */

// The keyword-only search options that follow every other parameter of both front ends.
#define CORVALINTH_MULTI_EVOLUTION_PARAMETERS(P) \
  P(crossover_share, keyword_only(with_default(to_f64, 0.0))) \
  P(swarm_selection, keyword_only(with_default(to_str, "none"))) \
  /* the end of the multi-objective evolution parameters */

// The kind of the archive's crossover child, the last parameter of both front ends.
#define CORVALINTH_MULTI_CROSSOVER_PARAMETER(P) \
  P(crossover, keyword_only(with_default(to_str, "sbx")))

namespace corvalinth::py {

inline constexpr std::string_view kSpeedConstrained = "speed_constrained";

Turbulence parse_turbulence(const std::string& name);
SwarmSelection parse_swarm_selection(const std::string& name);
ArchiveCrossover parse_crossover(const std::string& name);
DiversityStrategy parse_strategy(const std::string& truncation,
                                 std::optional<std::uint64_t> grid_divisions);

// preset="robust": every setting below that the call did not pass takes the preset's, and a
// budget without a given max_iter bounds the run alone (preset.hpp). Applied in place, for
// arguments that own what cannot be copied (minimize_multi's constraint lists).
template <typename Arguments, std::size_t Count>
void apply_multi_preset(Arguments& a, const std::array<Parameter, Count>& parameters) {
  if (!a.preset) return;
  require_robust(*a.preset);
  const auto left = [&](std::string_view name) { return left_out(a, parameters, name); };
  if (left("velocity")) a.velocity = kSpeedConstrained;
  if (left("w")) a.w = 0.4;
  if (left("turbulence")) a.turbulence = "polynomial";
  if (left("crossover_share")) a.crossover_share = 0.3;
  if (left("crossover")) a.crossover = "de";
  // The asynchronous form moves each particle as soon as its vector is back, so no iteration
  // leaves a swarm to choose from: the preset leaves the population step out there.
  bool asynchronous = false;
  if constexpr (requires { a.asynchronous; }) asynchronous = a.asynchronous;
  if (left("swarm_selection") && !asynchronous) a.swarm_selection = "nondominated";
  if (left("archive_truncation") && !a.grid_divisions) a.archive_truncation = "hypervolume";
  lift_iteration_limit(a, parameters);
}

// The arguments with apply_multi_preset's settings.
template <typename Arguments, std::size_t Count>
Arguments with_multi_preset(Arguments a, const std::array<Parameter, Count>& parameters) {
  apply_multi_preset(a, parameters);
  return a;
}

// The checked settings of a multi-objective run.
struct MultiSetup {
  SwarmSetup swarm;  // its rule is null for "speed_constrained", built per space (multi_rule)
  Turbulence turbulence = Turbulence::Decaying;
  DiversityStrategy strategy;
  SwarmSelection swarm_selection = SwarmSelection::None;
  ArchiveCrossover crossover = ArchiveCrossover::Sbx;
};

// Checks the settings (preset applied) in minimize_multi's order.
template <typename Arguments>
MultiSetup setup_multi(const Arguments& a) {
  if (a.velocity == "fips") {
    raise(PyExc_ValueError,
          "MOPSO needs a single-leader velocity ('inertia' or 'constriction'); 'fips' does not "
          "apply");
  }
  const auto check_archive_size = [&] {
    if (a.archive_size == 0) raise(PyExc_ValueError, "archive_size must be >= 1");
  };
  OwnChecks own;
  own.after_v_max = check_archive_size;
  own.rule_before_bounds_policy = true;
  own.var_types_message_names_lengths = false;
  own.rule_built_per_space = kSpeedConstrained;
  MultiSetup setup;
  setup.swarm = setup_swarm(a, own);
  setup.turbulence = parse_turbulence(a.turbulence);
  if constexpr (requires { a.equality_tol; }) check_equality_tol(a.equality_tol);
  setup.strategy = parse_strategy(a.archive_truncation, a.grid_divisions);
  if (!(a.crossover_share >= 0.0 && a.crossover_share <= 1.0)) {
    raise(PyExc_ValueError, "crossover_share must be in [0, 1]");
  }
  setup.swarm_selection = parse_swarm_selection(a.swarm_selection);
  setup.crossover = parse_crossover(a.crossover);
  return setup;
}

template <typename Arguments>
MopsoConfig mopso_config(const Arguments& a, const MultiSetup& setup, std::vector<double> start) {
  return MopsoConfig{
      .seed = a.seed,
      .strategy = setup.strategy,
      .v_max = a.v_max,
      .n_particles = a.n_particles,
      .max_iter = a.max_iter,
      .archive_size = a.archive_size,
      .mutation_rate = a.mutation_rate,
      .turbulence = setup.turbulence,
      .record_history = a.record_history,
      .bounds_handling = setup.swarm.bounds_handling,
      .max_evals = a.max_evals,
      .max_time = setup.swarm.max_time,
      .initial_positions = std::move(start),
      .crossover_share = a.crossover_share,
      .swarm_selection = setup.swarm_selection,
      .crossover = setup.crossover,
  };
}

// The run's velocity rule: the one the setup built, or the speed limits derived from the space's
// own box.
template <typename Space>
std::unique_ptr<VelocityRule> multi_rule(MultiSetup& setup, double w, const Space& space) {
  if (setup.swarm.rule) return std::move(setup.swarm.rule);
  return std::make_unique<SpeedConstrainedRule>(w, space.bounds());
}

// The ParetoFront of a run's result, with the record of its evaluations (empty unless kept) and
// the NamedSpace of named parameters (null without).
template <typename Element>
PyRef new_front(MopsoResult<Element>&& result, const MopsoConfig& config, std::size_t dim,
                EvaluationLog& log, PyObject* parameter_space) {
  ParetoFrontData data;
  data.evaluation_log = std::move(log);
  data.parameter_space = PyRef::borrow(parameter_space);
  data.positions.reserve(result.members.size());
  data.objectives.reserve(result.members.size());
  data.violations.reserve(result.members.size());
  for (auto& member : result.members) {
    data.positions.emplace_back(member.position.begin(), member.position.end());
    data.objectives.push_back(std::move(member.objectives));
    data.violations.push_back(member.violation);
  }
  data.swarm_history = std::move(result.swarm_history);
  data.front_history = std::move(result.front_history);
  // An unrecorded swarm history still has the run's shape: no iterations of n x dim.
  if (!config.record_history) {
    data.swarm_history = History::restored(config.n_particles, dim, 0, {});
  }
  data.iterations = result.iterations;
  data.evaluations = result.evaluations;
  data.stop_reason = result.stop_reason;
  return new_pareto_front(std::move(data));
}

}  // namespace corvalinth::py
