// PsoResult: the read-only snapshot in which `minimize` returns a single-objective run.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding/results/evaluation_log.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

struct PsoResultData {
  std::vector<double> best_position;
  std::vector<double> convergence;
  History history;
  StopReason stop_reason = StopReason::MaxIterations;
  double best_value = 0.0;
  std::uint64_t evaluations = 0;
  std::uint64_t iterations = 0;  // iterations run, whatever record_history
  double violation = 0.0;        // total constraint violation at best_position, >= 0 (or +inf)
  EvaluationLog evaluation_log;  // empty unless record_evaluations=True
  PyRef parameter_space;         // the NamedSpace of named parameters, null without
};

// The record of a finished run, its position widened to float.
template <typename Element>
PsoResultData pso_result_data(RunResult<Element>&& result, std::size_t particles,
                              std::size_t dim) {
  PsoResultData data;
  data.best_position.assign(result.best_position.begin(), result.best_position.end());
  data.convergence = std::move(result.convergence);
  data.history = std::move(result.history);
  // An unrecorded history still has the run's shape: no iterations of particles x dim.
  if (data.history.iterations() == 0) data.history = History::restored(particles, dim, 0, {});
  data.stop_reason = result.stop_reason;
  data.best_value = result.best_value;
  data.evaluations = result.evaluations;
  data.iterations = result.iterations;
  return data;
}

// Creates the class; returns a new reference, or null with an error set.
PyObject* create_pso_result_type();

// A new PsoResult owning `data`. Throws PythonErrorSet on failure.
PyRef new_pso_result(PsoResultData data);

// corvalinth_native._rebuild_pso_result(state): the reconstructor that unpickles a PsoResult.
PyObject* rebuild_pso_result(PyObject* module, PyObject* state);

// The number formats of result reprs: a value with six decimals, and a list of values in their
// shortest round-trip form.
std::string format_fixed6(double value);
std::string format_shortest(double value);
std::string format_list(const std::vector<double>& values);

}  // namespace corvalinth::py
