#include "binding/front_ends/minimize.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
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
  CORVALINTH_SWARM_PARAMETERS(P, positional) \
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
  CORVALINTH_RESTART_PARAMETERS(P) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_PARAMETERS)

template <typename Space>
using NativeFor =
    std::conditional_t<kIntegerPoints<Space>, NativeIntegerObjective, NativeObjective>;

// The native objective a benchmark name stands for.
template <typename Space>
NativeFor<Space> native_objective(const Arguments& a) {
  const std::string name = to_str(a.objective);
  const BenchmarkInfo* benchmark = find_benchmark(name);
  if (benchmark == nullptr) {
    raise(PyExc_KeyError, "unknown native benchmark: '" + name + "'. Available: " +
                              benchmark_names());
  }
  if (a.vectorized) {
    raise(PyExc_ValueError,
          "vectorized=True requires a Python objective callable, not a native benchmark");
  }
  return NativeFor<Space>{benchmark->function};
}

template <typename Space>
RunResult<typename Space::Element> run_in(const Arguments& a, const SwarmSetup& setup,
                                          const SwarmConfig& config, const Space& space) {
  using Result = RunResult<typename Space::Element>;
  if (is_str(a.objective)) {
    auto objective = native_objective<Space>(a);
    const auto body = [&](ErrorSlot& slot, IterationCallback* watcher) -> Result {
      return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                 &slot.stop_token());
    };
    return guarded_run<PythonCallback>(a.callback, true, body);
  }
  if (a.vectorized &&
      (!a.constraints.empty() || a.repair != nullptr || !a.equality_constraints.empty())) {
    raise(PyExc_ValueError,
          "vectorized=True does not support constraints, equality_constraints or repair yet");
  }
  return guarded_run<PythonCallback>(
      a.callback, false, [&](ErrorSlot& slot, IterationCallback* watcher) -> Result {
        if (a.vectorized) {
          PythonBatchObjective objective(a.objective, slot);
          return run_batch(config, space, *setup.rule, *setup.topology, objective, watcher,
                           &slot.stop_token());
        }
        const PointCallables callables{a.objective, a.repair, a.constraints, a.equality_constraints,
                                       a.penalty};
        PythonPointObjective objective(callables, slot);
        return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                   &slot.stop_token());
      });
}

// The repair operator applied once more to the reported best position, so that the position
// matches the point whose value was reported. In integer spaces the objective saw the repaired
// values truncated toward zero, so the reported position is truncated the same way.
template <typename Space>
std::vector<double> repaired_best_position(PyObject* repair,
                                           const std::vector<typename Space::Element>& best) {
  const PyRef argument = new_point_list(best);
  const PyRef answer = call_one(repair, argument.get());
  std::vector<double> values = to_f64_list(answer.get());
  if constexpr (kIntegerPoints<Space>) {
    for (double& value : values) value = static_cast<double>(saturating_i64(value));
  }
  return values;
}

PyRef minimize_with(const Arguments& a) {
  const auto refuse_extras_of_a_native_objective = [&] {
    if (is_str(a.objective) &&
        (!a.constraints.empty() || !a.equality_constraints.empty() || a.repair != nullptr)) {
      raise(PyExc_ValueError,
            "constraints, equality_constraints and repair require a Python objective callable, "
            "not a native benchmark name; pass a function as the objective");
    }
  };
  const SwarmSetup setup = setup_swarm(a, {.before_space = refuse_extras_of_a_native_objective});
  return visit_space_with_start(a, setup, [&](const auto& space, std::vector<double> start) {
    using Space = std::decay_t<decltype(space)>;
    const SwarmConfig config = swarm_config(a, setup, std::move(start));
    RunResult<typename Space::Element> result = run_in(a, setup, config, space);
    std::vector<double> repaired;
    if (a.repair != nullptr)
      repaired = repaired_best_position<Space>(a.repair, result.best_position);
    PsoResultData data = pso_result_data(std::move(result),
                                         static_cast<std::size_t>(config.n_particles), space.dim());
    if (a.repair != nullptr) data.best_position = std::move(repaired);
    return new_pso_result(std::move(data));
  });
}

}  // namespace

PyObject* minimize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize", kParameters, converted_with_preset<convert_arguments>,
                        minimize_with, args, nargs, kwnames);
}

}  // namespace corvalinth::py
