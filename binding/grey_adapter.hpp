// The Python objective of a grey run: the grey vector in, as a list of (lower, upper) or
// (center, spread) tuples of float, one value out. The first exception is kept in the call's
// ErrorSlot, which stops the run; from then on the adapter answers +inf without calling Python.
#pragma once

#include <span>

#include "binding/error_slot.hpp"
#include "binding/python.hpp"
#include "core/spaces/grey.hpp"

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

}  // namespace corvalinth::py
