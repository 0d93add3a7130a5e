// GreyResult: the read-only snapshot in which `minimize_grey` returns its run.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

struct GreyResultData {
  std::vector<std::pair<double, double>> best_position;  // (lower, upper) per grey variable
  std::vector<double> best_centers;
  std::vector<double> best_spreads;
  std::vector<double> convergence;
  StopReason stop_reason = StopReason::MaxIterations;
  double best_value = 0.0;
  std::uint64_t evaluations = 0;
  std::uint64_t iterations = 0;  // iterations run, whatever the history
};

// Creates the class; returns a new reference, or null with an error set.
PyObject* create_grey_result_type();

// A new GreyResult owning `data`. Throws PythonErrorSet on failure.
PyRef new_grey_result(GreyResultData data);

// corvalinth_native._rebuild_grey_result(state): the reconstructor that unpickles a GreyResult.
PyObject* rebuild_grey_result(PyObject* module, PyObject* state);

}  // namespace corvalinth::py
