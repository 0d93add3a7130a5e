// PsoResult: the read-only snapshot in which `minimize` returns a single-objective run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/py_ref.hpp"
#include "binding/python.hpp"
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
};

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
