#include "binding/front_ends/minimize_grey.hpp"

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "binding/adapters/adapters.hpp"
#include "binding/adapters/grey_adapter.hpp"
#include "binding/arguments/convert.hpp"
#include "binding/arguments/extra_arguments.hpp"
#include "binding/arguments/parameter_table.hpp"
#include "binding/arguments/parsers.hpp"
#include "binding/arguments/swarm_settings.hpp"
#include "binding/arguments/warm_start.hpp"
#include "binding/results/grey_result.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
#include "core/benchmarks.hpp"
#include "core/pso.hpp"
#include "core/spaces/grey.hpp"

namespace corvalinth::py {
namespace {

// The signature of minimize_grey, in order; a new keyword-only parameter
// is one line above the end.
#define CORVALINTH_MINIMIZE_GREY_PARAMETERS(P) \
  P(objective, required()) \
  P(bounds, required()) \
  P(max_spread, object_or_none()) \
  P(representation, with_default(to_str, "interval")) \
  CORVALINTH_SWARM_PARAMETERS(P, positional) \
  P(max_evals, none_or(to_u64)) \
  P(target, none_or(to_f64)) \
  P(max_time, none_or(to_f64)) \
  P(dim, none_or(to_usize)) \
  P(callback, keyword_only(object_or_none())) \
  P(vectorized, keyword_only(with_default(to_bool, false))) \
  P(x0, keyword_only(object_or_none())) \
  P(args, keyword_only(extra_arguments())) \
  /* the end of the parameters */

CORVALINTH_DECLARE_ARGUMENTS(CORVALINTH_MINIMIZE_GREY_PARAMETERS)

GreyRepresentation parse_representation(const std::string& name) {
  if (name == "interval") return GreyRepresentation::Interval;
  if (name == "center_spread" || name == "center-spread") return GreyRepresentation::CenterSpread;
  raise(PyExc_ValueError,
        "unknown representation: '" + name + "'. Available: interval, center_spread");
}

// The spread cap of every grey variable: none (+inf), one float for all, or one per variable.
std::vector<double> parse_max_spread(PyObject* max_spread, std::size_t variables) {
  if (max_spread == nullptr) {
    return std::vector<double>(variables, std::numeric_limits<double>::infinity());
  }
  if (!is_str(max_spread)) {
    std::optional<std::vector<double>> caps;
    try {
      caps = to_f64_list(max_spread);
    } catch (const PythonErrorSet&) {
      PyErr_Clear();  // not a sequence of numbers: try a single number next
    }
    if (caps) {
      if (caps->size() != variables) {
        raise(PyExc_ValueError, "max_spread has " + std::to_string(caps->size()) +
                                    " values but there are " + std::to_string(variables) +
                                    " grey variables");
      }
      return std::move(*caps);
    }
  }
  try {
    return std::vector<double>(variables, to_f64(max_spread));
  } catch (const PythonErrorSet&) {
    PyErr_Clear();
  }
  raise(PyExc_ValueError,
        "max_spread must be a float, a list of floats (one per grey variable), or None");
}

GreyResultData result_data(RunResult<GreyNumber>&& result) {
  GreyResultData data;
  for (const GreyNumber& grey : result.best_position) {
    data.best_position.emplace_back(grey.center - grey.spread, grey.center + grey.spread);
    data.best_centers.push_back(grey.center);
    data.best_spreads.push_back(grey.spread);
  }
  data.convergence = std::move(result.convergence);
  data.stop_reason = result.stop_reason;
  data.best_value = result.best_value;
  data.evaluations = result.evaluations;
  data.iterations = result.iterations;
  return data;
}

// The native objective a grey benchmark name stands for.
NativeGreyObjective native_grey_objective(const Arguments& a) {
  const std::string name = to_str(a.objective);
  const GreyBenchmarkInfo* benchmark = find_grey_benchmark(name);
  if (benchmark == nullptr) {
    raise(PyExc_KeyError, "unknown native grey benchmark: '" + name + "'. Available: grey_sphere");
  }
  if (a.vectorized) {
    raise(PyExc_ValueError,
          "vectorized=True requires a Python objective callable, not a native benchmark");
  }
  return NativeGreyObjective{benchmark->function};
}

PyRef minimize_grey_with(const Arguments& a) {
  const GreyRepresentation representation = parse_representation(a.representation);
  std::vector<double> caps;
  const auto read_caps = [&](const Bounds& bounds) {
    caps = parse_max_spread(a.max_spread, bounds.size());
  };
  OwnChecks own;
  own.after_bounds = read_caps;
  const SwarmSetup setup = setup_swarm(a, own);
  refuse_extra_arguments_of_a_native_objective(a.objective, a.args);
  const GreySpace space(setup.bounds, std::move(caps));
  // The grey space projects moved particles itself; the bounds policy is not read.
  std::vector<double> start;
  if (a.x0 != nullptr) {
    start = grey_warm_start_positions(
        a.x0, space, representation == GreyRepresentation::CenterSpread, a.n_particles);
  }
  const SwarmConfig config = swarm_config(a, setup, std::move(start));
  RunResult<GreyNumber> result;
  // What the exception that ends the run carries: the result so far.
  const auto partial = [](RunResult<GreyNumber>&& so_far) {
    return new_grey_result(result_data(std::move(so_far)));
  };
  if (is_str(a.objective)) {
    NativeGreyObjective objective = native_grey_objective(a);
    const auto body = [&](ErrorSlot& slot, IterationCallback* watcher) {
      return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                 &slot.stop_token());
    };
    result = guarded_run<PythonCallback>(a.callback, true, body, partial);
  } else {
    const PyRef objective_callable = with_extra_arguments(a.objective, a.args);
    result = guarded_run<PythonCallback>(
        a.callback, false,
        [&](ErrorSlot& slot, IterationCallback* watcher) {
          if (a.vectorized) {
            PythonGreyBatchObjective objective(objective_callable.get(), representation, slot);
            return run_batch(config, space, *setup.rule, *setup.topology, objective, watcher,
                             &slot.stop_token());
          }
          PythonGreyObjective objective(objective_callable.get(), representation, slot);
          return run(config, space, *setup.rule, *setup.topology, objective, watcher,
                     &slot.stop_token());
        },
        partial);
  }
  return new_grey_result(result_data(std::move(result)));
}

}  // namespace

PyObject* minimize_grey(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_front_end("minimize_grey", kParameters, convert_arguments, minimize_grey_with, args,
                        nargs, kwnames);
}

}  // namespace corvalinth::py
