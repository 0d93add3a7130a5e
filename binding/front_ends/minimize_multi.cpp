#include "binding/front_ends/minimize_multi.hpp"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "binding/adapters/multi_adapter.hpp"
#include "binding/adapters/multi_constraints.hpp"
#include "binding/adapters/recording.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/extra_arguments.hpp"
#include "binding/arguments/named_parameters.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/results/pareto_front.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
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
  P(args, keyword_only(extra_arguments())) \
  P(record_evaluations, keyword_only(with_default(to_bool, false))) \
  P(constraints, keyword_only(objects_or_none())) \
  P(equality_constraints, keyword_only(objects_or_none())) \
  P(equality_tol, keyword_only(with_default(to_f64, 1e-4))) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_MULTI_PARAMETERS)

constexpr const char* kSpeedConstrained = "speed_constrained";

// preset="robust": every setting below that the call did not pass takes the preset's, and a
// budget without a given max_iter bounds the run alone (preset.hpp). Applied to the converted
// (and named) arguments in place: they own the constraint lists, which are not copied.
Arguments converted_with_multi_preset(std::span<PyObject* const> given) {
  Arguments a = converted_with_names<convert_arguments>(given);
  if (!a.preset) return a;
  require_robust(*a.preset);
  const auto left = [&a](std::string_view name) { return left_out(a, kParameters, name); };
  if (left("velocity")) a.velocity = kSpeedConstrained;
  if (left("w")) a.w = 0.4;
  if (left("turbulence")) a.turbulence = "polynomial";
  if (left("archive_truncation") && !a.grid_divisions) a.archive_truncation = "hypervolume";
  lift_iteration_limit(a, kParameters);
  return a;
}

Turbulence parse_turbulence(const std::string& name) {
  if (name == "decaying") return Turbulence::Decaying;
  if (name == "polynomial") return Turbulence::Polynomial;
  raise(PyExc_ValueError, "unknown turbulence: '" + name + "'. Available: decaying, polynomial");
}

DiversityStrategy parse_strategy(const std::string& truncation,
                                 std::optional<std::uint64_t> grid_divisions) {
  if (truncation == "hypervolume") {
    if (grid_divisions) {
      raise(PyExc_ValueError,
            "archive_truncation='hypervolume' cannot be combined with grid_divisions");
    }
    return LeastContribution{};
  }
  if (truncation != "crowding") {
    raise(PyExc_ValueError,
          "unknown archive_truncation: '" + truncation + "'. Available: crowding, hypervolume");
  }
  return grid_divisions ? DiversityStrategy{Grid{*grid_divisions}} : DiversityStrategy{Crowding{}};
}

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

template <typename Space>
PyRef run_in(const MopsoConfig& config, const Space& space, const VelocityRule& rule,
             const Arguments& a) {
  using Result = MopsoResult<typename Space::Element>;
  const PyRef objective_callable = with_extra_arguments(a.objective, a.args);
  EvaluationLog log;
  // What the exception that ends the run carries: the front so far.
  const auto partial = [&](Result&& so_far) {
    return new_front(std::move(so_far), config, space.dim(), log, named_space_of(a));
  };
  const FrontConstraints constraints{
      {.constraints = a.constraints, .equality_constraints = a.equality_constraints},
      a.equality_tol};
  Result result = guarded_run<PythonFrontCallback>(
      a.callback, false,
      [&](ErrorSlot& slot, FrontCallback* watcher) -> Result {
        if (a.vectorized) {
          PythonMultiBatchObjective batch(objective_callable.get(), slot);
          const auto run_batch_form = [&](auto& objective) {
            return run_mopso_batch(config, space, rule, objective, watcher, &slot.stop_token());
          };
          if (constraints.any()) {
            ConstrainedMatrixObjective constrained(batch, constraints, slot);
            return recorded_if<RecordingVectorObjective>(a.record_evaluations, constrained, log,
                                                         slot, run_batch_form);
          }
          return recorded_if<RecordingVectorObjective>(a.record_evaluations, batch, log, slot,
                                                       run_batch_form);
        }
        PythonMultiObjective point(objective_callable.get(), slot);
        const auto run_point_form = [&](auto& objective) {
          return run_mopso(config, space, rule, objective, watcher, &slot.stop_token());
        };
        if (constraints.any()) {
          ConstrainedVectorObjective constrained(point, constraints, slot);
          return recorded_if<RecordingVectorObjective>(a.record_evaluations, constrained, log, slot,
                                                       run_point_form);
        }
        return recorded_if<RecordingVectorObjective>(a.record_evaluations, point, log, slot,
                                                     run_point_form);
      },
      partial);
  return new_front(std::move(result), config, space.dim(), log, named_space_of(a));
}

PyRef minimize_multi_with(const Arguments& a) {
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
  const SwarmSetup setup = setup_swarm(a, own);
  const Turbulence turbulence = parse_turbulence(a.turbulence);
  check_equality_tol(a.equality_tol);
  const DiversityStrategy strategy = parse_strategy(a.archive_truncation, a.grid_divisions);
  return visit_space_with_start(a, setup, [&](const auto& space, std::vector<double> start) {
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
        .bounds_handling = setup.bounds_handling,
        .max_evals = a.max_evals,
        .max_time = setup.max_time,
        .initial_positions = std::move(start),
    };
    if (setup.rule) return run_in(config, space, *setup.rule, a);
    // The speed limits derive from the space's own box.
    return run_in(config, space, SpeedConstrainedRule(a.w, space.bounds()), a);
  });
}

}  // namespace

PyObject* minimize_multi(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize_multi", kParameters, converted_with_multi_preset,
                        minimize_multi_with, args, nargs, kwnames);
}

}  // namespace corvalinth::py
