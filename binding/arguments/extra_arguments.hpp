// The `args=()` keyword of the front ends, as scipy.optimize.minimize understands it: extra
// positional arguments passed to the objective after the point, `objective(x, *args)`. They go
// to the objective only (scipy passes its constraints their own arguments); constraints, repair
// and callbacks are called as without them.
#pragma once

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// The `args` parameter, borrowed from the call: absent, None or an empty tuple give null (no
// extra arguments).
struct ExtraArguments {
  using Value = PyObject*;
  static constexpr bool kRequired = false;
  Value convert(const char* name, PyObject* given) const;
};
constexpr ExtraArguments extra_arguments() { return {}; }

// `objective` itself (a new reference) when `extra` is null; otherwise a new callable that
// calls `objective(x, *extra)` with the point it is given, where a non-tuple `extra` stands for
// the one-tuple holding it (as in scipy).
PyRef with_extra_arguments(PyObject* objective, PyObject* extra);

// Refuses extra arguments for a native benchmark (given by name), which takes none.
void refuse_extra_arguments_of_a_native_objective(PyObject* objective, PyObject* extra);

}  // namespace corvalinth::py
