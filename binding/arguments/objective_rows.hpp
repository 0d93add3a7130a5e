// A front argument read into one block of doubles: a 2-D array of native float64 (any strides)
// through the buffer protocol, with no Python float per element; anything else as a sequence of
// sequences of numbers.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "binding/runtime/python.hpp"
#include "core/mopso/archive.hpp"

namespace corvalinth::py {

// Rows of any lengths, stored one after another; `views` point into `values`, so the record is
// not copied (moving keeps them valid).
struct ObjectiveRows {
  std::vector<double> values;
  std::vector<ObjectiveView> views;
};

// Converts a borrowed front; a failure sets a Python error and throws PythonErrorSet, with the
// messages of the sequence conversions (a str at either level: "Can't extract `str` to `Vec`").
ObjectiveRows to_objective_rows(PyObject* object);

}  // namespace corvalinth::py
