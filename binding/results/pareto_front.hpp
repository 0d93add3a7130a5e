// ParetoFront: the read-only snapshot in which `minimize_multi` returns its archive, with the
// hypervolume method.
#pragma once

#include <vector>

#include "binding/results/evaluation_log.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/mopso/mopso.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

struct ParetoFrontData {
  std::vector<std::vector<double>> positions;   // decoded, as floats
  std::vector<std::vector<double>> objectives;  // same order as positions
  History swarm_history;
  FrontHistory front_history;
  std::uint64_t iterations = 0;  // iterations run, whatever record_history
  std::uint64_t evaluations = 0;  // objective vectors the run computed
  StopReason stop_reason = StopReason::MaxIterations;
  EvaluationLog evaluation_log;  // empty unless record_evaluations=True
  PyRef parameter_space;         // the NamedSpace of named parameters, null without
  std::vector<double> violations;  // one total violation per member, all 0 without constraints
};

// Creates the class; returns a new reference, or null with an error set.
PyObject* create_pareto_front_type();

// A new ParetoFront owning `data`. Throws PythonErrorSet on failure.
PyRef new_pareto_front(ParetoFrontData data);

// corvalinth_native._rebuild_pareto_front(state): the reconstructor that unpickles a ParetoFront.
PyObject* rebuild_pareto_front(PyObject* module, PyObject* state);

}  // namespace corvalinth::py
