// The front end of multi-objective minimisation.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// minimize_multi(objective, bounds, ...): METH_FASTCALL | METH_KEYWORDS entry point.
PyObject* minimize_multi(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames);

}  // namespace corvalinth::py
