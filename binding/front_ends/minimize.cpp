#include "binding/front_ends/minimize.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/interpreter_lock.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/runtime/signal_poller.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/arguments/warm_start.hpp"
#include "core/benchmarks.hpp"
#include "core/pso.hpp"
#include "core/spaces/continuous.hpp"
#include "core/spaces/integer.hpp"
#include "core/spaces/mixed.hpp"

namespace corvalinth::py {
namespace {

// The signature of minimize, in order; a new keyword-only parameter
// is one line above the end.
#define CORVALINTH_MINIMIZE_PARAMETERS(P) \
  P(objective, required()) \
  P(bounds, required()) \
  P(integer, with_default(to_bool, false)) \
  CORVALINTH_SWARM_PARAMETERS(P) \
  P(constraints, objects_or_none()) \
  P(penalty, with_default(to_f64, 1e6)) \
  P(binary, with_default(to_bool, false)) \
  P(max_evals, none_or(to_u64)) \
  P(target, none_or(to_f64)) \
  P(max_time, none_or(to_f64)) \
  P(callback, object_or_none()) \
  P(bounds_handling, with_default(to_str, "clamp")) \
  P(vectorized, with_default(to_bool, false)) \
  P(var_types, none_or(to_str_list)) \
  P(dim, none_or(to_usize)) \
  P(equality_constraints, objects_or_none()) \
  P(repair, object_or_none()) \
  P(x0, keyword_only(object_or_none())) \
  P(restart_patience, keyword_only(with_default(to_u64, std::uint64_t{0}))) \
  P(restart_tol, keyword_only(with_default(to_f64, 0.0))) \
  P(restart_spread, keyword_only(with_default(to_f64, 1.0))) \
  P(preset, keyword_only(none_or(to_str))) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_PARAMETERS)

// Everything validated and built before the run.
struct Plan {
  const Arguments& args;
  SwarmConfig config;
  std::unique_ptr<VelocityRule> rule;
  std::unique_ptr<Topology> topology;
  std::optional<std::string> benchmark_name;  // set for a native objective
};

template <typename Space>
constexpr bool kIntegerArgs = std::is_same_v<typename Space::Element, std::int64_t>;

template <typename Space>
using NativeFor = std::conditional_t<kIntegerArgs<Space>, NativeIntegerObjective, NativeObjective>;

template <typename Space>
RunResult<typename Space::Element> run_native(const Plan& plan, const Space& space,
                                              ErrorSlot& slot) {
  const std::string& name = *plan.benchmark_name;
  const BenchmarkInfo* benchmark = find_benchmark(name);
  if (benchmark == nullptr) {
    raise(PyExc_KeyError, "unknown native benchmark: '" + name + "'. Available: " +
                              benchmark_names());
  }
  if (plan.args.vectorized) {
    raise(PyExc_ValueError,
          "vectorized=True requires a Python objective callable, not a native benchmark");
  }
  NativeFor<Space> objective{benchmark->function};
  if (plan.args.callback != nullptr) {
    PythonCallback callback(plan.args.callback, slot);
    return run(plan.config, space, *plan.rule, *plan.topology, objective, &callback,
               &slot.stop_token());
  }
  // No Python code can run: other threads may use the interpreter meanwhile.
  const ReleasedInterpreterLock unlocked;
  return run(plan.config, space, *plan.rule, *plan.topology, objective, nullptr,
             &slot.stop_token());
}

template <typename Space>
RunResult<typename Space::Element> run_python(const Plan& plan, const Space& space,
                                              ErrorSlot& slot) {
  const Arguments& a = plan.args;
  if (a.vectorized) {
    if (!a.constraints.empty() || a.repair != nullptr || !a.equality_constraints.empty()) {
      raise(PyExc_ValueError,
            "vectorized=True does not support constraints, equality_constraints or repair yet");
    }
    PythonBatchObjective objective(a.objective, slot);
    if (a.callback != nullptr) {
      PythonCallback callback(a.callback, slot);
      return run_batch(plan.config, space, *plan.rule, *plan.topology, objective, &callback,
                       &slot.stop_token());
    }
    return run_batch(plan.config, space, *plan.rule, *plan.topology, objective, nullptr,
                     &slot.stop_token());
  }
  const PointCallables callables{a.objective, a.repair, a.constraints, a.equality_constraints,
                                 a.penalty};
  PythonPointObjective objective(callables, slot);
  if (a.callback != nullptr) {
    PythonCallback callback(a.callback, slot);
    return run(plan.config, space, *plan.rule, *plan.topology, objective, &callback,
               &slot.stop_token());
  }
  return run(plan.config, space, *plan.rule, *plan.topology, objective, nullptr,
             &slot.stop_token());
}

// The repair operator applied once more to the reported best position, so that the position
// matches the point whose value was reported. In integer spaces the objective saw the repaired
// values truncated toward zero, so the reported position is truncated the same way.
template <typename Space>
std::vector<double> repaired_best_position(PyObject* repair,
                                           const std::vector<typename Space::Element>& best) {
  PyRef argument;
  if constexpr (kIntegerArgs<Space>) {
    argument = new_int_list(best);
  } else {
    argument = new_float_list(best);
  }
  const PyRef answer = call_one(repair, argument.get());
  if (!answer) throw PythonErrorSet{};
  std::vector<double> values = to_f64_list(answer.get());
  if constexpr (kIntegerArgs<Space>) {
    for (double& value : values) value = static_cast<double>(saturating_i64(value));
  }
  return values;
}

template <typename Space>
PyRef run_in_space(const Plan& plan, const Space& space) {
  ErrorSlot slot;
  const SignalPoller poller(slot);
  RunResult<typename Space::Element> result =
      plan.benchmark_name ? run_native(plan, space, slot) : run_python(plan, space, slot);
  slot.raise_if_held();

  std::vector<double> repaired;
  if (plan.args.repair != nullptr) {
    repaired = repaired_best_position<Space>(plan.args.repair, result.best_position);
  }
  PsoResultData data =
      pso_result_data(std::move(result), static_cast<std::size_t>(plan.config.n_particles),
                      space.dim());
  if (plan.args.repair != nullptr) data.best_position = std::move(repaired);
  return new_pso_result(std::move(data));
}

PyRef minimize_with(const Arguments& a) {
  const PresetSettings settings = resolve_preset(a);
  const Bounds bounds = parse_bounds(a.bounds, a.dim);
  if (settings.n_particles == 0) raise(PyExc_ValueError, "n_particles must be >= 1");
  check_v_max(a.v_max);
  const std::optional<Duration> max_time = parse_max_time(a.max_time);
  const BoundsHandling handling = parse_bounds_handling(settings.bounds_handling);

  Plan plan{a, {}, parse_velocity(a.velocity, settings.w, settings.c1, settings.c2),
            parse_topology(a.topology, settings.n_particles, a.seed), std::nullopt};
  if (is_str(a.objective)) {
    plan.benchmark_name = to_str(a.objective);
    if (!a.constraints.empty() || !a.equality_constraints.empty() || a.repair != nullptr) {
      raise(PyExc_ValueError,
            "constraints, equality_constraints and repair require a Python objective callable, "
            "not a native benchmark name; pass a function as the objective");
    }
  }

  plan.config = swarm_config(a, max_time);
  plan.config.bounds_handling = handling;
  apply_settings(plan.config, settings);

  if (a.var_types) {
    if (a.var_types->size() != bounds.size()) {
      raise(PyExc_ValueError, "var_types has length " + std::to_string(a.var_types->size()) +
                                  " but bounds has length " + std::to_string(bounds.size()));
    }
  }
  return visit_space(bounds, a.var_types, a.binary, a.integer, [&](const auto& space) {
    if (a.x0 != nullptr) {
      plan.config.initial_positions =
          warm_start_positions(a.x0, space.bounds(), settings.n_particles);
    }
    return run_in_space(plan, space);
  });
}

}  // namespace

PyObject* minimize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize", kParameters, convert_arguments, minimize_with, args, nargs,
                        kwnames);
}

}  // namespace corvalinth::py
