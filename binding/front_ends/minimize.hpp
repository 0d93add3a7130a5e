// The front end of single-objective minimisation.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// minimize(objective, bounds, ...): METH_FASTCALL | METH_KEYWORDS entry point.
PyObject* minimize(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace corvalinth::py
