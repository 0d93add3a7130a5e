#include "binding/front_ends/minimize_multi.hpp"

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/adapters/multi_adapter.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/results/pareto_front.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/runtime/signal_poller.hpp"
#include "binding/arguments/warm_start.hpp"
#include "core/mopso/mopso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"
#include "core/velocity/speed_constrained.hpp"

namespace corvalinth::py {
namespace {

// The signature of minimize_multi, in order; a new keyword-only parameter
// is one line above the end.
#define CORVALINTH_MINIMIZE_MULTI_PARAMETERS(P) \
  P(objective, required()) \
  P(bounds, required()) \
  P(n_particles, with_default(to_u64, std::uint64_t{100})) \
  P(max_iter, with_default(to_u64, std::uint64_t{100})) \
  P(archive_size, with_default(to_u64, std::uint64_t{100})) \
  P(w, with_default(to_f64, 0.729)) \
  P(c1, with_default(to_f64, 1.49445)) \
  P(c2, with_default(to_f64, 1.49445)) \
  P(velocity, with_default(to_str, "inertia")) \
  P(seed, none_or(to_u64)) \
  P(integer, with_default(to_bool, false)) \
  P(binary, with_default(to_bool, false)) \
  P(var_types, none_or(to_str_list)) \
  P(mutation_rate, with_default(to_f64, 0.1)) \
  P(dim, none_or(to_usize)) \
  P(grid_divisions, none_or(to_u64)) \
  P(v_max, none_or(to_f64)) \
  P(bounds_handling, with_default(to_str, "clamp")) \
  P(record_history, with_default(to_bool, true)) \
  P(vectorized, keyword_only(with_default(to_bool, false))) \
  P(callback, keyword_only(object_or_none())) \
  P(max_evals, keyword_only(none_or(to_u64))) \
  P(max_time, keyword_only(none_or(to_f64))) \
  P(x0, keyword_only(object_or_none())) \
  P(turbulence, keyword_only(with_default(to_str, "decaying"))) \
  P(archive_truncation, keyword_only(with_default(to_str, "crowding"))) \
  P(preset, keyword_only(none_or(to_str))) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_MULTI_PARAMETERS)

constexpr const char* kSpeedConstrained = "speed_constrained";

// preset="robust": every setting below that the call did not pass takes the preset's, and a run
// bounded by max_evals or max_time without a given max_iter has no iteration limit.
Arguments with_preset(Arguments a) {
  if (!a.preset) return a;
  if (*a.preset != "robust") {
    raise(PyExc_ValueError, "unknown preset: '" + *a.preset + "'. Available: robust");
  }
  const auto left = [&a](std::string_view name) { return !was_given(a, kParameters, name); };
  if (left("velocity")) a.velocity = kSpeedConstrained;
  if (left("w")) a.w = 0.4;
  if (left("turbulence")) a.turbulence = "polynomial";
  if (left("archive_truncation") && !a.grid_divisions) a.archive_truncation = "hypervolume";
  if (left("max_iter") && (a.max_evals || a.max_time)) {
    a.max_iter = std::numeric_limits<std::uint64_t>::max();
  }
  return a;
}

Turbulence parse_turbulence(const std::string& name) {
  if (name == "decaying") return Turbulence::Decaying;
  if (name == "polynomial") return Turbulence::Polynomial;
  raise(PyExc_ValueError,
        "unknown turbulence: '" + name + "'. Available: decaying, polynomial");
}

DiversityStrategy parse_strategy(const std::string& truncation,
                                 std::optional<std::uint64_t> grid_divisions) {
  if (truncation == "hypervolume") {
    if (grid_divisions) {
      raise(PyExc_ValueError, "archive_truncation='hypervolume' cannot be combined with "
                              "grid_divisions");
    }
    return LeastContribution{};
  }
  if (truncation != "crowding") {
    raise(PyExc_ValueError,
          "unknown archive_truncation: '" + truncation + "'. Available: crowding, hypervolume");
  }
  return grid_divisions ? DiversityStrategy{Grid{*grid_divisions}} : DiversityStrategy{Crowding{}};
}

template <typename Space>
MopsoResult<typename Space::Element> run_python(const MopsoConfig& config, const Space& space,
                                                const VelocityRule& rule, const Arguments& a,
                                                ErrorSlot& slot) {
  std::optional<PythonFrontCallback> callback;
  if (a.callback != nullptr) callback.emplace(a.callback, slot);
  FrontCallback* watcher = callback ? &*callback : nullptr;
  if (a.vectorized) {
    PythonMultiBatchObjective objective(a.objective, slot);
    return run_mopso_batch(config, space, rule, objective, watcher, &slot.stop_token());
  }
  PythonMultiObjective objective(a.objective, slot);
  return run_mopso(config, space, rule, objective, watcher, &slot.stop_token());
}

template <typename Space>
PyRef run_in_space(MopsoConfig config, const Space& space, const VelocityRule& rule,
                   const Arguments& a) {
  if (a.x0 != nullptr) {
    config.initial_positions = warm_start_positions(a.x0, space.bounds(), config.n_particles);
  }
  ErrorSlot slot;
  const SignalPoller poller(slot);
  MopsoResult<typename Space::Element> result = run_python(config, space, rule, a, slot);
  slot.raise_if_held();
  ParetoFrontData data;
  data.positions.reserve(result.members.size());
  data.objectives.reserve(result.members.size());
  for (auto& member : result.members) {
    data.positions.emplace_back(member.position.begin(), member.position.end());
    data.objectives.push_back(std::move(member.objectives));
  }
  data.swarm_history = std::move(result.swarm_history);
  data.front_history = std::move(result.front_history);
  // An unrecorded swarm history still has the run's shape: no iterations of n x dim.
  if (!config.record_history) {
    data.swarm_history = History::restored(config.n_particles, space.dim(), 0, {});
  }
  data.iterations = result.iterations;
  data.evaluations = result.evaluations;
  data.stop_reason = result.stop_reason;
  return new_pareto_front(std::move(data));
}

PyRef minimize_multi_with(const Arguments& given) {
  const Arguments a = with_preset(given);
  if (a.velocity == "fips") {
    raise(PyExc_ValueError,
          "MOPSO needs a single-leader velocity ('inertia' or 'constriction'); 'fips' does not "
          "apply");
  }
  const Bounds bounds = parse_bounds(a.bounds, a.dim);
  if (a.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  if (a.archive_size == 0) raise(PyExc_ValueError, "archive_size must be >= 1");
  const bool speed_constrained = a.velocity == kSpeedConstrained;
  const std::unique_ptr<VelocityRule> rule =
      speed_constrained ? nullptr : parse_velocity(a.velocity, a.w, a.c1, a.c2);
  const BoundsHandling handling = parse_bounds_handling(a.bounds_handling);
  const std::optional<Duration> max_time = parse_max_time(a.max_time);
  const Turbulence turbulence = parse_turbulence(a.turbulence);
  const DiversityStrategy strategy = parse_strategy(a.archive_truncation, a.grid_divisions);

  const MopsoConfig config{
      .seed = a.seed,
      .strategy = strategy,
      .v_max = a.v_max,
      .n_particles = a.n_particles,
      .max_iter = a.max_iter,
      .archive_size = a.archive_size,
      .mutation_rate = a.mutation_rate,
      .turbulence = turbulence,
      .record_history = a.record_history,
      .bounds_handling = handling,
      .max_evals = a.max_evals,
      .max_time = max_time,
      .initial_positions = {},
  };

  if (a.var_types) {
    if (a.var_types->size() != bounds.size()) {
      raise(PyExc_ValueError, "var_types length must match bounds");
    }
  }
  return visit_space(bounds, a.var_types, a.binary, a.integer, [&](const auto& space) {
    if (!speed_constrained) return run_in_space(config, space, *rule, a);
    // The speed limits derive from the space's own box.
    const SpeedConstrainedRule speed_rule(a.w, space.bounds());
    return run_in_space(config, space, speed_rule, a);
  });
}

}  // namespace

PyObject* minimize_multi(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize_multi", kParameters, convert_arguments, minimize_multi_with, args,
                        nargs, kwnames);
}

}  // namespace corvalinth::py
