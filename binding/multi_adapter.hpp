// The Python objective of a multi-objective run: a point in (a list of int in integer spaces, of
// float otherwise), one value per objective out. Like every adapter it keeps the first exception
// in the call's ErrorSlot (which stops the run) and answers with infinities from then on, without
// calling Python again.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binding/error_slot.hpp"
#include "binding/python.hpp"

namespace corvalinth::py {

class PythonMultiObjective {
 public:
  PythonMultiObjective(PyObject* objective, ErrorSlot& slot) : objective_(objective), slot_(slot) {}

  void evaluate(std::span<const double> point, std::vector<double>& values);
  void evaluate(std::span<const std::int64_t> point, std::vector<double>& values);

 private:
  // Builds the argument with `make_argument` and calls the objective on it, through the slot.
  template <typename MakeArgument>
  void guarded(MakeArgument make_argument, std::vector<double>& values);
  // Calls the objective with `argument` (a new list) and reads its answer into `values`.
  void call_python(PyObject* argument, std::vector<double>& values);
  // The placeholder answer: one infinity per objective last seen.
  void placeholder(std::vector<double>& values) const;

  PyObject* objective_;
  ErrorSlot& slot_;
  // The number of objectives: 1 until the first answer, then that answer's length. Every later
  // answer must have the same length; the swarm compares objective vectors component by
  // component, so a changing length is an error of the objective, not something to guess around.
  std::size_t n_objectives_ = 1;
  bool answered_ = false;
};

}  // namespace corvalinth::py
