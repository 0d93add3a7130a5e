// Module functions that run no optimiser: hypervolume of any front and the contribution of each
// of its points, and benchmark metadata.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

PyObject* hypervolume(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames);
PyObject* hypervolume_contributions(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames);
PyObject* benchmark_info(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames);
PyObject* grey_benchmark_info(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

}  // namespace corvalinth::py
