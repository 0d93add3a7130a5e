// The Python objective of a grey run: the grey vector in, as a list of (lower, upper) or
// (center, spread) tuples of float, one value out. The first exception is kept in the call's
// ErrorSlot, which stops the run; from then on the adapter answers +inf without calling Python.
#pragma once

#include <span>
#include <vector>

#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/python.hpp"
#include "core/spaces/grey.hpp"
#include "core/swarm.hpp"

namespace corvalinth::py {

enum class GreyRepresentation { Interval, CenterSpread };

class PythonGreyObjective {
 public:
  PythonGreyObjective(PyObject* objective, GreyRepresentation representation, ErrorSlot& slot)
      : objective_(objective), representation_(representation), slot_(slot) {}

  double evaluate(std::span<const GreyNumber> point);

 private:
  double call_python(std::span<const GreyNumber> point);

  PyObject* objective_;
  GreyRepresentation representation_;
  ErrorSlot& slot_;
};

// The vectorised grey objective: the whole swarm as one fresh (n, variables, 2) float64 array of
// pairs in the chosen representation, one value per particle out.
class PythonGreyBatchObjective {
 public:
  PythonGreyBatchObjective(PyObject* objective, GreyRepresentation representation,
                           ErrorSlot& slot)
      : objective_(objective), representation_(representation), slot_(slot) {}

  void evaluate_batch(const GreySpace& space, const Swarm& swarm, std::vector<double>& values);

 private:
  PyObject* objective_;
  GreyRepresentation representation_;
  ErrorSlot& slot_;
  std::vector<GreyNumber> point_;
};

}  // namespace corvalinth::py
