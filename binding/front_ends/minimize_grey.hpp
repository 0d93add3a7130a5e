// The front end of grey-number minimisation.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// minimize_grey(objective, bounds, ...): METH_FASTCALL | METH_KEYWORDS entry point.
PyObject* minimize_grey(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);

}  // namespace corvalinth::py
