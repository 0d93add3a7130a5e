// The Optimizer class: a single-objective run driven by its caller through ask and tell, and
// saved and restored through pickle.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// Creates the class; returns a new reference, or null with an error set.
PyObject* create_optimizer_type();

// _restore_optimizer(arguments, state): the reconstructor named by Optimizer.__reduce__.
PyObject* restore_optimizer(PyObject* module, PyObject* const* args, Py_ssize_t nargs);

}  // namespace corvalinth::py
