#include "binding/front_ends/minimize.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/adapters/recording.hpp"
#include "binding/adapters/violation_report.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/extra_arguments.hpp"
#include "binding/arguments/local_search.hpp"
#include "binding/arguments/named_parameters.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/preset.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/results/pso_result.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
#include "binding/runtime/numpy_api.hpp"
#include "core/benchmarks.hpp"
#include "core/numeric.hpp"
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
  P(equality_tol, keyword_only(with_default(to_f64, 1e-4))) \
  P(args, keyword_only(extra_arguments())) \
  P(record_evaluations, keyword_only(with_default(to_bool, false))) \
  P(constraint_handling, keyword_only(with_default(to_str, "penalty"))) \
  CORVALINTH_LOCAL_SEARCH_PARAMETERS(P) \
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

// The objective (with its extra arguments) and the constraint callables of the call.
PointCallables callables_of(const Arguments& a, PyObject* objective) {
  return {objective, a.repair, a.constraints, a.equality_constraints, a.penalty, a.equality_tol};
}

template <typename Space>
RunResult<typename Space::Element> run_in(const Arguments& a, PyObject* objective_callable,
                                          const SwarmSetup& setup, const SwarmConfig& config,
                                          const Space& space, EvaluationLog& log) {
  using Result = RunResult<typename Space::Element>;
  // What the exception that ends the run carries: the result so far (no repair is called then).
  const auto partial = [&](Result&& so_far) {
    PsoResultData data = pso_result_data(std::move(so_far),
                                         static_cast<std::size_t>(config.n_particles), space.dim());
    data.evaluation_log = std::move(log);
    data.parameter_space = PyRef::borrow(named_space_of(a));
    return new_pso_result(std::move(data));
  };
  if (is_str(a.objective)) {
    auto native = native_objective<Space>(a);
    const auto body = [&](ErrorSlot& slot, IterationCallback* watcher) -> Result {
      return recorded_if(a.record_evaluations, native, log, slot, [&](auto& objective) {
        return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                   &slot.stop_token());
      });
    };
    return guarded_run<PythonCallback>(a.callback, true, body, partial);
  }
  const PointCallables callables = callables_of(a, objective_callable);
  return guarded_run<PythonCallback>(
      a.callback, false,
      [&](ErrorSlot& slot, IterationCallback* watcher) -> Result {
        const bool ranked = config.constraint_handling == ConstraintHandling::Feasibility;
        const auto run_batch_with = [&](auto& objective) {
          return run_batch(config, space, *setup.rule, *setup.topology, objective, watcher,
                           &slot.stop_token());
        };
        const auto run_with = [&](auto& objective) {
          return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                     &slot.stop_token());
        };
        if (a.vectorized) {
          PythonBatchObjective batch(callables, slot);
          if (ranked) {
            RankedObjective<PythonBatchObjective> by_rank(batch);
            return recorded_if(a.record_evaluations, by_rank, log, slot, run_batch_with);
          }
          return recorded_if(a.record_evaluations, batch, log, slot, run_batch_with);
        }
        PythonPointObjective point(callables, slot);
        if (ranked) {
          RankedObjective<PythonPointObjective> by_rank(point);
          return recorded_if(a.record_evaluations, by_rank, log, slot, run_with);
        }
        return recorded_if(a.record_evaluations, point, log, slot, run_with);
      },
      partial);
}

// The point as user code sees it: a list (of int in integer spaces) in the per-particle form, a
// (1, dim) float64 array in the vectorised one.
template <typename Space>
PyRef new_argument(const std::vector<double>& point, bool vectorized) {
  if (vectorized) {
    return numpy::new_matrix(1, point.size(), [&](std::span<double> data) {
      std::copy(point.begin(), point.end(), data.begin());
    });
  }
  if constexpr (kIntegerPoints<Space>) {
    std::vector<std::int64_t> whole(point.size());
    for (std::size_t k = 0; k < point.size(); ++k) whole[k] = saturating_i64(point[k]);
    return new_int_list(whole);
  }
  return new_float_list(point);
}

// The repair operator applied once more to the reported best position, so that the position
// matches the point whose value was reported. In integer spaces the objective saw the repaired
// values truncated toward zero, so the reported position is truncated the same way.
template <typename Space>
std::vector<double> repaired_best_position(PyObject* repair, const std::vector<double>& best,
                                           bool vectorized) {
  const PyRef argument = new_argument<Space>(best, vectorized);
  if (vectorized) {
    const PyRef rows = repaired_rows(repair, argument, 1, best.size(), kIntegerPoints<Space>);
    std::vector<double> values;
    const PyRef flat = checked(PyObject_CallMethod(rows.get(), "ravel", nullptr));
    read_float_values(flat.get(), values);
    return values;
  }
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
    refuse_extra_arguments_of_a_native_objective(a.objective, a.args);
    check_equality_tol(a.equality_tol);
    (void)parse_constraint_handling(a.constraint_handling);
  };
  OwnChecks own;
  own.before_space = refuse_extras_of_a_native_objective;
  const SwarmSetup setup = setup_swarm(a, own);
  return visit_space_with_start(a, setup, [&](const auto& space, std::vector<double> start) {
    using Space = std::decay_t<decltype(space)>;
    SwarmConfig config = swarm_config(a, setup, std::move(start));
    // Without constraints every point is feasible: the plain run is the ranked one.
    if (!a.constraints.empty() || !a.equality_constraints.empty()) {
      config.constraint_handling = parse_constraint_handling(a.constraint_handling);
    }
    const PyRef objective = with_extra_arguments(a.objective, a.args);
    EvaluationLog log;
    RunResult<typename Space::Element> result =
        run_in(a, objective.get(), setup, config, space, log);
    PsoResultData data = pso_result_data(std::move(result),
                                         static_cast<std::size_t>(config.n_particles), space.dim());
    data.evaluation_log = std::move(log);
    data.parameter_space = PyRef::borrow(named_space_of(a));
    if (a.repair != nullptr) {
      data.best_position =
          repaired_best_position<Space>(a.repair, data.best_position, a.vectorized);
    }
    data.violation = violation_at(callables_of(a, a.objective), a.equality_tol, a.vectorized, [&] {
      return new_argument<Space>(data.best_position, a.vectorized);
    });
    return new_pso_result(std::move(data));
  });
}

}  // namespace

PyObject* minimize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize", kParameters,
                        converted_with_names<converted_with_preset<convert_arguments, kParameters>>,
                        minimize_with, args, nargs, kwnames);
}

}  // namespace corvalinth::py
